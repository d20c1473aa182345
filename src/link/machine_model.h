// Where the machine is, as far as its board has confirmed it: one model per
// port, like the port and StopFlag. Every acknowledged motion adds its steps
// — a job's lines, a manual move, keyboard jogging, the interruption
// dialog's raise and lower — and moves the tool's state; a line sent and not
// yet confirmed has not happened here, and a dry run sends nothing, so it
// changes nothing.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "motion/motion.h"
#include "util/frontend.h"

namespace vertolin {

struct MachineProfile;

using MachineSteps = std::array<std::int64_t, 3>;

// What a stopped job's journal keeps of the model: the run of the program
// that wrote it (`session`), the job's origin and the head's position in
// that run's steps. Another run knows only their difference: where the head
// stood from the job's origin when the program ended.
struct HeadPlace {
  std::uint64_t session = 0;
  MachineSteps origin{};
  MachineSteps position{};
  bool operator==(const HeadPlace&) const = default;
};

class MachineModel {
 public:
  using Steps = MachineSteps;

  MachineModel();

  // The board confirmed `motion`.
  void Acknowledged(const Motion& motion);

  // A job starts where the head stands, which becomes its origin, or — a
  // resumed job — keeps the origin of the job it goes on with. A dry run
  // moves nothing and keeps the last real job's origin.
  void JobStarted(bool dryRun, std::optional<Steps> origin = std::nullopt);
  // The real job ended: ran to its end or not. One that did not leaves the
  // head away from where the next start of it begins.
  void JobEnded(bool completed);
  // A job stopped in another run of the program started at `origin` (its
  // journal says where the head stood from it).
  void StoppedJobAt(const Steps& origin);
  // A resumed job whose head's place was unknown (a journal left by a
  // crash) learns its origin once it assumes where the head stands.
  void SetOrigin(const Steps& origin) { origin_ = origin; }

  // How far the head stands from the origin of a job that did not run to its
  // end, when it does not stand there: what a fresh start brings back.
  std::optional<Steps> AwayFromStoppedJob() const;

  // The origin of the job a journal was written by, in this run's steps:
  // kept as it was in this run, or taken from where the head stands (it has
  // not moved since the program that wrote the journal ended).
  Steps OriginOf(const HeadPlace& place) const;

  HeadPlace Place() const { return {session_, origin_, position_}; }
  std::uint64_t session() const { return session_; }
  const Steps& position() const { return position_; }
  const ToolTrack& tool() const { return tool_; }
  const Steps& origin() const { return origin_; }
  bool lastRunDry() const { return lastRunDry_; }
  // Acknowledged motions so far: what changed since a report was shown.
  std::int64_t changes() const { return changes_; }

  // The position from the last job's origin in millimetres (the profile's
  // ratios per step), for the person.
  MachinePosition Shown(const MachineProfile& profile) const;

 private:
  std::uint64_t session_;
  Steps position_{};
  Steps origin_{};
  ToolTrack tool_;
  bool lastRunDry_ = false;
  bool unfinished_ = false;  // the last real job did not run to its end
  std::int64_t changes_ = 0;
};

// "X 5,00  Y 2,00  Z -1,00 мм", with " · лазер вкл." and " · прогон без
// станка" when they hold.
std::string PositionText(const MachinePosition& position);

}  // namespace vertolin
