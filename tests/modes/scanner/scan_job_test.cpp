#include "modes/scanner/scan_job.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/link.h"
#include "link/probe_reader.h"
#include "link/sim_port.h"
#include "link/texts.h"
#include "link/window_link.h"
#include "support/recording_frontend.h"
#include "support/scripted_port.h"

namespace vertolin {
namespace {

// Heights rising along X and Y, all different from node to node of a 6 × 5
// mesh at pitches 4800 and 2500.
std::int64_t Slope(std::int64_t x, std::int64_t y) { return 100 + x / 100 + y / 25; }

class ScanJobTest : public ::testing::Test {
 protected:
  struct Recorder : ScanProgress {
    void Measured(int x, int y, std::int32_t value) override { nodes.push_back({x, y, value}); }
    struct Node {
      int x, y;
      std::int32_t value;
    };
    std::vector<Node> nodes;
  };

  SimulatedBoard& UseBoard(BoardFaults faults = {}) {
    auto port = std::make_unique<SimPort>(SimulatedBoard('S', std::move(faults)));
    auto& board = port->board();
    board.SetHeightFunction(Slope);
    link_.Attach(std::move(port));
    return board;
  }

  ScanResult Scan(std::string_view meshX = "6", std::string_view meshY = "5") {
    window_.SetDriveSwitch([this] { return drive_; });
    ScanOptions options;
    options.dryRun = DryRunValues([this] { return unit_ += 0.125, unit_ - 0.125; });
    options.pause = [this](std::chrono::milliseconds pause) { pauses_.push_back(pause); };
    return RunScan(window_, {meshX, meshY, "120", "50", 0.005, 0.005}, map_, progress_,
                   std::move(options));
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& message : frontend_.messages) texts.push_back(message.text);
    return texts;
  }

  test::RecordingFrontend frontend_;
  Link link_{frontend_};
  WindowLink window_{link_, formats::kScanner};
  bool drive_ = true;
  double unit_ = 0;
  std::vector<std::chrono::milliseconds> pauses_;
  HeightMap map_;
  Recorder progress_;
};

TEST_F(ScanJobTest, RealScanWalksProbesAndNormalises) {
  SimulatedBoard& board = UseBoard();
  const ScanResult result = Scan();
  ASSERT_EQ(result.job, JobOutcome::Done);
  EXPECT_FALSE(result.flat);

  // Probe line, then one pitch, then the next probe: 30 probes, 29 moves.
  std::vector<std::string> lines;
  for (const auto& command : board.Record()) lines.push_back(command.text);
  ASSERT_EQ(lines.size(), 59u);
  EXPECT_EQ(lines[0], "0,0,200;");
  EXPECT_EQ(lines[1], "4800,0,0;");
  EXPECT_EQ(lines[3], "0,2500,0;");
  EXPECT_EQ(lines[5], "-4800,0,0;");
  EXPECT_EQ(lines[19], "4800,0,0;");   // (2,5) to (3,5)
  EXPECT_EQ(lines[23], "0,-2500,0;");  // (4,5) to (4,4)
  EXPECT_EQ(result.job.linesSent, 59);
  // 29 moves answered "T" and 30 probes answered with their measurement.
  EXPECT_EQ(result.job.acknowledged, 59);

  // Raw values painted as they came; the map ends stretched to 0 … 255.
  ASSERT_EQ(progress_.nodes.size(), 30u);
  EXPECT_EQ(progress_.nodes[1].value, Slope(4800, 0));
  EXPECT_EQ(map_.At(1, 1), 0);
  EXPECT_EQ(map_.At(6, 5), 255);
  EXPECT_EQ(Texts(), std::vector<std::string>{std::string(texts::kScanFinished)});
  EXPECT_TRUE(pauses_.empty());
}

TEST_F(ScanJobTest, DryRunSendsNothingAndKeepsTheRandomValues) {
  SimulatedBoard& board = UseBoard();
  drive_ = false;
  ASSERT_EQ(Scan().job, JobOutcome::Done);
  EXPECT_TRUE(board.Record().empty());
  EXPECT_EQ(pauses_, std::vector<std::chrono::milliseconds>(30, kDryRunPause));
  // Units 0, 0.125, … times 255, halves to even, in walk order: (1,1) (2,1) (2,2).
  EXPECT_EQ(map_.At(1, 1), 0);
  EXPECT_EQ(map_.At(2, 1), 32);
  EXPECT_EQ(map_.At(2, 2), 64);
  EXPECT_EQ(Texts(),
            std::vector<std::string>{
                std::string(texts::kScanFinished) +
                " (без станка)\r\n\r\nСтанок не двигался: галочка работы на станке была снята."});
}

TEST_F(ScanJobTest, FlatSurfaceBecomesZeroAndIsSaid) {
  SimulatedBoard& board = UseBoard();
  board.SetHeightFunction([](std::int64_t, std::int64_t) { return 300; });
  EXPECT_TRUE(Scan().flat);
  EXPECT_EQ(map_, HeightMap(6, 5));
  EXPECT_EQ(Texts(), (std::vector<std::string>{std::string(texts::kSurfaceFlat),
                                               std::string(texts::kScanFinished)}));
}

TEST_F(ScanJobTest, MeshesThatCannotBeWalkedAreRefusedBeforeAnythingMoves) {
  struct Case {
    const char* meshX;
    const char* meshY;
    std::string_view message;
  };
  const Case cases[] = {
      {"5", "5", texts::kMeshXNotEven},
      {"6", "4", texts::kMeshYNotOdd},
      {"0", "5", texts::kMeshTooSmall},
      {"2", "1", texts::kMeshTooSmall},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.meshX) + "x" + c.meshY);
    SimulatedBoard& board = UseBoard();
    map_ = HeightMap(2, 3);
    map_.Set(1, 1, 7);
    const HeightMap before = map_;
    frontend_.messages.clear();
    EXPECT_EQ(Scan(c.meshX, c.meshY).job, JobOutcome::Refused);
    EXPECT_TRUE(board.Record().empty());
    EXPECT_EQ(map_, before);
    EXPECT_EQ(Texts(), std::vector<std::string>{std::string(c.message)});
  }
  UseBoard();
  EXPECT_EQ(Scan("4", "5").job, JobOutcome::Done);
}

TEST_F(ScanJobTest, BoardFallingSilentEndsWithAMessageAndKeepsTheNodes) {
  // The line drops after 7 commands: probes of (1,1) … (2,2) and (1,2) are
  // answered, the eighth command never is.
  BoardFaults faults;
  faults.dropAfter = 7;
  UseBoard(faults);
  EXPECT_EQ(Scan().job, JobOutcome::LinkLost);
  EXPECT_EQ(Texts(), std::vector<std::string>{std::string(texts::kReadError)});
  ASSERT_EQ(progress_.nodes.size(), 4u);
  EXPECT_EQ(map_.At(1, 2), Slope(0, 2500));  // raw: not normalised
  EXPECT_EQ(map_.At(1, 3), 0);
}

TEST_F(ScanJobTest, StopAndOverlongRepliesEndTheProbeWait) {
  test::ScriptedPort::Shared script;
  link_.Attach(std::make_unique<test::ScriptedPort>(script));
  // A board that never answers: "Стоп" ends the wait, quietly.
  frontend_.onEvents = [this] { link_.RequestStop(); };
  EXPECT_EQ(Scan().job, JobOutcome::Stopped);
  EXPECT_EQ(script.written, std::vector<std::string>{"0,0,200;"});
  EXPECT_TRUE(frontend_.messages.empty());

  frontend_.onEvents = nullptr;
  script.written.clear();
  for (const char c : std::string_view("\r\n99999999999OK")) script.reads.push_back(c);
  EXPECT_EQ(Scan().job, JobOutcome::LinkLost);
  EXPECT_EQ(Texts(), std::vector<std::string>{std::string(texts::kProbeValueTooLarge)});
  EXPECT_TRUE(progress_.nodes.empty());
}

}  // namespace
}  // namespace vertolin
