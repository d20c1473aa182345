// The figure records of one parse and the numbers they go by. The numbers are
// what the person reads in the tree and what the milling jobs are given, so
// they are handed out exactly as the milling window always has: the lowest
// free number first, freed numbers coming back, the table doubling when full.
#pragma once

#include <cstdint>
#include <vector>

#include "figures/cell_allocator.h"

namespace vertolin {

inline constexpr std::int16_t kLightFigure = -1;
inline constexpr std::int16_t kDarkFigure = 0;

inline constexpr std::int32_t kSlotFree = 0;
inline constexpr std::int32_t kFigureInUse = 1;
inline constexpr std::int32_t kFigureMilled = 4;  // milled in the current "Все" run

struct Figure {
  std::int32_t level = 0;   // depth in the nesting tree; 0 for the root and outside it
  std::int16_t colour = 0;  // kLightFigure or kDarkFigure; a never-used slot reads dark
  std::int32_t state = kSlotFree;

  bool inUse() const { return state != kSlotFree; }
  bool dark() const { return colour == kDarkFigure; }
  friend bool operator==(const Figure&, const Figure&) = default;
};

class FigureTable {
 public:
  static constexpr int kInitialSlots = 100;

  FigureTable() { Reset(); }

  // Number of slots n; figures are numbered 1 to n.
  int size() const { return static_cast<int>(slots_.size()) - 1; }
  bool Contains(int number) const { return number >= 1 && number <= size(); }
  // Slot `number`, 1 to size().
  const Figure& operator[](int number) const { return slots_[static_cast<std::size_t>(number)]; }

  // Takes the lowest free slot; when none is free the table doubles from n
  // to 2n slots and the figure is number n + 1.
  std::int32_t Allocate(std::int16_t colour);
  // Frees a slot for later allocations; its colour and level stay as they were.
  void Free(std::int32_t number);

  void SetLevel(std::int32_t number, std::int32_t level);
  void MarkMilled(std::int32_t number);

  // Back to 100 free slots, as after "Градиент" and "Отступить".
  void Reset();

  friend bool operator==(const FigureTable& a, const FigureTable& b) {
    return a.slots_ == b.slots_;
  }

 private:
  std::vector<Figure, CellAllocator<Figure>>
      slots_;  // [0] unused, so that a figure's number is its index
  // Numbers freed below nextFresh_, as a min-heap: allocation must take the
  // lowest free number without scanning the table.
  std::vector<std::int32_t> freed_;
  std::int32_t nextFresh_ = 1;  // every slot from here up has never been used
};

}  // namespace vertolin
