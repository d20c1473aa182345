// A build without libjpeg-turbo (the Windows cross build: Debian has none for
// MinGW) cannot read or write JPEG files; the tests that need them say so.
#pragma once

#include <gtest/gtest.h>

namespace vertolin::test {

#ifdef VERTOLIN_NO_JPEG
inline constexpr bool kHaveJpeg = false;
#else
inline constexpr bool kHaveJpeg = true;
#endif
inline constexpr const char* kNoJpegReason = "this build has no JPEG (no libjpeg-turbo for MinGW)";

}  // namespace vertolin::test

#define VERTOLIN_SKIP_WITHOUT_JPEG() \
  if (!::vertolin::test::kHaveJpeg) GTEST_SKIP() << ::vertolin::test::kNoJpegReason
