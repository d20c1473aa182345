#include "util/fingerprint.h"

#include <cstdio>

namespace vertolin {

void Fingerprint::Add(std::string_view part) {
  std::uint64_t size = part.size();
  for (int i = 0; i < 8; ++i) {
    Byte(static_cast<unsigned char>(size & 0xff));
    size >>= 8;
  }
  for (const char c : part) Byte(static_cast<unsigned char>(c));
}

std::string Fingerprint::Hex() const {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash_));
  return text;
}

}  // namespace vertolin
