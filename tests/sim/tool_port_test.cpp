// The tool's own port layer against the simulator: the port list offers the published port,
// the port opens exclusively, and the scan's close-and-reopen at each rate keeps working.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "modbus/frames.h"
#include "modbus/modbus_master.h"
#include "serial/link.h"
#include "serial/port_directory.h"
#include "sim/simulator.h"

namespace tamsu::sim {
namespace {

TEST(ToolPort, ListedOpenedAndReopenedAtEachRate) {
  char tmpl[] = "/tmp/tamsu-sim-xdg-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string runtime = tmpl;
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  {
    SimulatorOptions o;
    o.profile = "TemHumKanbanPage";
    o.publish = true;
    o.drift = false;
    o.device.baud = 4800;
    TransmitterSimulator sim(o);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;

    const auto ports = ListVirtualPorts();
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].name, "sim-ttyV0");
    EXPECT_EQ(ports[0].devicePath, sim.PortPath());
    EXPECT_EQ(ProbePort(sim.PortPath()).status, PortStatus::Available);

    Link link;
    ModbusMaster master(link);
    // As the baud-rate scan does: close, reopen at the next rate, legacy query.
    for (uint32_t baud : {2400u, 4800u, 9600u}) {
      ASSERT_NE(link.ReopenPort(sim.PortPath(), baud), 0) << baud;
      auto reply = ParseLegacyReply(link.RxFrame.data(), master.Exchange(BuildLegacyQuery(link.TxFrame.data())));
      ASSERT_EQ(reply.has_value(), baud == 4800) << baud;
      if (reply) {
        EXPECT_EQ(std::make_pair(reply->address, reply->baud), std::make_pair(uint8_t{1}, 4800u));
      }
    }
    // While the tool holds the port no second program opens it.
    EXPECT_EQ(ProbePort(sim.PortPath()).status, PortStatus::Busy);

    link.ClosePort();
  }
  // The simulator gone, the port list no longer offers its port.
  EXPECT_TRUE(ListVirtualPorts().empty());
  std::filesystem::remove_all(runtime);
}

}  // namespace
}  // namespace tamsu::sim
