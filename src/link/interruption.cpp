#include "link/interruption.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <limits>
#include <thread>

#include "link/ack_wait.h"
#include "link/link.h"
#include "link/link_format.h"
#include "motion/native_protocol.h"
#include "link/texts.h"
#include "util/numbers.h"

namespace vertolin {

bool InterruptionLink::RaiseLower(std::string_view distanceText, bool raise) {
  const auto distance = ParseNumber(distanceText);
  if (!distance) {
    link_.frontend().ShowMessage(texts::kTitleError, "Введите число в поле «Глубина»!");
    return false;
  }
  const double ratio = link_.profile().zRatio;
  const auto steps = ratio == 0 ? std::nullopt : RoundToInt32(*distance / ratio);
  if (!steps || (!raise && *steps == std::numeric_limits<std::int32_t>::min())) {
    link_.frontend().ShowMessage(texts::kTitleError, texts::kMoveOutOfRange);
    return false;
  }
  const std::int32_t z = raise ? *steps : -*steps;
  if (z == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
  }
  const std::int32_t idle = link_.profile().idleDelay;
  const Motion move{raise ? MotionKind::Lift : MotionKind::Plunge, {0, 0, z}, idle};
  const std::string line = NativeProtocol(formats::kRouter.dialect).Encode(move, idle).value_or("");
  SerialWrite(link_, line);
  WaitForAcknowledgement(
      link_, reply_, abandoned_,
      {0, line, StepTime(std::abs(static_cast<std::int64_t>(z)), link_.profile().idleDelay)});
  link_.Confirmed(move, true);
  return true;
}

}  // namespace vertolin
