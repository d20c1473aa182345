// The guard of the job engine's command streams: every job command, printed
// with --print, must write byte for byte the lines it wrote when this table
// was recorded. Each stream is kept only as its 64-bit FNV-1a digest, its
// count of lines ('\n') and the exit status, hashed as it is written.
//
// The table was recorded from vertolin-cli built at commit 5dc4542 ("Layers
// as libraries ..."), run as a process on the same pictures and arguments;
// the rows of outline, outline-all and fill when those commands were added.
// When a stream changes on purpose, record the table again from the program
// as it then is; a changed stream that nobody meant is what this test is for.
// The random pictures are part of what was recorded: RandomPicture and its
// seeds must not change without recording the table again.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "picture/default_pictures.h"
#include "util/exe_folder.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"
#include "support/temp_folder.h"

#include "support/jpeg_skip.h"

namespace vertolin {
namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

// Hashes what is written and keeps nothing else.
class DigestBuffer : public std::streambuf {
 public:
  std::uint64_t digest() const { return digest_; }
  std::uint64_t lines() const { return lines_; }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) Add(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i) Add(s[i]);
    return n;
  }

 private:
  void Add(char c) {
    digest_ = (digest_ ^ static_cast<unsigned char>(c)) * kFnvPrime;
    if (c == '\n') ++lines_;
  }

  std::uint64_t digest_ = kFnvOffset;
  std::uint64_t lines_ = 0;
};

// A small PRNG of our own (a 64-bit LCG, its upper bits), the same with every
// standard library, unlike the std:: distributions.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed * 2654435761u + 1) {}
  std::uint32_t Next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state_ >> 33);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }
  int Between(int low, int high) { return low + Below(high - low + 1); }

 private:
  std::uint64_t state_;
};

// Light grey noise (101..255), dark elliptic blobs of varying grey (0..100),
// many with a light hole, some holes with a dark dot, a few blobs cut by the
// edge, and scattered dark specks.
PixelImage RandomPicture(int width, int height, std::uint64_t seed) {
  Random random(seed);
  PixelImage image(width, height);
  for (int y = 1; y <= height; ++y) {
    for (int x = 1; x <= width; ++x) {
      image.SetGrey(x, y, static_cast<std::uint8_t>(random.Between(101, 255)));
    }
  }
  auto ellipse = [&](int cx, int cy, int rx, int ry, int low, int high) {
    for (int y = cy - ry; y <= cy + ry; ++y) {
      for (int x = cx - rx; x <= cx + rx; ++x) {
        if (x < 1 || y < 1 || x > width || y > height) continue;
        const double dx = static_cast<double>(x - cx) / rx;
        const double dy = static_cast<double>(y - cy) / ry;
        if (dx * dx + dy * dy > 1.0) continue;
        image.SetGrey(x, y, static_cast<std::uint8_t>(random.Between(low, high)));
      }
    }
  };
  const int blobs = 3 + (width * height) / 1500;
  for (int i = 0; i < blobs; ++i) {
    const int rx = random.Between(3, width / 6);
    const int ry = random.Between(3, height / 6);
    const int cx = random.Between(1, width);
    const int cy = random.Between(1, height);
    const int dark = random.Between(0, 90);
    ellipse(cx, cy, rx, ry, dark, dark + 10);
    if (rx >= 4 && ry >= 4 && random.Below(3) != 0) {
      const int hx = rx / 2;
      const int hy = ry / 2;
      ellipse(cx + random.Between(-1, 1), cy + random.Between(-1, 1), hx, hy, 140, 255);
      if (hx >= 3 && hy >= 3 && random.Below(2) == 0) ellipse(cx, cy, 1, 1, 0, 60);
    }
  }
  for (int i = 0; i < width * height / 200; ++i) {
    image.SetGrey(random.Between(1, width), random.Between(1, height),
                  static_cast<std::uint8_t>(random.Between(0, 100)));
  }
  return image;
}

struct Case {
  const char* label;
  const char* picture;  // a default picture's file name or a random one's
  int status;
  std::uint64_t digest;
  std::uint64_t lines;
  std::vector<std::string> args;  // after --print; "@" stands for the picture's path
};

struct RandomPicturePlan {
  const char* name;
  int width;
  int height;
  std::uint64_t seed;
};

constexpr RandomPicturePlan kRandomPictures[] = {
    {"r40x30.bmp", 40, 30, 1},
    {"r73x51.bmp", 73, 51, 2},
    {"r96x64.bmp", 96, 64, 3},
    {"r120x90.bmp", 120, 90, 4},
};

// clang-format off
const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"engrave gepard return", "gepard2.jpg", 0, 0x0ea00554ad4cb4e5ull, 119355,
       {"--set", "Etching_min=300", "engrave", "@", "--return"}},
      {"burn gepard", "gepard2.jpg", 0, 0x2186aa49e851cb75ull, 119354,
       {"--set", "SM_delay=1500", "burn", "@"}},
      {"mill ornament 9", "ornament.bmp", 0, 0x8b9bef549cd7db42ull, 462,
       {"mill", "@", "--figure", "9"}},
      {"mill ornament 24 optim", "ornament.bmp", 0, 0x44d2080953e7fb1eull, 555,
       {"--set", "SM_optim=1", "mill", "@", "--figure", "24", "--return"}},
      {"mill gepard 3", "gepard2.jpg", 0, 0x287bf35e5544e1feull, 74,
       {"mill", "@", "--figure", "3"}},
      {"mill-all ornament optim", "ornament.bmp", 0, 0xef389ffafc30bf6full, 6340,
       {"--set", "SM_optim=1", "mill-all", "@", "--return"}},
      {"mill-all gepard", "gepard2.jpg", 0, 0xbe796fc19ed9a6ecull, 4121,
       {"mill-all", "@"}},
      {"relief ornament optim", "ornament.bmp", 0, 0x7eb01379e5945751ull, 5784,
       {"--set", "SM_optim=1", "relief", "@", "--return"}},
      {"engrave r40x30", "r40x30.bmp", 0, 0x927168596ccef451ull, 1232,
       {"--set", "Etching_width=0,4", "--set", "Etching_min=100", "engrave", "@"}},
      {"burn r40x30 return", "r40x30.bmp", 0, 0x6eb58519d648a266ull, 1233,
       {"--set", "Etching_width=0.6", "--set", "Etching_delay=3000", "burn", "@", "--return"}},
      {"mill r40x30 1 fractional", "r40x30.bmp", 0, 0xa5da70bc4a89edb9ull, 62,
       {"--set", "cncrez_width=1.234", "--set", "cncrez_depth=2,5", "mill", "@", "--figure", "1",
        "--return"}},
      {"mill-all r40x30 optim", "r40x30.bmp", 0, 0x6d87d1991eb59718ull, 95,
       {"--set", "SM_optim=1", "--set", "cncrez_width=3,3", "mill-all", "@"}},
      {"relief r40x30 fractional", "r40x30.bmp", 0, 0x6a9ee48daa500575ull, 1585,
       {"--set", "cncrez_width=1.234", "--set", "mill_diameter=0,05", "relief", "@", "--return"}},
      {"engrave r73x51 negative x", "r73x51.bmp", 0, 0xd487713831b46b32ull, 3777,
       {"--set", "SM_X_ratio=-0.005", "--set", "Etching_width=0,73", "engrave", "@", "--return"}},
      {"burn r73x51", "r73x51.bmp", 0, 0xf70c5e9cdd796ab3ull, 3776,
       {"--set", "Etching_width=1.46", "burn", "@"}},
      {"mill r73x51 16 optim", "r73x51.bmp", 0, 0xf6ca57606e68993bull, 62,
       {"--set", "SM_optim=1", "--set", "cncrez_width=5", "mill", "@", "--figure", "16"}},
      {"mill-all r73x51 fractional", "r73x51.bmp", 0, 0x5817d802652a553dull, 287,
       {"--set", "cncrez_width=2.5", "--set", "SM_mill_delay=700", "mill-all", "@", "--return"}},
      {"relief r73x51 optim", "r73x51.bmp", 0, 0xbd7a4ea0eb337649ull, 626,
       {"--set", "SM_optim=1", "--set", "cncrez_width=7", "--set", "mill_diameter=0.2", "relief",
        "@"}},
      {"engrave r96x64 return", "r96x64.bmp", 0, 0x8c9c9fb6ea31d4b8ull, 6211,
       {"--set", "Etching_width=0,96", "--set", "Etching_delay=5000", "engrave", "@", "--return"}},
      {"burn r96x64 negative y", "r96x64.bmp", 0, 0x6d2bf6f7718b8fc4ull, 6211,
       {"--set", "SM_Y_ratio=-0.005", "--set", "Etching_width=0.96", "burn", "@", "--return"}},
      {"mill r96x64 32 fractional", "r96x64.bmp", 0, 0x69045e45ad22538bull, 105,
       {"--set", "cncrez_width=3.3", "mill", "@", "--figure", "32"}},
      {"mill-all r96x64 negative xy", "r96x64.bmp", 0, 0xa56b579315d350eaull, 450,
       {"--set", "SM_X_ratio=-0.005", "--set", "SM_Y_ratio=-0.01", "--set", "cncrez_width=4",
        "mill-all", "@", "--return"}},
      {"relief r96x64 negative y", "r96x64.bmp", 0, 0xeddf650ec85997c7ull, 386,
       {"--set", "SM_Y_ratio=-0.005", "--set", "cncrez_width=4,8", "--set", "mill_diameter=0,25",
        "relief", "@", "--return"}},
      {"engrave r120x90", "r120x90.bmp", 0, 0x41948b084495ebc8ull, 10892,
       {"--set", "Etching_width=2,4", "engrave", "@"}},
      {"burn r120x90 return", "r120x90.bmp", 0, 0x2ac78c8083dd7f2dull, 10893,
       {"--set", "Etching_width=1,2", "--set", "SM_delay=100", "burn", "@", "--return"}},
      {"mill r120x90 7 optim", "r120x90.bmp", 0, 0xaf8487dea2cb8cdaull, 530,
       {"--set", "SM_optim=1", "--set", "cncrez_width=7,7", "--set", "cncrez_depth=3", "mill", "@",
        "--figure", "7", "--return"}},
      {"mill r120x90 12", "r120x90.bmp", 0, 0x50805219ab030079ull, 51,
       {"--set", "cncrez_width=6", "mill", "@", "--figure", "12"}},
      {"mill-all r120x90 optim", "r120x90.bmp", 0, 0x93a24d61292531caull, 644,
       {"--set", "SM_optim=1", "--set", "cncrez_width=6.1", "mill-all", "@"}},
      {"relief r120x90", "r120x90.bmp", 0, 0x2e009dea763f6ccbull, 410,
       {"--set", "cncrez_width=6", "--set", "mill_diameter=0,3", "--set", "SM_mill_delay=1000",
        "relief", "@"}},
      // The cut, recorded when it was added (the run first unless --prepared).
      {"cut r40x30 below a step", "r40x30.bmp", 0, 0x9b7276462bc14cf7ull, 45,
       {"--set", "Etching9_width=0,1", "cut", "@"}},
      {"cut r73x51 optim return", "r73x51.bmp", 0, 0xf37bcb4574018ed3ull, 237,
       {"--set", "SM_optim=1", "--set", "Etching9_width=7,3", "cut", "@", "--return"}},
      {"cut r96x64 fractional", "r96x64.bmp", 0, 0xbcbfc8d77db8f29aull, 341,
       {"--set", "Etching9_width=1.234", "--set", "Etching9_delay=500", "cut", "@"}},
      {"cut r120x90 negative x", "r120x90.bmp", 0, 0xbd2a7e298dabbc5cull, 588,
       {"--set", "SM_X_ratio=-0.005", "cut", "@", "--return"}},
      {"cut ornament optim", "ornament.bmp", 0, 0x6324db9182411870ull, 3487,
       {"--set", "SM_optim=1", "cut", "@"}},
      {"cut gepard prepared", "gepard2.jpg", 0, 0xd525a51c9704638eull, 2853,
       {"cut", "@", "--prepared", "--return"}},
      // The outlining jobs, recorded when they were added.
      {"outline ornament 9", "ornament.bmp", 0, 0x4c7ed5fab9860598ull, 462,
       {"outline", "@", "--figure", "9"}},
      {"outline ornament 24 optim", "ornament.bmp", 0, 0xf1f59ccc0a166cdcull, 555,
       {"--set", "SM_optim=1", "outline", "@", "--figure", "24", "--return"}},
      {"outline-all ornament return", "ornament.bmp", 0, 0x2d8cbaa88991c46eull, 6340,
       {"outline-all", "@", "--return"}},
      {"outline-all gepard optim", "gepard2.jpg", 0, 0x7bd6844e9aaa6a48ull, 4121,
       {"--set", "SM_optim=1", "outline-all", "@"}},
      {"fill ornament optim", "ornament.bmp", 0, 0x6a1b5242d35ccecbull, 8842,
       {"--set", "SM_optim=1", "fill", "@", "--return"}},
      {"fill gepard", "gepard2.jpg", 0, 0xaaa2e837c0a1068dull, 53879,
       {"fill", "@"}},
      {"outline r40x30 1 fractional", "r40x30.bmp", 0, 0xa3fb5e55b45428cfull, 62,
       {"--set", "Etching2_width=1.234", "outline", "@", "--figure", "1", "--return"}},
      {"outline-all r73x51 negative x", "r73x51.bmp", 0, 0x3da9bba4156d6c90ull, 287,
       {"--set", "SM_X_ratio=-0.005", "--set", "Etching2_width=2,5", "--set", "Etching2_delay=700",
        "outline-all", "@", "--return"}},
      {"fill r96x64 return", "r96x64.bmp", 0, 0x5d9f73e3f337dd86ull, 486,
       {"--set", "Etching2_width=4,8", "--set", "Etching2_diameter=0,25", "fill", "@", "--return"}},
      {"fill r120x90 optim", "r120x90.bmp", 0, 0x10c3086f761bdd72ull, 626,
       {"--set", "SM_optim=1", "--set", "Etching2_width=6", "--set", "Etching2_diameter=0,3",
        "--set", "Etching2_delay=500", "fill", "@"}},
  };
  return cases;
}
// clang-format on

std::string Hex(std::uint64_t value) {
  char text[19];
  std::snprintf(text, sizeof text, "0x%016" PRIx64, value);
  return text;
}

TEST(PrintStreams, EveryJobStreamMatchesTheRecordedTable) {
  const test::TempFolder folder;
  for (const RandomPicturePlan& plan : kRandomPictures) {
    ASSERT_TRUE(WritePictureFile(folder.path() / plan.name,
                                 RandomPicture(plan.width, plan.height, plan.seed)));
  }
  // The default pictures, drawn as the build draws them beside the programs
  // (so the test does not depend on the default_pictures target having run).
  ASSERT_TRUE(WriteDefaultPictures(folder.path()));
  // The cut's processing run wants neuro.net beside the program.
  if (!FileExists(ExecutableFolder() / "neuro.net"))
    std::ofstream(ExecutableFolder() / "neuro.net") << "";
  const std::filesystem::path ini = folder.path() / "cnc.ini";
  int withoutJpeg = 0;
  for (const Case& c : Cases()) {
    const std::filesystem::path picture = folder.path() / c.picture;
    if (!test::kHaveJpeg && picture.extension() == ".jpg") {
      ++withoutJpeg;
      continue;
    }
    ASSERT_TRUE(FileExists(picture)) << PathToUtf8(picture);
    std::vector<std::string> args{"--ini", PathToUtf8(ini), "--print"};
    for (const std::string& arg : c.args) args.push_back(arg == "@" ? PathToUtf8(picture) : arg);
    // Every case on the built-in settings and its --set: an empty section.
    ASSERT_TRUE(WriteFileBytes(
        ini, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("[CNC]\r\n"), 7)));

    DigestBuffer digest;
    std::ostream out(&digest);
    std::ostringstream err;
    const int status = RunCli(args, {out, err});
    EXPECT_EQ(status, c.status) << c.label << "\n" << err.str();
    EXPECT_EQ(Hex(digest.digest()), Hex(c.digest)) << c.label << ": the stream differs";
    EXPECT_EQ(digest.lines(), c.lines) << c.label << ": the stream's line count differs";
  }
  if (withoutJpeg > 0)
    GTEST_SKIP() << withoutJpeg << " JPEG cases left out: " << test::kNoJpegReason;
}

}  // namespace
}  // namespace vertolin
