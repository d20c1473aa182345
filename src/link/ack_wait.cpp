#include "link/ack_wait.h"

#include <algorithm>
#include <string>

#include "link/link.h"
#include "link/link_error.h"
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

void WaitForAcknowledgement(Link& link, ReplyBuffer& reply, const bool& abandoned,
                            const AwaitedLine& line) {
  if (!link.PortOpen()) return;  // nothing was sent, so nothing will come
  const Link::AckPolicy& policy = link.ackPolicy();
  const auto start = Clock::now();
  const auto overdueAfter = OverdueAfter(link, line);
  bool overdue = false;
  long long shownSeconds = -1;
  while (!reply.HasAck()) {
    if (abandoned || link.Closing()) throw LinkError();
    link.frontend().TakeInterrupts();
    if (link.StopRequested() && (policy.stopEndsWait || overdue)) {
      if (overdue) link.frontend().ShowStatus({});
      throw LinkError();
    }
    const int byte = SerialReadByte(link);
    if (byte >= 0) {
      reply.Append(static_cast<char>(byte));
      // A board that talks without end must not keep "Стоп" from its turn.
      link.pump().Tick();
    } else if (byte == -2) {
      link.FailRead();
    } else {
      link.pump().Now();
    }
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
  if (overdue) link.frontend().ShowStatus({});  // it answers again
  reply.ConsumeAck();
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
