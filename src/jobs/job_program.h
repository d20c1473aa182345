// A job is a program of steps, produced one at a time: the job's code is
// written straight through and yields each step to the runner, which sends it
// and resumes the program only once the step is done. So the fields the
// person edits during a job are read again between steps, and a job that is
// stopped simply is not resumed.
#pragma once

#include <coroutine>
#include <cstdint>
#include <exception>
#include <optional>
#include <utility>

#include "link/window_link.h"

namespace vertolin {

// Where the runner leaves the answer of a Probe step for the program, which
// reads it once it is resumed: the measurement, or nothing in a dry run.
struct ProbeAnswer {
  std::optional<std::int32_t> value;
};

// One step of a job program: a move says what it means (MotionKind), in the
// job's own units with the scale of the moment; the window link makes it a
// motion in machine units and its protocol a line.
struct ProgramStep {
  enum class Kind {
    Move,   // a move through the window's checkpoint and Send
    Setup,  // a motion that sets the board up, not awaited (the raster's opening)
    Ack,    // the acknowledgement still owed, if any (the optimised figure jobs, the last line)
    Probe,  // a move sent without a wait, then the board's measurement (the scanner)
  };
  Kind kind = Kind::Move;
  JobMotion move;
  StepScale scale;
  bool wait = true;
  Motion setup;
  ProbeAnswer* answer = nullptr;  // Probe: filled in before the program resumes

  static ProgramStep Move(const JobMotion& move, const StepScale& scale, bool wait = true) {
    return {Kind::Move, move, scale, wait, {}, nullptr};
  }
  static ProgramStep Setup(const Motion& motion) {
    return {Kind::Setup, {}, {}, false, motion, nullptr};
  }
  static ProgramStep Ack() { return {Kind::Ack, {}, {}, true, {}, nullptr}; }
  static ProgramStep Probe(const JobMotion& move, ProbeAnswer& answer) {
    return {Kind::Probe, move, {}, false, {}, &answer};
  }
};

// A lazily produced sequence of values: a C++20 coroutine that co_yields them.
template <typename T>
class Generator {
 public:
  struct promise_type {
    T value{};
    std::exception_ptr error;

    Generator get_return_object() {
      return Generator(std::coroutine_handle<promise_type>::from_promise(*this));
    }
    std::suspend_always initial_suspend() noexcept { return {}; }
    std::suspend_always final_suspend() noexcept { return {}; }
    std::suspend_always yield_value(T next) {
      value = std::move(next);
      return {};
    }
    void return_void() {}
    void unhandled_exception() { error = std::current_exception(); }
  };

  Generator() = default;
  Generator(Generator&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
  Generator& operator=(Generator&& other) noexcept {
    if (this != &other) {
      Destroy();
      handle_ = std::exchange(other.handle_, {});
    }
    return *this;
  }
  Generator(const Generator&) = delete;
  Generator& operator=(const Generator&) = delete;
  ~Generator() { Destroy(); }

  // Runs the program to its next value: false when it has ended. An
  // exception thrown by the program comes out here.
  bool Next() {
    if (!handle_ || handle_.done()) return false;
    handle_.resume();
    if (handle_.promise().error) std::rethrow_exception(std::exchange(handle_.promise().error, {}));
    return !handle_.done();
  }
  T& value() { return handle_.promise().value; }

 private:
  explicit Generator(std::coroutine_handle<promise_type> handle) : handle_(handle) {}
  void Destroy() {
    if (handle_) handle_.destroy();
    handle_ = {};
  }

  std::coroutine_handle<promise_type> handle_;
};

using JobProgram = Generator<ProgramStep>;

}  // namespace vertolin
