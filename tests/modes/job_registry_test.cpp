#include "modes/job_registry.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace vertolin {
namespace {

// A journal is found by its job's name and a window's job by its figure job:
// a name twice or a figure job pointing at the other tool's job would resume
// the wrong job.
TEST(JobRegistry, NamesAreUniqueAndEachFigureJobIsItsTools) {
  std::set<std::string_view> names;
  for (const JobInfo& job : Jobs()) {
    EXPECT_TRUE(names.insert(job.name).second) << job.name;
    EXPECT_EQ(FindJob(job.name), &job);
  }
  EXPECT_EQ(FindJob("figures"), nullptr);
  const struct {
    const LinkFormat* format;
    FigureJob job;
    const char* name;
    const char* caption;
  } cases[] = {
      {&formats::kRouter, FigureJob::Selected, "mill", "Выделенная"},
      {&formats::kRouter, FigureJob::All, "mill-all", "Все"},
      {&formats::kRouter, FigureJob::Fill, "relief", "Резать 3D"},
      {&formats::kOutlining, FigureJob::Selected, "outline", "Выделенная"},
      {&formats::kOutlining, FigureJob::All, "outline-all", "Все"},
      {&formats::kOutlining, FigureJob::Fill, "fill", "Грав-ть всё"},
  };
  for (const auto& c : cases) {
    const JobInfo& info = FigureJobInfo(*c.format, c.job);
    EXPECT_EQ(info.name, c.name);
    EXPECT_EQ(info.caption, c.caption);
    EXPECT_EQ(info.format, c.format);
  }
}

}  // namespace
}  // namespace vertolin
