#include "util/number_key.h"

namespace vertolin {

std::optional<char32_t> FilterNumberKey(char32_t typed) {
  constexpr char32_t kBackspace = 8;
  if ((typed >= U'0' && typed <= U'9') || typed == U'-' || typed == U',' || typed == kBackspace) {
    return typed;
  }
  if (typed == U'.') return U',';
  return std::nullopt;
}

}  // namespace vertolin
