// What --port names, resolved before anything is opened.
#include "cli/ports.h"

#include <gtest/gtest.h>

#include <string>

#include "cli/options.h"

namespace tamsu::cli {
namespace {

TEST(CliPorts, NetworkAddressesPassAsTheyAreAndMissingDevicesAreRefused) {
  EXPECT_EQ(ResolvePort("tcp://192.0.2.7:4001"), "tcp://192.0.2.7:4001");
  EXPECT_EQ(ResolvePort("rfc2217://gateway.example:2217"), "rfc2217://gateway.example:2217");
  EXPECT_THROW(ResolvePort("/dev/tamsu-none"), Failure);
  EXPECT_THROW(ResolvePort("/etc/hostname"), Failure);  // not a character device
}

}  // namespace
}  // namespace tamsu::cli
