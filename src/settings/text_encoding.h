// The two encodings found in cnc.ini: UTF-8 as written now, and Windows-1251
// as written by programs on Russian Windows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vertolin {

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

// Each byte as its Windows-1251 character, in UTF-8.
std::string Windows1251ToUtf8(std::string_view text);

// The first `count` characters of UTF-8 text, cut on a character boundary.
std::string_view CutToCharacters(std::string_view utf8, std::size_t count);

}  // namespace vertolin
