// The guard of the job engine's command streams: every job command, printed
// with --print, must write byte for byte the lines it wrote when its stream
// was recorded. Each row of the table below keeps its stream as a text file,
// tests/cli/streams/<its label, spaces as '-'>.txt, holding exactly what
// --print wrote (so a review sees a changed stream as a diff, and
// `vertolin-cli --print ... | diff FILE -` compares by hand); status.txt
// beside them holds each run's exit status. A mismatch names the row, the
// first line that differs, that line as recorded and as written, and both
// line counts.
//
// The streams were first kept as digests recorded from vertolin-cli built at
// commit 5dc4542 ("Layers as libraries ..."), the rows of cut, outline,
// outline-all and fill when those commands were added; the files were written
// from the program at 6873f0a and hash to those digests.
// When a stream changes on purpose, record the files again from the program
// as it then is and review the diff:
//   VERTOLIN_RECORD_STREAMS=1 build/bin/vertolin_tests --gtest_filter='PrintStreams.*'
// writes every row's file and status.txt (into the source tree, the folder
// named by VERTOLIN_STREAMS_DIR) instead of comparing. A changed stream that
// nobody meant is what this test is for.
// The random pictures are part of what was recorded: RandomPicture and its
// seeds must not change without recording the streams again.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "picture/default_pictures.h"
#include "util/exe_folder.h"
#include "util/file_replace.h"
#include "util/path_text.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"
#include "support/temp_folder.h"

#include "support/jpeg_skip.h"

#ifndef VERTOLIN_STREAMS_DIR
#error "VERTOLIN_STREAMS_DIR must name the folder of the recorded streams"
#endif

namespace vertolin {
namespace {

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
  const char* label;              // also names the stream's file
  const char* picture;            // a default picture's file name or a random one's
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
      {"engrave gepard return", "gepard2.jpg",
       {"--set", "Etching_min=300", "engrave", "@", "--return"}},
      {"burn gepard", "gepard2.jpg",
       {"--set", "SM_delay=1500", "burn", "@"}},
      {"mill ornament 9", "ornament.bmp",
       {"mill", "@", "--figure", "9"}},
      {"mill ornament 24 optim", "ornament.bmp",
       {"--set", "SM_optim=1", "mill", "@", "--figure", "24", "--return"}},
      {"mill gepard 3", "gepard2.jpg",
       {"mill", "@", "--figure", "3"}},
      {"mill-all ornament optim", "ornament.bmp",
       {"--set", "SM_optim=1", "mill-all", "@", "--return"}},
      {"mill-all gepard", "gepard2.jpg",
       {"mill-all", "@"}},
      {"relief ornament optim", "ornament.bmp",
       {"--set", "SM_optim=1", "relief", "@", "--return"}},
      {"engrave r40x30", "r40x30.bmp",
       {"--set", "Etching_width=0,4", "--set", "Etching_min=100", "engrave", "@"}},
      {"burn r40x30 return", "r40x30.bmp",
       {"--set", "Etching_width=0.6", "--set", "Etching_delay=3000", "burn", "@", "--return"}},
      {"mill r40x30 1 fractional", "r40x30.bmp",
       {"--set", "cncrez_width=1.234", "--set", "cncrez_depth=2,5", "mill", "@", "--figure", "1",
        "--return"}},
      {"mill-all r40x30 optim", "r40x30.bmp",
       {"--set", "SM_optim=1", "--set", "cncrez_width=3,3", "mill-all", "@"}},
      {"relief r40x30 fractional", "r40x30.bmp",
       {"--set", "cncrez_width=1.234", "--set", "mill_diameter=0,05", "relief", "@", "--return"}},
      {"engrave r73x51 negative x", "r73x51.bmp",
       {"--set", "SM_X_ratio=-0.005", "--set", "Etching_width=0,73", "engrave", "@", "--return"}},
      {"burn r73x51", "r73x51.bmp",
       {"--set", "Etching_width=1.46", "burn", "@"}},
      {"mill r73x51 16 optim", "r73x51.bmp",
       {"--set", "SM_optim=1", "--set", "cncrez_width=5", "mill", "@", "--figure", "16"}},
      {"mill-all r73x51 fractional", "r73x51.bmp",
       {"--set", "cncrez_width=2.5", "--set", "SM_mill_delay=700", "mill-all", "@", "--return"}},
      {"relief r73x51 optim", "r73x51.bmp",
       {"--set", "SM_optim=1", "--set", "cncrez_width=7", "--set", "mill_diameter=0.2", "relief",
        "@"}},
      {"engrave r96x64 return", "r96x64.bmp",
       {"--set", "Etching_width=0,96", "--set", "Etching_delay=5000", "engrave", "@", "--return"}},
      {"burn r96x64 negative y", "r96x64.bmp",
       {"--set", "SM_Y_ratio=-0.005", "--set", "Etching_width=0.96", "burn", "@", "--return"}},
      {"mill r96x64 32 fractional", "r96x64.bmp",
       {"--set", "cncrez_width=3.3", "mill", "@", "--figure", "32"}},
      {"mill-all r96x64 negative xy", "r96x64.bmp",
       {"--set", "SM_X_ratio=-0.005", "--set", "SM_Y_ratio=-0.01", "--set", "cncrez_width=4",
        "mill-all", "@", "--return"}},
      {"relief r96x64 negative y", "r96x64.bmp",
       {"--set", "SM_Y_ratio=-0.005", "--set", "cncrez_width=4,8", "--set", "mill_diameter=0,25",
        "relief", "@", "--return"}},
      {"engrave r120x90", "r120x90.bmp",
       {"--set", "Etching_width=2,4", "engrave", "@"}},
      {"burn r120x90 return", "r120x90.bmp",
       {"--set", "Etching_width=1,2", "--set", "SM_delay=100", "burn", "@", "--return"}},
      {"mill r120x90 7 optim", "r120x90.bmp",
       {"--set", "SM_optim=1", "--set", "cncrez_width=7,7", "--set", "cncrez_depth=3", "mill", "@",
        "--figure", "7", "--return"}},
      {"mill r120x90 12", "r120x90.bmp",
       {"--set", "cncrez_width=6", "mill", "@", "--figure", "12"}},
      {"mill-all r120x90 optim", "r120x90.bmp",
       {"--set", "SM_optim=1", "--set", "cncrez_width=6.1", "mill-all", "@"}},
      {"relief r120x90", "r120x90.bmp",
       {"--set", "cncrez_width=6", "--set", "mill_diameter=0,3", "--set", "SM_mill_delay=1000",
        "relief", "@"}},
      // The cut, recorded when it was added (the run first unless --prepared).
      {"cut r40x30 below a step", "r40x30.bmp",
       {"--set", "Etching9_width=0,1", "cut", "@"}},
      {"cut r73x51 optim return", "r73x51.bmp",
       {"--set", "SM_optim=1", "--set", "Etching9_width=7,3", "cut", "@", "--return"}},
      {"cut r96x64 fractional", "r96x64.bmp",
       {"--set", "Etching9_width=1.234", "--set", "Etching9_delay=500", "cut", "@"}},
      {"cut r120x90 negative x", "r120x90.bmp",
       {"--set", "SM_X_ratio=-0.005", "cut", "@", "--return"}},
      {"cut ornament optim", "ornament.bmp",
       {"--set", "SM_optim=1", "cut", "@"}},
      {"cut gepard prepared", "gepard2.jpg",
       {"cut", "@", "--prepared", "--return"}},
      // The outlining jobs, recorded when they were added.
      {"outline ornament 9", "ornament.bmp",
       {"outline", "@", "--figure", "9"}},
      {"outline ornament 24 optim", "ornament.bmp",
       {"--set", "SM_optim=1", "outline", "@", "--figure", "24", "--return"}},
      {"outline-all ornament return", "ornament.bmp",
       {"outline-all", "@", "--return"}},
      {"outline-all gepard optim", "gepard2.jpg",
       {"--set", "SM_optim=1", "outline-all", "@"}},
      {"fill ornament optim", "ornament.bmp",
       {"--set", "SM_optim=1", "fill", "@", "--return"}},
      {"fill gepard", "gepard2.jpg",
       {"fill", "@"}},
      {"outline r40x30 1 fractional", "r40x30.bmp",
       {"--set", "Etching2_width=1.234", "outline", "@", "--figure", "1", "--return"}},
      {"outline-all r73x51 negative x", "r73x51.bmp",
       {"--set", "SM_X_ratio=-0.005", "--set", "Etching2_width=2,5", "--set", "Etching2_delay=700",
        "outline-all", "@", "--return"}},
      {"fill r96x64 return", "r96x64.bmp",
       {"--set", "Etching2_width=4,8", "--set", "Etching2_diameter=0,25", "fill", "@", "--return"}},
      {"fill r120x90 optim", "r120x90.bmp",
       {"--set", "SM_optim=1", "--set", "Etching2_width=6", "--set", "Etching2_diameter=0,3",
        "--set", "Etching2_delay=500", "fill", "@"}},
  };
  return cases;
}
// clang-format on

constexpr const char* kStatusFile = "status.txt";

std::string StreamFileName(std::string_view label) {
  std::string name(label);
  std::replace(name.begin(), name.end(), ' ', '-');
  return name + ".txt";
}

// status.txt: a line "STATUS FILE" per row, in the table's order.
std::map<std::string, int> ParseStatuses(const std::string& text) {
  std::map<std::string, int> statuses;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    int status = 0;
    std::string file;
    if (line.empty() || line[0] == '#' || !(fields >> status >> file)) continue;
    statuses[file] = status;
  }
  return statuses;
}

// A line as a reader can compare it: control bytes (a stray '\r') shown.
std::string Visible(std::string_view line) {
  std::string shown;
  for (const char c : line) {
    if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) {
      shown += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
      shown += escaped;
    }
  }
  return shown;
}

// The line starting at `start`, or what stands there instead of one.
std::string LineAt(std::string_view text, std::size_t start) {
  if (start >= text.size()) return "(the stream ends)";
  const std::size_t end = text.find('\n', start);
  if (end == std::string_view::npos) return Visible(text.substr(start)) + " (no line end)";
  return Visible(text.substr(start, end - start));
}

// Where `written` first departs from `expected`, for a reader; empty when they
// are the same. Lines are counted by their '\n', as `wc -l` does.
std::string Difference(std::string_view expected, std::string_view written) {
  if (expected == written) return {};
  const auto at =
      std::mismatch(expected.begin(), expected.end(), written.begin(), written.end()).first;
  const std::string_view before = expected.substr(0, std::distance(expected.begin(), at));
  const std::size_t newline = before.rfind('\n');
  const std::size_t start = newline == std::string_view::npos ? 0 : newline + 1;
  std::ostringstream text;
  text << "first differing line " << std::count(before.begin(), before.end(), '\n') + 1 << "\n"
       << "  expected: " << LineAt(expected, start) << "\n"
       << "  written:  " << LineAt(written, start) << "\n"
       << "  lines: " << std::count(expected.begin(), expected.end(), '\n') << " expected, "
       << std::count(written.begin(), written.end(), '\n') << " written";
  return text.str();
}

bool Recording() {
  const char* value = std::getenv("VERTOLIN_RECORD_STREAMS");
  return value != nullptr && *value != '\0' && std::string_view(value) != "0";
}

TEST(PrintStreams, EveryJobStreamMatchesItsRecordedFile) {
  const std::filesystem::path streams = PathFromUtf8(VERTOLIN_STREAMS_DIR);
  const bool recording = Recording();
  std::set<std::string> rowFiles{kStatusFile};
  for (const Case& c : Cases())
    ASSERT_TRUE(rowFiles.insert(StreamFileName(c.label)).second) << "two rows name " << c.label;

  if (recording) std::filesystem::create_directories(streams);
  const FileBytes statusFile = ReadFileBytes(streams / kStatusFile);
  if (!recording) {
    ASSERT_EQ(statusFile.status, FileBytes::Status::kOk)
        << PathToUtf8(streams / kStatusFile)
        << " cannot be read; VERTOLIN_RECORD_STREAMS=1 writes it";
  }
  // Kept for the rows this build cannot run (JPEG) when recording.
  std::map<std::string, int> statuses = ParseStatuses(statusFile.bytes);

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
    const std::string fileName = StreamFileName(c.label);
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

    std::ostringstream out;
    std::ostringstream err;
    const int status = RunCli(args, {out, err});
    const std::filesystem::path file = streams / fileName;
    if (recording) {
      std::string error;
      ASSERT_TRUE(ReplaceFileContents(file, out.str(), error, false)) << error;
      statuses[fileName] = status;
      continue;
    }
    const auto recorded = statuses.find(fileName);
    if (recorded == statuses.end()) {
      ADD_FAILURE() << c.label << ": no status in " << kStatusFile;
    } else if (status != recorded->second) {
      ADD_FAILURE() << c.label << ": exit status " << status << ", recorded " << recorded->second
                    << "\n"
                    << err.str();
    }
    const FileBytes expected = ReadFileBytes(file);
    if (expected.status != FileBytes::Status::kOk) {
      ADD_FAILURE() << c.label << ": " << PathToUtf8(file) << " cannot be read";
      continue;
    }
    const std::string difference = Difference(expected.bytes, out.str());
    if (!difference.empty())
      ADD_FAILURE() << c.label << ": the stream differs from " << PathToUtf8(file) << "\n"
                    << difference;
  }

  // Files no row writes any more would stand in a review as if guarded.
  for (const auto& entry : std::filesystem::directory_iterator(streams)) {
    const std::string name = PathToUtf8(entry.path().filename());
    if (entry.path().extension() != ".txt" || rowFiles.count(name) != 0) continue;
    if (recording) {
      std::filesystem::remove(entry.path());
    } else {
      ADD_FAILURE() << PathToUtf8(entry.path()) << " belongs to no row";
    }
  }
  if (recording) {
    std::string text = "# The exit status of each row's --print run, by its stream's file.\n";
    for (const Case& c : Cases()) {
      const auto recorded = statuses.find(StreamFileName(c.label));
      if (recorded != statuses.end())
        text += std::to_string(recorded->second) + " " + recorded->first + "\n";
    }
    std::string error;
    ASSERT_TRUE(ReplaceFileContents(streams / kStatusFile, text, error)) << error;
    GTEST_SKIP() << "recorded the streams into " << PathToUtf8(streams) << "; nothing compared"
                 << (withoutJpeg > 0 ? " (the JPEG rows were left as they were)" : "");
  }
  if (HasFailure()) {
    std::cout << "If these changes are meant, record the streams again "
                 "(VERTOLIN_RECORD_STREAMS=1, see print_streams_test.cpp) and review their diff.\n";
  }
  if (withoutJpeg > 0)
    GTEST_SKIP() << withoutJpeg << " JPEG cases left out: " << test::kNoJpegReason;
}

}  // namespace
}  // namespace vertolin
