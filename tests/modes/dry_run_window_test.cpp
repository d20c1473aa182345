// A dry run (the drive switch clear) sends nothing and leaves nothing that the
// next real run starts from: in every job window, a dry run and then a real
// one send what the real run alone sends in a fresh window.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/link_format.h"
#include "modes/cutting/cutting_window.h"
#include "modes/engraving/engraving_window.h"
#include "modes/milling/milling_window.h"
#include "modes/outlining/outlining_window.h"
#include "modes/scanner/scanner_window.h"
#include "support/figure_window_fixture.h"

namespace vertolin {
namespace {

using test::RingPicture;

// 50 × 15: four square rings four pixels thick, each with a grey dot in
// its hole, so that the figures reach past 9 (the outside, and per ring the
// ring, its hole and its dot) and the laser's "Градиент" leaves them standing.
PixelImage RingsPicture() {
  PixelImage picture(50, 15);
  for (int left : {2, 14, 26, 38}) {
    for (int y = 2; y <= 13; ++y) {
      for (int x = left; x <= left + 11; ++x) {
        const bool hole = x >= left + 4 && x <= left + 7 && y >= 6 && y <= 9;
        if (!hole) picture.SetGrey(x, y, 0);
      }
    }
    picture.SetGrey(left + 5, 7, 96);
  }
  return picture;
}

// A prepared drawing for "Резать": one line, (3, 4) to (12, 4).
PixelImage LinePicture() {
  PixelImage picture(16, 8);
  for (int x = 3; x <= 12; ++x) picture.SetGrey(x, 4, 0);
  return picture;
}

class DryRunWindowTest : public test::FigureWindowFixture {
 protected:
  using Step = std::function<void(ModeWindow&)>;

  struct Case {
    const char* name;
    char board;
    std::function<std::unique_ptr<ModeWindow>()> make;
    Step prepare;  // before the dry run (and before the real run alone)
    const char* dryButton;
    Step between;  // after the dry run, before the real one (and the real run alone)
    const char* realButton;
    bool rasterOpening = false;  // the raster's opening goes out whatever the switch says
  };

  // Steps per pixel are not whole (10.3), so a rounding carry left behind
  // would show in the lines.
  void WriteSettings() {
    WritePicture(RingsPicture(), "Image", "rings.bmp");
    settings_.WriteSetting("cncrez_width", "2,575");
    settings_.WriteSetting("cncrez_depth", "1,275");
    settings_.WriteSetting("mill_diameter", "0,05");
    WritePicture(RingsPicture(), "Etching2_image", "rings2.bmp");
    settings_.WriteSetting("Etching2_width", "2,575");
    settings_.WriteSetting("Etching2_diameter", "0,1");
    WritePicture(RingsPicture(), "Etching_image", "rings3.bmp");
    settings_.WriteSetting("Etching_width", "2,5");  // the raster takes whole steps: 10
    WritePicture(LinePicture(), "Etching9_image", "line.bmp");
    settings_.WriteSetting("Etching9_width", "0,824");
  }

  static void Nothing(ModeWindow&) {}
  static void Parse(ModeWindow& window) { Click(window, "Command1"); }
  static void ParseAndChoose(ModeWindow& window, const char* figure) {
    Click(window, "Command1");
    ClickNode(window, figure);
  }

  // The board's record of one window's steps, the drive switch ticked only
  // before the real run; `dryLines` gets what the dry run sent.
  Lines Run(const Case& c, bool dryFirst, Lines* dryLines = nullptr) {
    // As in a fresh program: the last window's closing left StopFlag set,
    // which "Грав-ть всё" would take for a "Стоп".
    link_.ClearStop();
    SimulatedBoard& board = UseBoard(c.board);
    const std::unique_ptr<ModeWindow> window = c.make();
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->Load();
    c.prepare(*window);
    if (dryFirst) {
      Click(*window, c.dryButton);
      if (dryLines != nullptr) *dryLines = Moves(board);
    }
    c.between(*window);
    Tick(*window, "Check1");
    Click(*window, c.realButton);
    window->Unload();
    Lines lines = Moves(board);
    if (dryLines != nullptr) lines.erase(lines.begin(), lines.begin() + dryLines->size());
    return lines;
  }
};

TEST_F(DryRunWindowTest, DryThenRealSendsWhatTheRealRunAloneSends) {
  WriteSettings();
  const auto milling = [this] { return std::make_unique<MillingWindow>(link_, settings_); };
  const auto outlining = [this] { return std::make_unique<OutliningWindow>(link_, settings_); };
  const auto choose9 = [](ModeWindow& window) { ParseAndChoose(window, "9"); };
  const auto choose4 = [](ModeWindow& window) { ParseAndChoose(window, "4"); };
  // The picture chosen again with "...", as a person reloads it.
  const auto reloadAndParse = [this](ModeWindow& window) {
    auto& figure = static_cast<FigureWindow&>(window);
    figure.SetFileChooser(
        [this] { return QString::fromStdString(PathToUtf8(folder_.path() / "rings.bmp")); });
    Click(window, "Command8");
    Parse(window);
  };
  const std::vector<Case> cases = {
      {"milling Выделенная", 'M', milling, choose4, "Command2", Nothing, "Command2"},
      {"milling Все", 'M', milling, Parse, "Command6", Nothing, "Command6"},
      {"milling Резать 3D", 'M', milling, Parse, "Command7", Nothing, "Command7"},
      // Dry "Резать 3D", "Разобрать": the tree was empty, "Все" refused.
      {"milling Резать 3D then Разобрать, Все", 'M', milling, Nothing, "Command7", Parse,
       "Command6"},
      // Dry "Резать 3D", the picture again, "Разобрать", "Все": 66 mm off before.
      {"milling Резать 3D then Все", 'M', milling, Nothing, "Command7", reloadAndParse, "Command6"},
      {"outlining Выделенная", 'P', outlining, choose4, "Command2", Nothing, "Command2"},
      {"outlining Все", 'P', outlining, Parse, "Command6", Nothing, "Command6"},
      {"outlining Грав-ть всё", 'P', outlining, Parse, "Command7", Nothing, "Command7"},
      // Figure 9 dry, then "Грав-ть всё": it began where the dry run ended.
      {"outlining figure 9 then Грав-ть всё", 'P', outlining, choose9, "Command2", Nothing,
       "Command7"},
      {"engraving", 'P',
       [this] { return std::make_unique<EngravingWindow>(link_, settings_, formats::kGradation); },
       Nothing, "Command1", Nothing, "Command1", true},
      {"wood burning", 'B',
       [this] {
         return std::make_unique<EngravingWindow>(link_, settings_, formats::kWoodBurning);
       },
       Nothing, "Command1", Nothing, "Command1", true},
      // A dry cut used up the drawing: the real one said "Готово" and sent nothing.
      {"cutting Резать", 'O', [this] { return std::make_unique<CuttingWindow>(link_, settings_); },
       Nothing, "Command7", Nothing, "Command7"},
      {"scanner", 'S', [this] { return std::make_unique<ScannerWindow>(link_, settings_); },
       Nothing, "Command6", Nothing, "Command6"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Lines alone = Run(c, false);
    ASSERT_GT(alone.size(), 1u);
    Lines dry;
    EXPECT_EQ(Run(c, true, &dry), alone);
    EXPECT_EQ(dry, c.rasterOpening ? Lines{alone.front()} : Lines{});
  }
}

}  // namespace
}  // namespace vertolin
