// "sim:G": the grbl board at the far end of an in-process port.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <variant>

#include "link/serial_port.h"
#include "link/sim_port.h"
#include "support/recording_frontend.h"

namespace vertolin {
namespace {

// Reads until `end` has come or two seconds have passed (a quiet read may
// be much shorter than the read window: under wine it is).
std::string ReadUntil(SerialPort& port, std::string_view end) {
  std::string got;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!got.ends_with(end) && std::chrono::steady_clock::now() < until) {
    const int byte = port.ReadByte();
    if (byte >= 0) got.push_back(static_cast<char>(byte));
  }
  return got;
}

TEST(GrblSimPortTest, SimGIsAGrblBoard) {
  test::RecordingFrontend frontend;
  auto port = SerialOpen("sim:g", 115200, frontend, nullptr);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(ReadUntil(*port, "help]\r\n"), "\r\nGrbl 1.1h ['$' for help]\r\n");
  port->Write("$I\nG1 X0.01 F600\n?");
  EXPECT_EQ(ReadUntil(*port, "ok\r\nok\r\n"),
            "[VER:1.1h.20190825:]\r\n[OPT:V,15,128]\r\nok\r\nok\r\n");
  EXPECT_EQ(ReadUntil(*port, ">\r\n").substr(0, 5), "<Run|");

  auto& sim = dynamic_cast<SimPort&>(*port);
  EXPECT_EQ(sim.grbl().LinesTaken(), 2);
  EXPECT_THROW(sim.board(), std::bad_variant_access);
  EXPECT_TRUE(frontend.messages.empty());
}

}  // namespace
}  // namespace vertolin
