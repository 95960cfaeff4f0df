// The address and baud exchanges of the connection band, without widgets, against the
// simulator in the two register-block modes: only the device's acknowledgement is a success,
// and a refused rate is never remembered.
#include "device/device_settings.h"

#include "tests/view/page_test_support.h"

namespace tamsu {
namespace {

using test::Box;

sim::SimulatorOptions Device(sim::Protocol protocol) {
  sim::SimulatorOptions options = test::SimulatedLine::Options("generic");
  options.device = {.address = 33, .baud = 9600, .protocol = protocol};
  return options;
}

struct Band {
  explicit Band(sim::Protocol protocol) : line(Device(protocol), true) {
    config.mode = protocol == sim::Protocol::Any255 ? ConfigMode::Any255 : ConfigMode::Any0;
    line.GetLink().CurrentAddress = protocol == sim::Protocol::Any255 ? 255 : 0;
    EXPECT_TRUE(settings.Inquire([&](int address, int baud) { shown = {address, baud}; }));
    EXPECT_EQ(shown, (std::pair{33, 9600}));
    EXPECT_EQ(config.ReportedBaudCode, 3);
  }
  test::SimulatedLine line;
  ModbusMaster master{line.GetLink()};
  DeviceConfig config;
  DeviceSettings settings{line.GetLink(), master, line.Sink(), config};
  std::pair<int, int> shown;
};

TEST(DeviceSettings, BlockWritesSucceedOnlyWhenTheDeviceAcknowledges) {
  for (sim::Protocol protocol : {sim::Protocol::Any255, sim::Protocol::Any0}) {
    SCOPED_TRACE(static_cast<int>(protocol));
    Band band(protocol);
    const bool any255 = protocol == sim::Protocol::Any255;
    const Box addressFailed{"Address setting failed!", "Warning", MessageIcon::Question};
    const Box baudFailed{"Baudrate setting failed!", "Warning", MessageIcon::Question};

    // 250 is no slave address: the device answers with an exception, and stays where it is.
    EXPECT_EQ(band.settings.SetAddress("250"), SettingOutcome::Rejected);
    EXPECT_EQ(band.line.Sink().Take(), addressFailed);
    EXPECT_EQ(band.line.Sim().Config().address, 33);

    // A rate change refused with an exception is not remembered as the device's rate. (Another
    // code than the refusal before: the same exception again at once would be asked for again.)
    band.line.Sim().AddFault({.kind = sim::FaultKind::Exception, .count = 1, .code = sim::kIllegalDataAddress});
    EXPECT_EQ(band.settings.SetBaud("33", "4800", ""), SettingOutcome::Rejected);
    EXPECT_EQ(band.line.Sink().Take(), baudFailed);
    EXPECT_EQ(band.config.ReportedBaudCode, 3);
    // ...so the next address change leaves the rate alone, and the tool can still reach it.
    EXPECT_EQ(band.settings.SetAddress("34"), SettingOutcome::Accepted);
    EXPECT_EQ(band.line.Sink().Take(),
              (Box{any255 ? "Address set successfully!" : "Address set successfully", kAppTitle, MessageIcon::None}));
    EXPECT_EQ(band.line.Sim().Config().address, 34);
    EXPECT_EQ(band.line.Sim().Config().baud, 9600u);

    // A reply from another address is no acknowledgement either (here the device did take the
    // change: the installer reads it back with "Inquire"), and no reply is none.
    band.line.Sim().AddFault({.kind = sim::FaultKind::WrongAddress, .count = 1});
    EXPECT_EQ(band.settings.SetAddress("35"), SettingOutcome::Rejected);
    EXPECT_EQ(band.line.Sink().Take(), addressFailed);
    EXPECT_EQ(band.line.Sim().Config().address, 35);
    band.line.Sim().AddFault({.kind = sim::FaultKind::Silence, .count = 1});
    EXPECT_EQ(band.settings.SetAddress("36"), SettingOutcome::NoReply);
    EXPECT_EQ(band.line.Sink().Take(), (Box{"Address setting failed!", any255 ? "Warning" : "Warnging",
                                            MessageIcon::Question}));
    EXPECT_EQ(band.line.Sim().Config().address, 35);

    // An accepted rate is remembered; the port stays at its old rate in these modes.
    EXPECT_EQ(band.settings.SetBaud("35", "4800", ""), SettingOutcome::Accepted);
    EXPECT_EQ(band.line.Sink().Take(), (Box{"Baudrate set successfully", kAppTitle, MessageIcon::None}));
    EXPECT_EQ(band.config.ReportedBaudCode, 2);
    EXPECT_EQ(band.line.Sim().Config().baud, 4800u);
    EXPECT_EQ(band.line.GetLink().Port.Settings().baudRate, 9600u);
    EXPECT_EQ(band.line.GetLink().CurrentAddress, any255 ? 255 : 0);
  }
}

TEST(DeviceSettings, BoxesAreCheckedBeforeAnythingIsSent) {
  Band band(sim::Protocol::Any255);
  band.line.TakeRequests();
  EXPECT_EQ(band.settings.SetAddress("256"), SettingOutcome::Refused);
  EXPECT_EQ(band.line.Sink().Take(), (Box{"Address Cannot be 0", kAppTitle, MessageIcon::None}));
  EXPECT_EQ(band.settings.SetBaud("0", "9600", ""), SettingOutcome::Refused);
  EXPECT_EQ(band.line.Sink().Take(), (Box{"Address cannot be 0", kAppTitle, MessageIcon::None}));
  for (const char* baud : {"19200", "1200", "abc"}) {
    EXPECT_EQ(band.settings.SetBaud("33", baud, ""), SettingOutcome::Refused);
    EXPECT_EQ(band.line.Sink().Take(), (Box{"Baudrate Error", kAppTitle, MessageIcon::None})) << baud;
  }
  EXPECT_TRUE(band.line.TakeRequests().empty());
}

}  // namespace
}  // namespace tamsu
