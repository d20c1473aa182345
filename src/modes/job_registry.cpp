#include "modes/job_registry.h"

#include <cstddef>

namespace vertolin {

namespace {

constexpr JobInfo kJobs[] = {
    {"engrave", "Гравировать", &formats::kGradation},
    {"burn", "Гравировать", &formats::kWoodBurning},
    {"mill", "Выделенная", &formats::kRouter},
    {"mill-all", "Все", &formats::kRouter},
    {"relief", "Резать 3D", &formats::kRouter},
    {"outline", "Выделенная", &formats::kOutlining},
    {"outline-all", "Все", &formats::kOutlining},
    {"fill", "Грав-ть всё", &formats::kOutlining},
    {"cut", "Резать", &formats::kCutting},
    {"scan", "Сканировать", &formats::kScanner, false},
};

// The figure jobs in FigureJob's order, the router's first.
constexpr std::size_t kRouterFigureJobs = 2;
constexpr std::size_t kLaserFigureJobs = 5;

}  // namespace

std::span<const JobInfo> Jobs() { return kJobs; }

const JobInfo* FindJob(std::string_view name) {
  for (const JobInfo& job : kJobs) {
    if (job.name == name) return &job;
  }
  return nullptr;
}

const JobInfo& FigureJobInfo(const LinkFormat& format, FigureJob job) {
  const std::size_t first = &format == &formats::kRouter ? kRouterFigureJobs : kLaserFigureJobs;
  return kJobs[first + static_cast<std::size_t>(job)];
}

}  // namespace vertolin
