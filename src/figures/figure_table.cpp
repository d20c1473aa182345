#include "figures/figure_table.h"

#include <algorithm>
#include <functional>

namespace vertolin {

std::int32_t FigureTable::Allocate(std::int16_t colour) {
  std::int32_t number;
  if (!freed_.empty()) {
    std::pop_heap(freed_.begin(), freed_.end(), std::greater<>());
    number = freed_.back();
    freed_.pop_back();
  } else {
    if (nextFresh_ > size()) slots_.resize(static_cast<std::size_t>(size()) * 2 + 1);
    number = nextFresh_++;
  }
  Figure& figure = slots_[static_cast<std::size_t>(number)];
  figure.state = kFigureInUse;
  figure.colour = colour;
  return number;
}

void FigureTable::Free(std::int32_t number) {
  if (!Contains(number) || !slots_[static_cast<std::size_t>(number)].inUse()) return;
  slots_[static_cast<std::size_t>(number)].state = kSlotFree;
  freed_.push_back(number);
  std::push_heap(freed_.begin(), freed_.end(), std::greater<>());
}

void FigureTable::SetLevel(std::int32_t number, std::int32_t level) {
  if (Contains(number)) slots_[static_cast<std::size_t>(number)].level = level;
}

void FigureTable::MarkMilled(std::int32_t number) {
  if (Contains(number) && slots_[static_cast<std::size_t>(number)].inUse()) {
    slots_[static_cast<std::size_t>(number)].state = kFigureMilled;
  }
}

void FigureTable::Reset() {
  slots_.assign(kInitialSlots + 1, Figure{});
  freed_.clear();
  nextFresh_ = 1;
}

}  // namespace vertolin
