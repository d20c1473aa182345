// A 64-bit FNV-1a hash over length-prefixed parts: a file's bytes, a job's
// lines. Equal fingerprints stand for equal inputs; it guards against
// mistakes, not against anyone forging a match.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vertolin {

class Fingerprint {
 public:
  // The length goes in first: "ab" + "c" and "a" + "bc" differ.
  void Add(std::string_view part);
  std::string Hex() const;

 private:
  void Byte(unsigned char byte) {
    hash_ ^= byte;
    hash_ *= 0x100000001b3ull;
  }
  std::uint64_t hash_ = 0xcbf29ce484222325ull;
};

}  // namespace vertolin
