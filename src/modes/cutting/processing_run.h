// The cutting window's preparation: "Обработать" chains the five filters on
// the Work layer (ST, CN five times, CR until a pass changes nothing, CL,
// GS), once the network file neuro.net is found beside the program; GS leaves
// the drawing in the Work, Template and Trace layers and in neuro.bmp. The
// filter buttons of the hidden frame run one filter each.
//
// The run shows its progress through ProcessingView and lets the windows'
// events run between rows, at most every EventPump::kInterval. While it runs
// (Running()) the window must neither load another picture nor start the cut:
// the layers are the run's until it returns. A click on "Обработать" or a
// filter button meanwhile is ignored (Busy).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "modes/cutting/cutting_layers.h"
#include "modes/cutting/picture_filters.h"
#include "util/frontend.h"

namespace vertolin {

inline constexpr std::string_view kNetworkFileName = "neuro.net";
inline constexpr std::string_view kDrawingFileName = "neuro.bmp";
inline constexpr std::string_view kMissingNetworkText =
    "Отсутвует файл нейронной сети.\r\nПроверьте наличие файла neuro.net в папке с программой.";

// How the window shows a run: Label7 and ProgressBar1, and the redraws.
class ProcessingView {
 public:
  virtual ~ProcessingView() = default;
  // A filter starts: Label7 shows `label` ("Нейро. CN - 3"), the bar 0 to
  // 100 shows 0; both become visible.
  virtual void Stage(std::string_view label) = 0;
  // The bar's value, y × 100 / H for the row about to be filtered (not
  // rounded; the bar may drop the fraction).
  virtual void Bar(double value) = 0;
  // The filter is done: Label7 and the bar are hidden.
  virtual void Idle() = 0;
  // The filter's result was written into the Work layer, after GS also into
  // Template and Trace. The window redraws after GS, and after the others
  // only while the filter frame (and with it the Work layer's box) is shown.
  virtual void LayersWritten(CuttingFilter filter) = 0;
};

// A run nobody watches (the command-line tool, benchmarks).
class UnseenProcessing : public ProcessingView {
 public:
  void Stage(std::string_view) override {}
  void Bar(double) override {}
  void Idle() override {}
  void LayersWritten(CuttingFilter) override {}
};

enum class ProcessingOutcome {
  Done,
  NoNetwork,  // neuro.net missing: the message was shown, no layer changed
  NoPicture,  // nothing loaded: nothing to do
  Busy,       // a run was already going on: ignored
  NotSaved,   // the layers hold the drawing but neuro.bmp could not be written (told)
};

struct ProcessingResult {
  ProcessingOutcome outcome = ProcessingOutcome::Done;
  int removalPasses = 0;  // CR passes run, the last one changing nothing
};

// Writes `drawing` as the 24-bit BMP `folder`/neuro.bmp: first to a
// temporary file, then renamed over the old one, so that a failure leaves the
// earlier file whole. False with the system's text in `error` on failure.
bool SaveDrawing(const PixelImage& drawing, const std::filesystem::path& folder,
                 std::string& error);
// The same for any file name.
bool SaveBmpFile(const PixelImage& picture, const std::filesystem::path& file, std::string& error);

class CuttingPreparation {
 public:
  // `layers` are the window's; `programFolder` is where neuro.net is looked
  // for and neuro.bmp written (the program's own folder in the window).
  CuttingPreparation(CuttingLayers& layers, Frontend& frontend,
                     std::filesystem::path programFolder);
  CuttingPreparation(const CuttingPreparation&) = delete;
  CuttingPreparation& operator=(const CuttingPreparation&) = delete;

  bool Running() const { return running_; }

  // "Обработать".
  ProcessingResult Process(ProcessingView& view);

  // A button of the filter frame: `filter` once with pass 1 (no network file
  // needed; GS writes neuro.bmp as in the run).
  ProcessingOutcome RunOne(CuttingFilter filter, ProcessingView& view);

 private:
  // One filter pass on the Work layer; CR's changed flag. The CR passes of
  // the run go through `removal`.
  bool Pass(CuttingFilter filter, int pass, ProcessingView& view,
            PatternRemoval* removal = nullptr);
  // After GS: neuro.bmp, or the message why not.
  ProcessingOutcome SaveAfterDrawing();

  CuttingLayers& layers_;
  Frontend& frontend_;
  EventPump pump_;
  std::filesystem::path folder_;
  bool running_ = false;
};

}  // namespace vertolin
