// scan, interpolate: the scanner window's "Сканировать" and
// "Интерполировать" with "Сохранить в BMP".
#include <charconv>
#include <deque>
#include <memory>

#include "cli/cli_commands.h"
#include "cli/cli_context.h"
#include "cli/print_port.h"
#include "modes/scanner/height_map.h"
#include "modes/scanner/height_picture.h"
#include "modes/scanner/mesh_view.h"
#include "modes/scanner/scan_job.h"
#include "picture/bmp.h"
#include "picture/picture_file.h"
#include "settings/mode_settings.h"
#include "util/file_replace.h"
#include "util/size_coupling.h"

namespace vertolin {

namespace {

class NoScanProgress : public ScanProgress {
 public:
  void Measured(int, int, std::int32_t) override {}
};

std::optional<std::string> Value(const Context& context, const char* name) {
  const auto found = context.options.values.find(name);
  if (found == context.options.values.end()) return std::nullopt;
  return found->second;
}

// A height map or the probe replies are a few kilobytes; a mesh of a million
// nodes still fits. Anything larger, or not a regular file, is refused unread.
constexpr std::uintmax_t kMaxNodesFileBytes = 16 * 1024 * 1024;

// A file's text, or a message and nothing.
std::optional<std::string> ReadText(Context& context, const std::string& path) {
  FileBytes file = ReadRegularFile(PathFromUtf8(path), kMaxNodesFileBytes);
  if (file.status == FileBytes::Status::kOk) return std::move(file.bytes);
  context.frontend.ShowMessage(
      texts::kTitleError,
      "Не удалось прочитать файл " + path + (file.error.empty() ? "" : "\r\n" + file.error));
  return std::nullopt;
}

bool WriteText(Context& context, const std::string& path, std::string_view bytes) {
  std::string error;
  if (ReplaceFileContents(PathFromUtf8(path), bytes, error)) return true;
  context.frontend.ShowMessage(texts::kTitleError,
                               "Не удалось записать файл " + path + "\r\n" + error);
  return false;
}

// The probe replies of --print: whitespace-separated integers, one per node.
std::optional<std::deque<std::int32_t>> ReadProbeReplies(Context& context,
                                                         const std::string& path) {
  const auto text = ReadText(context, path);
  if (!text) return std::nullopt;
  std::deque<std::int32_t> values;
  const char* at = text->data();
  const char* const end = at + text->size();
  while (true) {
    while (at != end && (*at == ' ' || *at == '\t' || *at == '\r' || *at == '\n')) ++at;
    if (at == end) return values;
    std::int32_t value = 0;
    const auto [next, ec] = std::from_chars(at, end, value);
    if (ec != std::errc()) {
      context.frontend.ShowMessage(
          texts::kTitleError, "В файле " + path + " ожидались целые числа, по одному на точку");
      return std::nullopt;
    }
    values.push_back(value);
    at = next;
  }
}

}  // namespace

int Scan(Context& context) {
  const SettingsStore& settings = context.settings;
  const std::optional<std::string> mapPath = Value(context, "--map");
  const std::string meshX = keys::kScanMeshWidth.Read(settings);
  const std::string meshY = keys::kScanMeshHeight.Read(settings);
  const std::string areaX = keys::kScanAreaWidth.Read(settings);
  // Text9 as the window derives it from Text8 and the picture size.
  const auto pictureWidth = PictureSide(keys::kScanPictureWidth.Read(settings));
  const auto pictureHeight = PictureSide(keys::kScanPictureHeight.Read(settings));
  const std::string areaY = pictureWidth && pictureHeight
                                ? HeightForWidth(areaX, *pictureWidth, *pictureHeight).value_or("")
                                : std::string();
  const MachineProfile& profile = context.link.profile();
  const ScanFields fields{meshX, meshY, areaX, areaY, profile.xRatio, profile.yRatio};
  const bool dryRun = context.options.flags.contains("--dry-run");

  if (context.options.print) {
    if (!mapPath) {
      context.frontend.ShowMessage(
          texts::kTitleError, "С --print строки идут на стандартный вывод: карте нужен --map FILE");
      return kCliRefused;
    }
    // In G-code the program, made from the motions, is what is printed.
    auto port = context.gcodeOut != nullptr
                    ? std::make_unique<PrintPort>([](std::string_view) {}, 'S')
                    : std::make_unique<PrintPort>(context.streams.out, 'S');
    const ScanPlanResult planned = PlanScan(fields);
    if (planned.plan && !dryRun) {
      const std::optional<std::string> probePath = Value(context, "--probe");
      if (!probePath) {
        context.frontend.ShowMessage(texts::kTitleError,
                                     "С --print измерения берутся из файла --probe FILE");
        return kCliRefused;
      }
      auto replies = ReadProbeReplies(context, *probePath);
      if (!replies) return kCliRefused;
      const std::size_t nodes = static_cast<std::size_t>(planned.plan->meshX) *
                                static_cast<std::size_t>(planned.plan->meshY);
      // Fewer would leave the scan waiting for a reply that never comes.
      if (replies->size() != nodes) {
        context.frontend.ShowMessage(
            texts::kTitleError, "В файле " + *probePath + " " + std::to_string(replies->size()) +
                                    " измерений, а в сетке " + std::to_string(nodes) + " точек");
        return kCliRefused;
      }
      port->AnswerProbes(std::move(*replies));
    }
    context.observers.push_back(port.get());  // it answers the probes it sees
    context.link.Attach(std::move(port));
  }

  WindowLink window(context.link, formats::kScanner);
  const Handshaken handshake = Handshake(context, window);
  if (handshake.failure != kCliDone) return handshake.failure;
  if (dryRun) window.SetDriveSwitch([] { return false; });
  // Its lines depend on the board's answers, so it is counted here, from its
  // mesh, rather than as the other jobs are.
  if (WantsProgress(context.options, context.streams)) {
    if (const auto count = CountScan(window, fields)) {
      context.frontend.PlanProgress(count->lines, count->seconds(), context.streams.errIsTerminal);
    }
  }

  HeightMap map;
  NoScanProgress progress;
  const ScanResult result = RunScan(window, fields, map, progress);
  if (result.job == JobOutcome::Refused) return kCliRefused;
  // Written however the scan ended: the nodes measured so far are kept.
  const std::string text = HeightMapText(map);
  if (mapPath) {
    if (!WriteText(context, *mapPath, text)) return kCliRefused;
  } else {
    context.streams.out << text;
  }
  return ExitStatus(result.job);
}

int Interpolate(Context& context) {
  const std::string& mapPath = context.options.args[0];
  const auto text = ReadText(context, mapPath);
  if (!text) return kCliRefused;
  std::string error;
  const auto map = ParseHeightMapText(*text, error);
  if (!map) {
    context.frontend.ShowMessage(texts::kTitleError,
                                 "Файл " + mapPath + " - не карта высот: " + error);
    return kCliRefused;
  }
  const auto width = PictureSide(keys::kScanPictureWidth.Read(context.settings));
  const auto height = PictureSide(keys::kScanPictureHeight.Read(context.settings));
  const auto box = width && height ? BoxForPicture(*width, *height) : std::nullopt;
  if (!box) {
    context.frontend.ShowMessage(texts::kTitleError, "Размеры изображения в пикселях не подходят");
    return kCliRefused;
  }
  // The view as the window shows it after "Интерполировать": the empty mesh
  // of the map's own size, the picture painted over it.
  PixelImage view = DrawEmptyMesh(LayOutMesh(*box, map->meshX(), map->meshY()));
  const std::string_view refusal = InterpolateInto(view, *map, *width, *height);
  if (!refusal.empty()) {
    context.frontend.ShowMessage(texts::kTitleError, refusal);
    return kCliRefused;
  }
  const std::vector<std::uint8_t> bmp = WriteBmp(view);
  const std::string_view bytes(reinterpret_cast<const char*>(bmp.data()), bmp.size());
  return WriteText(context, context.options.values.at("--out"), bytes) ? kCliDone : kCliRefused;
}

}  // namespace vertolin
