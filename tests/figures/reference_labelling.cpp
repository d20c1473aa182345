#include "figures/reference_labelling.h"

#include <stdexcept>
#include <string>

namespace vertolin::reference {

namespace {

class Parser {
 public:
  explicit Parser(const PixelImage& work) : work_(work) {
    out_.width = work.width();
    out_.height = work.height();
    out_.cells.assign(
        static_cast<std::size_t>(out_.width + 2) * static_cast<std::size_t>(out_.height + 2), 0);
    out_.figures.assign(101, Figure{});
    out_.pairs.assign(100, NestingPair{});
    out_.pairSlots = 100;
  }

  Parsed Run() {
    const int w = out_.width;
    const int h = out_.height;
    const std::int32_t frame = Allocate(kLightFigure);
    Cell(0, 0) = frame;
    for (int y = 1; y <= h + 1; ++y) Cell(0, y) = frame;
    for (int x = 1; x <= w + 1; ++x) Cell(x, 0) = frame;
    for (int y = 1; y <= h + 1; ++y) Cell(w + 1, y) = frame;
    for (int x = 1; x <= w; ++x) Cell(x, h + 1) = frame;

    for (int y = 1; y <= h; ++y) {
      for (int x = 1; x <= w; ++x) {
        const std::int16_t colour = work_.Grey(x, y) > 100 ? kLightFigure : kDarkFigure;
        std::int32_t figure = 0;
        for (const auto& [nx, ny] :
             {std::pair{x - 1, y}, std::pair{x, y - 1}, std::pair{x - 1, y - 1}}) {
          if (ColourOf(Cell(nx, ny)) == colour) {
            figure = Cell(nx, ny);
            break;
          }
        }
        if (figure == 0) figure = Allocate(colour);
        Cell(x, y) = figure;
        const std::int32_t upper = Cell(x, y - 1);
        if (upper != figure && ColourOf(upper) == colour) Merge(figure, upper);
      }
    }

    for (int y = 1; y <= h; ++y) {
      for (int x = 2; x <= w; ++x) {
        if (Cell(x - 1, y) != Cell(x, y)) AddPair(Cell(x - 1, y), Cell(x, y));
      }
    }
    out_.pairs.resize(static_cast<std::size_t>(count_));
    FillTree();
    return out_;
  }

 private:
  std::int32_t& Cell(int x, int y) {
    return out_.cells[static_cast<std::size_t>(y * (out_.width + 2) + x)];
  }
  std::int16_t ColourOf(std::int32_t figure) const {
    return out_.figures[static_cast<std::size_t>(figure)].colour;
  }
  int Slots() const { return static_cast<int>(out_.figures.size()) - 1; }

  std::int32_t Allocate(std::int16_t colour) {
    for (int n = 1; n <= Slots(); ++n) {
      Figure& figure = out_.figures[static_cast<std::size_t>(n)];
      if (figure.state == 0) {
        figure.state = 1;
        figure.colour = colour;
        return n;
      }
    }
    const int n = Slots();
    out_.figures.resize(static_cast<std::size_t>(2 * n) + 1);
    out_.figures[static_cast<std::size_t>(n) + 1].state = 1;
    out_.figures[static_cast<std::size_t>(n) + 1].colour = colour;
    return n + 1;
  }

  void Merge(std::int32_t old, std::int32_t survivor) {
    out_.figures[static_cast<std::size_t>(old)].state = 0;
    for (std::int32_t& cell : out_.cells) {
      if (cell == old) cell = survivor;
    }
  }

  void AddPair(std::int32_t left, std::int32_t right) {
    for (int i = 0; i < count_; ++i) {
      const NestingPair& p = out_.pairs[static_cast<std::size_t>(i)];
      if ((p.outer == left && p.inner == right) || (p.outer == right && p.inner == left)) return;
    }
    ++count_;
    if (count_ > out_.pairSlots) {
      out_.pairSlots *= 2;
      out_.pairs.resize(static_cast<std::size_t>(out_.pairSlots));
    }
    out_.pairs[static_cast<std::size_t>(count_ - 1)] = {left, right};
  }

  bool InTree(std::int32_t figure) const {
    for (const FigureTreeNode& node : out_.tree) {
      if (node.figure == figure) return true;
    }
    return false;
  }

  void AddNode(std::int32_t figure, std::int32_t parent) {
    // The tree view refuses a second node with the same key.
    if (InTree(figure)) throw std::logic_error("key P" + std::to_string(figure) + " is not unique");
    out_.tree.push_back({figure, parent});
  }

  void FillTree() {
    for (const NestingPair& candidate : out_.pairs) {
      bool isInner = false;
      for (const NestingPair& p : out_.pairs) isInner = isInner || p.inner == candidate.outer;
      if (isInner) continue;
      out_.figures[static_cast<std::size_t>(candidate.outer)].level = 0;
      AddNode(candidate.outer, 0);
      FillChildren(candidate.outer, 1);
      return;
    }
  }

  void FillChildren(std::int32_t parent, std::int32_t level) {
    for (const NestingPair& p : out_.pairs) {
      if (p.outer != parent) continue;
      out_.figures[static_cast<std::size_t>(p.inner)].level = level;
      AddNode(p.inner, parent);
      FillChildren(p.inner, level + 1);
    }
  }

  const PixelImage& work_;
  Parsed out_;
  int count_ = 0;
};

}  // namespace

Parsed Parse(const PixelImage& work) { return Parser(work).Run(); }

}  // namespace vertolin::reference
