// The wire to a grbl 1.1 board: the lines of a job streamed as fast as the
// board's 128-byte receive buffer takes them (counting the characters of
// every line not yet answered), the status asked at most five times a second,
// and the real-time bytes of a stop: feed hold, cycle start, soft reset.
//
// "ok" means a line is planned, not done. A line counts as executed only
// once the status says its block has left the planner (Bf): the lines
// answered, less the planner's blocks still waiting. So a stop knows exactly
// which lines the machine carried out.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/grbl_reply.h"

namespace vertolin {

class Link;

// Who the board said it is at connect.
struct GrblIdentity {
  std::string version;             // "1.1h"
  std::map<int, double> settings;  // $$
  std::optional<int> alarm;        // in alarm at connect: its number (0 when only "$X" was asked)
  bool restarted = false;          // greeted: its machine coordinates start again

  double Setting(int number, double fallback) const {
    const auto found = settings.find(number);
    return found == settings.end() ? fallback : found->second;
  }
  bool LaserMode() const { return Setting(32, 0) != 0; }
  bool Homing() const { return Setting(22, 0) != 0; }
};

class GrblStream {
 public:
  static constexpr std::size_t kReceiveBuffer = 127;  // of grbl's 128 bytes
  static constexpr int kPlannerBlocks = 15;
  static constexpr std::chrono::milliseconds kStatusInterval{200};
  static constexpr std::chrono::milliseconds kStatusSilence{2000};
  // How long a board that restarts on the port's opening takes to greet.
  static constexpr std::chrono::milliseconds kBannerWait{2500};

  explicit GrblStream(Link& link);

  // Reads the board's greeting (its restart on the port's opening, or an
  // answer to "$I" when it did not restart), then its settings ("$$").
  // Nothing, with the person told why, when no grbl 1.1 answered.
  std::optional<GrblIdentity> Connect();

  // Streams one line (no line end): waits only for room in the receive
  // buffer. `block`: the line makes a planner block (a move of at least one
  // of the board's steps). `credit`: the line is one the caller counts, and
  // `executed` is called for it once the board has carried it out. `end`:
  // where a block leaves the head, in machine mm, for telling by the head's
  // place which blocks an alarm cut short.
  void Send(std::string_view line, bool block, bool credit,
            std::optional<std::array<double, 3>> end = std::nullopt);
  // A line that writes the board's settings: sent alone, once everything
  // before it is done, and its own answer awaited.
  void SendAlone(std::string_view line);
  // Waits until every line sent is answered (planned, not yet carried out):
  // sending line by line this way is what streaming is measured against.
  void AwaitAnswers();
  // Waits until every line is answered and carried out, the board at rest.
  void Finish();

  // A stop: feed hold at once (once), then waits until the head is at rest.
  void Hold();
  // A probe line is about to go out: its "[PRB:…]" is awaited by AwaitProbe.
  void ExpectProbe() { probe_.reset(); }
  // Waits for the probe's result; a probe that did not touch (an alarm)
  // ends the job with the alarm's meaning.
  grbl::ProbeResult AwaitProbe();
  // A jog running is cancelled at once (0x85).
  void CancelJog();
  // Going on after a hold: cycle start.
  void Resume();
  // Ends the job on the board: the head at rest, the lines carried out
  // counted from the planner's room, then a soft reset that drops the rest
  // (the laser and spindle go off; the position is kept, as the head is at
  // rest). Lines still unanswered are forgotten.
  void Halt();
  bool holding() const { return holdSent_; }
  // The lines outstanding are no longer anybody's (the job ended with its
  // link lost): nothing more is counted for them.
  void Forget();
  // The program is closing: feed hold, at most a second for the head to come
  // to rest without running events, then the soft reset; nothing counted.
  void Abort();
  // StopFlag is set: hold, then the window's question; a stop that nobody is
  // asked about (a lost link, the tool) ends the job with LinkError.
  void AskStop();

  // Asks for the status and waits for the report.
  const grbl::Status& AwaitStatus();
  // The last status the board reported.
  const grbl::Status& status() const { return status_; }
  std::int64_t linesSent() const { return sent_; }
  // The counted lines sent and not yet known to be done, oldest first: where
  // each leaves the head in machine mm (nothing for a line that does not
  // move). After a lost link the board may have done any first few of them.
  std::vector<std::optional<std::array<double, 3>>> Uncounted() const;
  // Where the last block counted left the head, in machine mm.
  const std::optional<std::array<double, 3>>& lastEnd() const { return lastEnd_; }
  // Where the last line counted for the caller left the head, while a job's
  // lines run (nothing between jobs): what the caller's own model of the
  // head stands for.
  const std::optional<std::array<double, 3>>& creditedEnd() const { return creditedEnd_; }
  // Where a status report puts the head, in machine mm (from WPos and WCO
  // when it gives no MPos).
  static std::optional<std::array<double, 3>> PlaceOf(const grbl::Status& status);
  std::size_t bytesInBuffer() const { return bytesInBuffer_; }

  // Called once per counted line, in order, when the board has carried it out.
  std::function<void()> executed;
  // Called for every status report, once the lines it shows done are counted.
  std::function<void(const grbl::Status&)> statusSeen;
  // Called inside the waits when StopFlag is set, once the hold is at rest:
  // the window's question. It returns to go on, or throws to stop.
  std::function<void()> stopAsked;

 private:
  struct Entry {
    std::size_t bytes = 0;
    bool block = false;
    bool credit = false;
    std::int64_t number = 0;
    std::string text;
    std::optional<std::array<double, 3>> end;
  };
  // One read (events run), asking for the status when it is due.
  void Step(bool polling, bool events = true);
  void Handle(const grbl::Reply& reply);
  void CreditExecuted(int blocksWaiting);
  // After an alarm: the blocks done are those whose way ends before the
  // place where the head stopped; the rest were thrown away.
  void CreditByPlace(const std::array<double, 3>& at);
  void TakeStop();
  // Waits for a status report whose state passes `done`.
  void AwaitState(bool (*done)(std::string_view state));
  [[noreturn]] void Fail(std::string text);
  [[noreturn]] void Lost(std::string_view text);

  Link& link_;
  std::deque<Entry> unanswered_;  // sent, not yet answered
  std::deque<Entry> planned_;     // answered "ok", maybe still in the planner
  std::size_t bytesInBuffer_ = 0;
  std::int64_t sent_ = 0;
  std::string partial_;
  grbl::Status status_;
  std::int64_t statusReports_ = 0;
  std::int64_t reportsAtAnswer_ = 0;  // reports before the last answer
  std::optional<grbl::Banner> banner_;
  std::optional<grbl::ProbeResult> probe_;
  std::optional<std::string> failure_;
  std::optional<std::int64_t> refusedLine_;  // the first line answered error:N
  bool alarmUncounted_ = false;  // an alarm threw blocks away: the next status tells which
  std::optional<std::array<double, 3>> lastEnd_;  // where the last block counted left the head
  std::optional<std::array<double, 3>> creditedEnd_;
  bool holdSent_ = false;
  bool moving_ = false;  // lines that move went out since the board was last at rest
  bool inQuestion_ = false;
  std::chrono::steady_clock::time_point lastAsk_{};
  std::chrono::steady_clock::time_point lastHeard_{};
  std::size_t bytesUnheard_ = 0;  // read since the last status report
  bool asking_ = false;
  GrblIdentity* reading_ = nullptr;  // Connect's settings, while it reads them
};

}  // namespace vertolin
