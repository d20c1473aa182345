#include "modes/cutting/processing_run.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "picture/bmp.h"
#include "picture/picture_file.h"
#include "util/file_replace.h"

namespace vertolin {

namespace {

constexpr std::string_view kErrorTitle = "Ошибка";

// How often CN runs in the chain: a flat area of v ends as 32 v, so that
// only the darkest flat areas stay black.
constexpr int kSharpenPasses = 5;

// Marks the preparation as running for the scope's life.
class RunningScope {
 public:
  explicit RunningScope(bool& running) : running_(running) { running_ = true; }
  ~RunningScope() { running_ = false; }
  RunningScope(const RunningScope&) = delete;
  RunningScope& operator=(const RunningScope&) = delete;

 private:
  bool& running_;
};

}  // namespace

bool SaveBmpFile(const PixelImage& picture, const std::filesystem::path& file, std::string& error) {
  const std::vector<std::uint8_t> contents = WriteBmp(picture);
  if (contents.empty()) {
    error = "Изображение пусто или слишком велико для файла BMP.";
    return false;
  }
  const std::string_view bytes(reinterpret_cast<const char*>(contents.data()), contents.size());
  return ReplaceFileContents(file, bytes, error);
}

bool SaveDrawing(const PixelImage& drawing, const std::filesystem::path& folder,
                 std::string& error) {
  return SaveBmpFile(drawing, folder / kDrawingFileName, error);
}

CuttingPreparation::CuttingPreparation(CuttingLayers& layers, Frontend& frontend,
                                       std::filesystem::path programFolder)
    : layers_(layers), frontend_(frontend), pump_(frontend), folder_(std::move(programFolder)) {}

bool CuttingPreparation::Pass(CuttingFilter filter, int pass, ProcessingView& view,
                              PatternRemoval* removal) {
  PixelImage& work = layers_.work;
  view.Stage(FilterLabel(filter, pass));
  const double height = work.height();
  const FilterRowHook onRow = [&](int y) {
    view.Bar(y * 100.0 / height);
    pump_.Tick();
  };
  const bool changed = removal != nullptr ? removal->Pass(onRow) : ApplyFilter(filter, work, onRow);
  view.Idle();
  if (filter == CuttingFilter::GS) {
    layers_.pattern = work;
    layers_.trace = work;
  }
  view.LayersWritten(filter);
  return changed;
}

ProcessingOutcome CuttingPreparation::SaveAfterDrawing() {
  std::string error;
  if (SaveDrawing(layers_.pattern, folder_, error)) return ProcessingOutcome::Done;
  frontend_.ShowMessage(
      kErrorTitle,
      "Не удалось сохранить файл " + PathToUtf8(folder_ / kDrawingFileName) + "." + "\r\n" + error);
  return ProcessingOutcome::NotSaved;
}

ProcessingResult CuttingPreparation::Process(ProcessingView& view) {
  if (running_) return {ProcessingOutcome::Busy};
  const RunningScope scope(running_);

  if (!FileExists(folder_ / kNetworkFileName)) {
    frontend_.ShowMessage(kErrorTitle, kMissingNetworkText);
    return {ProcessingOutcome::NoNetwork};
  }
  if (layers_.empty()) return {ProcessingOutcome::NoPicture};

  ProcessingResult result;
  Pass(CuttingFilter::ST, 1, view);
  for (int pass = 1; pass <= kSharpenPasses; ++pass) Pass(CuttingFilter::CN, pass, view);
  // Each pass can only whiten pixels, so this ends after at most as many
  // passes as there are dark pixels, plus one.
  PatternRemoval removal(layers_.work);
  while (Pass(CuttingFilter::CR, ++result.removalPasses, view, &removal)) {
  }
  Pass(CuttingFilter::CL, 1, view);
  Pass(CuttingFilter::GS, 1, view);
  result.outcome = SaveAfterDrawing();
  return result;
}

ProcessingOutcome CuttingPreparation::RunOne(CuttingFilter filter, ProcessingView& view) {
  if (running_) return ProcessingOutcome::Busy;
  const RunningScope scope(running_);
  if (layers_.empty()) return ProcessingOutcome::NoPicture;
  Pass(filter, 1, view);
  return filter == CuttingFilter::GS ? SaveAfterDrawing() : ProcessingOutcome::Done;
}

}  // namespace vertolin
