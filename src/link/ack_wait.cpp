#include "link/ack_wait.h"

#include <algorithm>
#include <optional>
#include <string>

#include "link/link.h"
#include "link/link_error.h"
#include "link/probe_reader.h"
#include "link/reply_buffer.h"
#include "link/texts.h"

namespace vertolin {

namespace {

using Clock = std::chrono::steady_clock;

std::string LineName(const AwaitedLine& line) {
  if (line.number <= 0) return "команду";
  std::string name = "строку " + std::to_string(line.number);
  if (!line.text.empty()) name += " «" + std::string(line.text) + "»";
  return name;
}

// Seconds as the person reads them: a tenth under ten seconds, whole above.
std::string SecondsText(Clock::duration waited) {
  const long long tenths = std::chrono::duration_cast<std::chrono::milliseconds>(waited).count() /
                           100;
  if (tenths >= 100) return std::to_string(tenths / 10);
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10);
}

}  // namespace

std::chrono::microseconds StepTime(std::int64_t largestSteps, std::int64_t delay) {
  return std::chrono::microseconds(largestSteps * std::max<std::int64_t>(delay, 0));
}

std::chrono::microseconds OverdueAfter(const Link& link, const AwaitedLine& line) {
  const Link::AckPolicy& policy = link.ackPolicy();
  if (policy.limit) return *policy.limit;
  return 2 * line.stepTime + Link::kAckMargin;
}

namespace {

// One wait for a reply: reads until `complete()`, giving each byte to
// `take`, and ends it as WaitForAcknowledgement says. `stopEndsWait`: a stop
// ends it at once whatever the link's policy.
template <typename Complete, typename Take>
void WaitUntil(Link& link, const bool& abandoned, const AwaitedLine& line, bool stopEndsWait,
               Complete complete, Take take) {
  const Link::AckPolicy& policy = link.ackPolicy();
  const auto start = Clock::now();
  const auto overdueAfter = OverdueAfter(link, line);
  bool overdue = false;
  bool stopShown = false;
  long long shownSeconds = -1;
  while (!complete()) {
    if (abandoned || link.Closing()) throw LinkError();
    link.frontend().TakeInterrupts();
    if (link.StopRequested() && (stopEndsWait || policy.stopEndsWait || overdue)) {
      if (overdue || stopShown) link.frontend().ShowStatus({});
      throw LinkError();
    }
    if (link.StopRequested() && !stopShown) {
      // The question comes once the board has done its line, which may take
      // a while: the person sees at once that the stop was taken.
      stopShown = true;
      const auto left = line.stepTime - (Clock::now() - start);
      std::string text = "«Стоп» принят: плата заканчивает " + LineName(line);
      if (left >= std::chrono::seconds(1)) text += " (ещё около " + SecondsText(left) + " с)";
      link.frontend().ShowStatus(text + ", затем задание остановится.");
    }
    const int byte = SerialReadByte(link);
    if (byte >= 0) {
      take(static_cast<char>(byte));
      // A board that talks without end must not keep "Стоп" from its turn.
      link.pump().Tick();
    } else if (byte == -2) {
      link.FailRead();
    } else {
      link.pump().Now();
    }
    // Counted from the line, not from the last byte: babble is no answer.
    const auto waited = Clock::now() - start;
    if (waited < overdueAfter) continue;
    if (policy.overdueLosesLink) {
      link.frontend().ShowMessage(texts::kTitleVertolin, "Плата не ответила на " + LineName(line) +
                                                             " за " + SecondsText(waited) +
                                                             " с.\r\n\r\nРабота остановлена.");
      link.RequestStop(Link::StopCause::LinkLost);
      throw LinkError();
    }
    overdue = true;
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(waited).count();
    if (seconds != shownSeconds) {
      shownSeconds = seconds;
      link.frontend().ShowStatus("Плата не отвечает на " + LineName(line) + " уже " +
                                 std::to_string(seconds) + " с. «Стоп» прервёт ожидание.");
    }
  }
  if (overdue || stopShown) link.frontend().ShowStatus({});  // it answers again
}

}  // namespace

void WaitForAcknowledgement(Link& link, ReplyBuffer& reply, const bool& abandoned,
                            const AwaitedLine& line) {
  if (!link.PortOpen()) return;  // nothing was sent, so nothing will come
  WaitUntil(
      link, abandoned, line, false, [&] { return reply.HasAck(); },
      [&](char c) { reply.Append(c); });
  reply.ConsumeAck();
}

std::int32_t WaitForProbeReply(Link& link, const bool& abandoned, const AwaitedLine& line) {
  ProbeReader reader;
  std::optional<std::int32_t> value;
  WaitUntil(
      link, abandoned, line, true, [&] { return value.has_value(); },
      [&](char c) {
        const ProbeReader::Result result = reader.Feed(std::string_view(&c, 1));
        if (result.status == ProbeReader::Status::Value) value = result.value;
        if (result.status == ProbeReader::Status::ReadError) {
          link.frontend().ShowMessage(texts::kTitleVertolin, texts::kProbeValueTooLarge);
          link.RequestStop(Link::StopCause::LinkLost);
          throw LinkError();
        }
      });
  return *value;
}

bool DrainAcknowledgement(Link& link, ReplyBuffer& reply, const AwaitedLine& line) {
  SerialPort* port = link.port();
  if (port == nullptr) return false;
  const auto start = Clock::now();
  const auto overdueAfter = OverdueAfter(link, line);
  while (!reply.HasAck()) {
    link.frontend().TakeInterrupts();
    if (link.Closing() || Clock::now() - start >= overdueAfter) return false;
    const int byte = port->ReadByte();
    if (byte == -2) return false;  // the line is gone: the next use of it says so
    if (byte >= 0) reply.Append(static_cast<char>(byte));
  }
  reply.ConsumeAck();
  return true;
}

}  // namespace vertolin
