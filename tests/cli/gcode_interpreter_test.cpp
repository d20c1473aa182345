// Every job command's G-code program (--print --protocol grbl) run through
// LinuxCNC's stand-alone interpreter rs274, whose canonical moves are
// compared with the native job's lines (--print), read as motions: the same
// corners in the same order, to half a thousandth of a millimetre, the tool
// in the same state on every stretch, the working feeds taking the native
// time, and no interpreter error. rs274 comes with Debian's linuxcnc-uspace
// (scripts/common.sh); set VERTOLIN_RS274 to use another one.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "picture/default_pictures.h"
#include "picture/picture_file.h"
#include "picture/pixel_image.h"
#include "support/jpeg_skip.h"
#include "support/temp_folder.h"
#include "util/exe_folder.h"
#include "util/file_replace.h"
#include "util/path_text.h"

namespace vertolin {
namespace {

enum class Tool { Router, Laser, Raster, HotWire, Probe };

using Steps = std::array<std::int64_t, 3>;

// A stretch of the job: where it ends and the tool's state along it (0 off;
// 1 at work; the raster's S; -1 a probe where the head stands).
struct Stretch {
  Steps to{};
  std::int64_t state = 0;
  bool operator==(const Stretch&) const = default;
};

struct Path {
  std::vector<Stretch> stretches;
  double workSeconds = 0;  // time with the tool at work (router, laser outline)
};

void Append(Path& path, const Steps& from, const Steps& to, std::int64_t state) {
  if (state != -1 && from == to) return;
  path.stretches.push_back({to, state});
}

// Straight runs of one state become one stretch, on both sides alike.
std::vector<Stretch> Corners(const std::vector<Stretch>& stretches) {
  std::vector<Stretch> corners;
  Steps at{};
  Steps runFrom{};
  for (const Stretch& s : stretches) {
    if (!corners.empty() && s.state != -1 && corners.back().state == s.state) {
      const Stretch& last = corners.back();
      std::array<long double, 3> a{};
      std::array<long double, 3> b{};
      for (std::size_t i = 0; i < 3; ++i) {
        a[i] = static_cast<long double>(last.to[i] - runFrom[i]);
        b[i] = static_cast<long double>(s.to[i] - at[i]);
      }
      const bool parallel = a[1] * b[2] == a[2] * b[1] && a[2] * b[0] == a[0] * b[2] &&
                            a[0] * b[1] == a[1] * b[0];
      if (parallel && a[0] * b[0] + a[1] * b[1] + a[2] * b[2] > 0) {
        corners.back().to = s.to;
        at = s.to;
        continue;
      }
    }
    runFrom = at;
    corners.push_back(s);
    at = s.to;
  }
  return corners;
}

std::vector<std::int64_t> Fields(std::string_view line) {
  std::vector<std::int64_t> fields;
  if (line.ends_with(';')) line.remove_suffix(1);
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = line.find(',', start);
    const std::string field(line.substr(start, comma - start));
    fields.push_back(field.empty() ? 0 : std::stoll(field));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  fields.resize(std::max<std::size_t>(fields.size(), 4), 0);
  return fields;
}

constexpr std::int64_t kIdle = 2000;  // SM_delay's default
constexpr std::int64_t kDark = 4000;  // Etching_delay's default: full power
constexpr std::int64_t kMaxPower = 1000;

// The native lines read back as the machine does them.
Path NativePath(const std::string& stream, Tool tool) {
  Path path;
  Steps at{};
  bool lit = false;
  std::istringstream lines(stream);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line.front() == ',') continue;  // the raster's opening
    const std::vector<std::int64_t> f = Fields(line);
    Steps to = at;
    std::int64_t state = 0;
    std::int64_t delay = 0;
    switch (tool) {
      case Tool::Router:
        to = {at[0] + f[0], at[1] + f[1], at[2] + f[2]};
        delay = f[3];
        state = to[2] < 0 ? 1 : 0;
        break;
      case Tool::Laser:
        if (f[2] == 1) lit = true;
        if (f[2] == -1) lit = false;
        to = {at[0] + f[0], at[1] + f[1], at[2]};
        delay = f[3];
        state = lit ? 1 : 0;
        break;
      case Tool::Raster:
      case Tool::HotWire: {
        to = {at[0] + f[0], at[1] + f[1], at[2]};
        const std::int64_t travelDelay = tool == Tool::Raster ? 0 : kIdle;
        if (f[2] != travelDelay) {
          const double power = std::nearbyint(static_cast<double>(kMaxPower * f[2]) / kDark);
          state = static_cast<std::int64_t>(std::min<double>(power, kMaxPower));
        }
        break;
      }
      case Tool::Probe:
        if (f[2] != 0) {  // the probe
          Append(path, at, at, -1);
          continue;
        }
        to = {at[0] + f[0], at[1] + f[1], at[2]};
        break;
    }
    if (state == 1) {
      const std::int64_t largest = std::max(
          {std::llabs(to[0] - at[0]), std::llabs(to[1] - at[1]), std::llabs(to[2] - at[2])});
      path.workSeconds += static_cast<double>(largest * (delay > 0 ? delay : kIdle)) * 1e-6;
    }
    Append(path, at, to, state);
    at = to;
  }
  return path;
}

// rs274's canonical calls read back, positions in whole steps; what breaks
// the program's rules is added to `faults`.
Path InterpretedPath(const std::string& canon, Tool tool, const std::array<double, 3>& ratios,
                     std::vector<std::string>& faults) {
  Path path;
  std::array<double, 3> mm{};
  Steps at{};
  bool spindle = false;
  double speed = 0;
  double feed = 0;
  std::istringstream lines(canon);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t open = line.find('(');
    if (open == std::string::npos) continue;
    const std::size_t nameStart = line.rfind(' ', open) + 1;
    const std::string name = line.substr(nameStart, open - nameStart);
    std::vector<double> args;
    std::istringstream argText(line.substr(open + 1));
    std::string arg;
    while (std::getline(argText, arg, ',')) args.push_back(std::atof(arg.c_str()));
    if (name == "SET_FEED_RATE") feed = args.at(0);
    if (name == "SET_SPINDLE_SPEED") speed = args.at(1);
    if (name == "START_SPINDLE_COUNTERCLOCKWISE") spindle = true;
    if (name == "STOP_SPINDLE_TURNING") spindle = false;
    if (name == "START_SPINDLE_CLOCKWISE") {
      spindle = true;
      if (tool != Tool::Router) faults.push_back("M3 in a laser's program: " + line);
    }
    if (name == "STRAIGHT_PROBE") {
      if (std::abs(args.at(2) - (mm[2] - 5)) > 1e-9) faults.push_back("probe depth: " + line);
      Append(path, at, at, -1);
      continue;
    }
    const bool rapid = name == "STRAIGHT_TRAVERSE";
    if (!rapid && name != "STRAIGHT_FEED") continue;
    Steps to{};
    for (std::size_t axis = 0; axis < 3; ++axis) {
      const double value = args.at(axis);
      to[axis] = std::llround(value / ratios[axis]);
      if (std::abs(value - static_cast<double>(to[axis]) * ratios[axis]) > 0.0005 + 1e-9)
        faults.push_back("off the step grid: " + line);
    }
    std::int64_t state = 0;
    if (rapid) {
      if (mm[2] < 0 || args.at(2) < 0) faults.push_back("G0 below the start: " + line);
      if (tool != Tool::Router && spindle && speed > 0)
        faults.push_back("G0 with the laser at power: " + line);
    } else if (tool == Tool::Router) {
      state = to[2] < 0 ? 1 : 0;
    } else if (tool == Tool::Raster || tool == Tool::HotWire) {
      state = spindle ? std::llround(speed) : 0;
    } else {
      state = spindle && speed > 0 ? 1 : 0;
    }
    if (state == 1 && tool != Tool::Raster && tool != Tool::HotWire) {
      const double length = std::hypot(args[0] - mm[0], args[1] - mm[1], args[2] - mm[2]);
      path.workSeconds += length / feed * 60;
    }
    Append(path, at, to, state);
    at = to;
    mm = {args[0], args[1], args[2]};
  }
  return path;
}

// Grey noise with dark blobs, some with light holes: figures, holes and a raster
// of many greys.
PixelImage NoisyPicture(int width, int height, std::uint32_t seed) {
  std::uint64_t state = seed * 2654435761u + 7;
  auto next = [&](int below) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<int>((state >> 33) % static_cast<std::uint64_t>(below));
  };
  PixelImage image(width, height);
  for (int y = 1; y <= height; ++y)
    for (int x = 1; x <= width; ++x)
      image.SetGrey(x, y, static_cast<std::uint8_t>(150 + next(106)));
  for (int blob = 0; blob < 4; ++blob) {
    const int cx = 1 + next(width), cy = 1 + next(height);
    const int r = 3 + next(std::max(1, width / 5));
    const int grey = next(90);
    for (int y = 1; y <= height; ++y) {
      for (int x = 1; x <= width; ++x) {
        const int d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        if (d <= r * r && d > (r / 3) * (r / 3))
          image.SetGrey(x, y, static_cast<std::uint8_t>(grey));
      }
    }
  }
  return image;
}

struct Case {
  const char* label;
  const char* picture;  // "" for none
  Tool tool;
  std::vector<std::string> args;  // "@" stands for the picture's path
};

// clang-format off
const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"mill ornament 9", "ornament.bmp", Tool::Router, {"mill", "@", "--figure", "9", "--return"}},
      {"mill-all gepard", "gepard2.jpg", Tool::Router, {"mill-all", "@"}},
      {"relief ornament optim", "ornament.bmp", Tool::Router,
       {"--set", "SM_optim=1", "--set", "grbl_spindle_speed=10000", "relief", "@", "--return"}},
      {"mill-all r61x47 negative xy", "r61x47.bmp", Tool::Router,
       {"--set", "SM_X_ratio=-0.005", "--set", "SM_Y_ratio=-0.01", "--set", "cncrez_width=4",
        "mill-all", "@", "--return"}},
      {"relief r88x70 fractional", "r88x70.bmp", Tool::Router,
       {"--set", "cncrez_width=6.1", "--set", "mill_diameter=0,3", "relief", "@"}},
      {"outline ornament 24", "ornament.bmp", Tool::Laser, {"outline", "@", "--figure", "24"}},
      {"outline-all r61x47", "r61x47.bmp", Tool::Laser,
       {"--set", "Etching2_width=2,5", "--set", "Etching2_delay=700", "outline-all", "@",
        "--return"}},
      {"fill ornament", "ornament.bmp", Tool::Laser, {"fill", "@", "--return"}},
      {"cut ornament", "ornament.bmp", Tool::Laser, {"cut", "@"}},
      {"cut r88x70 negative x", "r88x70.bmp", Tool::Laser,
       {"--set", "SM_X_ratio=-0.005", "--set", "Etching9_width=1.234", "cut", "@", "--return"}},
      {"engrave gepard return", "gepard2.jpg", Tool::Raster,
       {"--set", "Etching_min=300", "engrave", "@", "--return"}},
      {"engrave r61x47 negative x", "r61x47.bmp", Tool::Raster,
       {"--set", "SM_X_ratio=-0.005", "--set", "Etching_width=0,61", "engrave", "@", "--return"}},
      {"burn r88x70", "r88x70.bmp", Tool::HotWire, {"--set", "Etching_width=1,32", "burn", "@"}},
      {"scan", "", Tool::Probe, {"scan", "--map", "@map", "--probe", "@probe"}},
      {"move", "", Tool::Router, {"move", "1.5", "-2", "-0.25"}},
  };
  return cases;
}
// clang-format on

std::optional<std::string> FindRs274() {
  if (const char* named = std::getenv("VERTOLIN_RS274"); named != nullptr && *named != '\0')
    return std::string(named);
  const char* pathVariable = std::getenv("PATH");
  std::istringstream folders(pathVariable != nullptr ? pathVariable : "");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const std::filesystem::path candidate = std::filesystem::path(folder) / "rs274";
    if (std::filesystem::exists(candidate)) return candidate.string();
  }
  return std::nullopt;
}

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(GcodeInterpreter, EveryJobsProgramRunsTheNativeJobsPath) {
  const std::optional<std::string> rs274 = FindRs274();
  // Missing, it would let every program pass unseen: CI installs linuxcnc-uspace.
  ASSERT_TRUE(rs274)
      << "rs274 not found on PATH (Debian: linuxcnc-uspace); VERTOLIN_RS274 names it";

  const test::TempFolder folder;
  ASSERT_TRUE(WriteDefaultPictures(folder.path()));
  ASSERT_TRUE(WritePictureFile(folder.path() / "r61x47.bmp", NoisyPicture(61, 47, 5)));
  ASSERT_TRUE(WritePictureFile(folder.path() / "r88x70.bmp", NoisyPicture(88, 70, 6)));
  {
    std::ofstream probes(folder.path() / "probe.txt");
    for (int node = 0; node < 30; ++node) probes << node * 7 % 11 << ' ';  // the default 6 x 5 mesh
  }
  if (!FileExists(ExecutableFolder() / "neuro.net"))
    std::ofstream(ExecutableFolder() / "neuro.net") << "";
  const std::filesystem::path ini = folder.path() / "cnc.ini";
  std::ofstream(ini, std::ios::binary) << "[CNC]\r\n";

  for (const Case& c : Cases()) {
    const std::filesystem::path picture = folder.path() / c.picture;
    if (!test::kHaveJpeg && picture.extension() == ".jpg") continue;
    std::vector<std::string> args{"--ini", PathToUtf8(ini), "--print"};
    std::array<double, 3> ratios{0.005, 0.005, 0.005};
    for (const std::string& arg : c.args) {
      if (arg == "@") {
        args.push_back(PathToUtf8(picture));
      } else if (arg == "@map" || arg == "@probe") {
        args.push_back(PathToUtf8(folder.path() / (arg.substr(1) + ".txt")));
      } else {
        args.push_back(arg);
      }
      if (arg.starts_with("SM_X_ratio=")) ratios[0] = std::stod(arg.substr(11));
      if (arg.starts_with("SM_Y_ratio=")) ratios[1] = std::stod(arg.substr(11));
    }
    std::ostringstream native;
    std::ostringstream err;
    ASSERT_EQ(RunCli(args, {native, err}), kCliDone) << c.label << "\n" << err.str();
    args.insert(args.begin() + 3, {"--protocol", "grbl"});
    std::ostringstream gcode;
    ASSERT_EQ(RunCli(args, {gcode, err}), kCliDone) << c.label << "\n" << err.str();
    const std::string program = gcode.str();
    EXPECT_TRUE(program.starts_with("G21 G90\n")) << c.label;
    EXPECT_TRUE(program.ends_with("M5\nM2\n")) << c.label;

    const std::filesystem::path nc = folder.path() / "job.nc";
    std::ofstream(nc, std::ios::binary) << program;
    const std::filesystem::path canon = folder.path() / "canon.txt";
    const std::filesystem::path errors = folder.path() / "errors.txt";
    const std::string command = "\"" + *rs274 + "\" -g \"" + nc.string() + "\" > \"" +
                                canon.string() + "\" 2> \"" + errors.string() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0) << c.label << ": rs274 refused the program\n"
                                               << ReadText(errors);

    std::vector<std::string> faults;
    const Path expected = NativePath(native.str(), c.tool);
    const Path interpreted = InterpretedPath(ReadText(canon), c.tool, ratios, faults);
    for (std::size_t i = 0; i < std::min<std::size_t>(faults.size(), 5); ++i)
      ADD_FAILURE() << c.label << ": " << faults[i];
    const std::vector<Stretch> want = Corners(expected.stretches);
    const std::vector<Stretch> got = Corners(interpreted.stretches);
    EXPECT_FALSE(want.empty()) << c.label;
    for (std::size_t i = 0; i < std::max(want.size(), got.size()); ++i) {
      if (i < want.size() && i < got.size() && want[i] == got[i]) continue;
      auto show = [](const std::vector<Stretch>& s, std::size_t k) {
        if (k >= s.size()) return std::string("(none)");
        return std::to_string(s[k].to[0]) + "," + std::to_string(s[k].to[1]) + "," +
               std::to_string(s[k].to[2]) + " state " + std::to_string(s[k].state);
      };
      ADD_FAILURE() << c.label << ": corner " << i << " of " << want.size() << "/" << got.size()
                    << ": native " << show(want, i) << ", G-code " << show(got, i);
      break;
    }
    EXPECT_NEAR(interpreted.workSeconds, expected.workSeconds, expected.workSeconds * 1e-4 + 1e-6)
        << c.label;
  }
}

}  // namespace
}  // namespace vertolin
