#include "modbus/modbus_master.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "modbus/frames.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_sink.h"

namespace tamsu {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

Bytes WithCrc(Bytes b) {
  b.resize(b.size() + 2);
  AppendCrc(b.data(), b.size() - 2);
  return b;
}

struct Field : EditField {
  std::string text;
  std::string GetText() const override { return text; }
  void SetText(const std::string& t) override { text = t; }
};

using test::Box;
using Sink = test::RecordingSink;
using Message = test::Box;

// A transmitter played on the master side of a pseudo-terminal: for each call, it waits for
// one request and answers with script(request); an empty answer is silence.
class ScriptedLink : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(link_.ReopenPort(pty_.slavePath(), 9600), 1);
    link_.CurrentAddress = 1;
  }

  template <typename Op>
  auto Run(std::function<Bytes(const Bytes&)> script, Op op) {
    std::thread peer([&] {
      request_ = pty_.Receive(5ms, 1000ms);
      Bytes reply = script(request_);
      if (!reply.empty()) pty_.Send(reply);
    });
    auto result = op();
    peer.join();
    return result;
  }
  // Answers a read request with the given data words.
  static std::function<Bytes(const Bytes&)> Words(std::vector<uint16_t> words) {
    return [words](const Bytes& req) {
      Bytes r{req.at(0), 0x03, static_cast<uint8_t>(2 * words.size())};
      for (uint16_t w : words) r.insert(r.end(), {static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)});
      return WithCrc(r);
    };
  }
  static std::function<Bytes(const Bytes&)> Fixed(Bytes reply) {
    return [reply](const Bytes&) { return reply; };
  }
  static Bytes Echo(const Bytes& req) { return req; }
  static Bytes WriteTwoAck(const Bytes& req) { return WithCrc(Bytes(req.begin(), req.begin() + 6)); }

  test::PtyPair pty_;
  Link link_;
  ModbusMaster master_{link_};
  Bytes request_;
  Field field_;
  Sink sink_;
};

TEST_F(ScriptedLink, ClosedPortSendsNothingAndSaysSo) {
  // The flag alone decides: the device stays open so the line can be watched.
  link_.PortOpen = 0;
  uint16_t v16 = 0;
  uint32_t v32 = 0;
  float vf = 0;
  EXPECT_EQ(master_.ReadRegister(0, v16), kPortNotOpen);
  EXPECT_EQ(master_.ReadRegister32(0, v32), kPortNotOpen);
  EXPECT_EQ(master_.ReadFloatRegister(0, vf), kPortNotOpen);
  EXPECT_EQ(master_.WriteRegister(0, 1), kPortNotOpen);
  EXPECT_EQ(master_.WriteRegister32(0, 1), kPortNotOpen);
  EXPECT_EQ(master_.WriteRegisterPair(0, 1, 2), kPortNotOpen);

  field_.text = "old";
  master_.ShowScaled(sink_, field_, 0, 0.1, 1, true);
  EXPECT_EQ(field_.text, "");
  Message m = sink_.Take();
  EXPECT_EQ(m.text, "串口未打开");
  EXPECT_EQ(m.caption, "警告");
  EXPECT_EQ(m.icon, MessageIcon::Exclamation);
  field_.text = "old";
  master_.ShowRegisterNoClear(sink_, field_, 0, true);
  EXPECT_EQ(field_.text, "old");
  EXPECT_EQ(sink_.Take().text, "Serial port not open!");
  master_.ShowRegister(sink_, field_, 0, false);
  EXPECT_EQ(sink_.Take().text, "");
  field_.text = "5";
  master_.WriteFieldInt(sink_, field_, 0);
  m = sink_.Take();
  EXPECT_EQ(m.text, "Serial port not open!");
  EXPECT_EQ(m.caption, "Warning");
  EXPECT_TRUE(pty_.Receive(5ms, 50ms).empty());  // nothing reached the line
}

TEST_F(ScriptedLink, ReadsDecodeAndFormat) {
  uint16_t v = 0;
  EXPECT_EQ(Run(Words({0x1234}), [&] { return master_.ReadRegister(0x0102, v); }), kSuccess);
  EXPECT_EQ(request_, WithCrc({1, 3, 0x01, 0x02, 0, 1}));
  EXPECT_EQ(v, 0x1234);

  auto show = [&](auto op, std::vector<uint16_t> words) {
    field_.text = "old";
    EXPECT_EQ(Run(Words(words), op), kSuccess);
    EXPECT_EQ(sink_.Take().text, "");
    return field_.text;
  };
  EXPECT_EQ(show([&] { return master_.ShowRegister(sink_, field_, 0, true); }, {0xFFFF}), "65535");
  EXPECT_EQ(show([&] { return master_.ShowRegisterNoClear(sink_, field_, 0, true); }, {0xFFFF}), "65535");
  EXPECT_EQ(show([&] { return master_.ShowScaledSigned(sink_, field_, 0, 0.1, 1, true); }, {0xFFFF}), "-0.1");
  EXPECT_EQ(show([&] { return master_.ShowScaled(sink_, field_, 0, 0.1, 1, true); }, {0xFFFF}), "6553.5");
  EXPECT_EQ(show([&] { return master_.ShowScaled(sink_, field_, 0, 0.001, 3, true); }, {1234}), "1.234");
  EXPECT_EQ(show([&] { return master_.ShowScaledSigned(sink_, field_, 0, 0.001, 3, true); }, {1234}), "1.234");
  EXPECT_EQ(show([&] { return master_.ShowScaled(sink_, field_, 0, 0.1, 7, true); }, {1234}), "123");
  for (auto [code, text] : {std::pair<uint16_t, const char*>{0, "Normal"}, {1, "Warning"}, {2, "err"}})
    EXPECT_EQ(show([&] { return master_.ShowStatusRegister(sink_, field_, 0, 0, 1, true); }, {code}), text);

  EXPECT_EQ(show([&] { return master_.ShowRegister32(sink_, field_, 0x10, true); }, {0x0001, 0x86A0}), "100000");
  EXPECT_EQ(request_, WithCrc({1, 3, 0x00, 0x10, 0, 2}));
  EXPECT_EQ(show([&] { return master_.ShowRegister32(sink_, field_, 0, true); }, {0xFFFF, 0xFFFF}), "4294967295");
  EXPECT_EQ(show([&] { return master_.ShowFloatRegister(sink_, field_, 0, true); }, {0x3FC0, 0x0000}), "1.500000");
  float f = 0;
  EXPECT_EQ(Run(Words({0xC2F6, 0xE979}), [&] { return master_.ReadFloatRegister(0, f); }), kSuccess);
  EXPECT_FLOAT_EQ(f, -123.456f);

  uint16_t block[3] = {};
  EXPECT_EQ(Run(Words({7, 8, 9}), [&] { return master_.ReadRegisters(0, 3, block); }), kSuccess);
  EXPECT_EQ(request_, WithCrc({1, 3, 0, 0, 0, 3}));
  EXPECT_EQ(block[2], 9);
}

TEST_F(ScriptedLink, ReadFailuresByFamily) {
  struct Case {
    Bytes reply;
    uint8_t result;
  };
  Bytes badCrc = WithCrc({1, 3, 2, 0, 5});
  badCrc.back() ^= 0xFF;
  const Case cases[] = {
      {WithCrc({1, 0x83, 2}), kFormatError},          // exception reply
      {WithCrc({2, 3, 2, 0, 5}), kFormatError},       // another address
      {WithCrc({1, 4, 2, 0, 5}), kFormatError},       // another function
      {badCrc, kCheckError},
      {WithCrc({1, 3}), kFormatError},                // good CRC, no data: never stale bytes
      {Bytes{1, 3, 2}, kFormatError},                 // three bytes
  };
  const char* plain[] = {"", "", "Read format error!", "Check value error!"};
  const char* noClear[] = {"", "", "Read format Error!", "Check Value Error!"};
  const char* chinese[] = {"", "", "读取格式错误", "设备校验值错误"};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.reply));
    // A good reply first leaves a decodable value in the reply buffer.
    uint16_t v = 0;
    ASSERT_EQ(Run(Words({0x7777}), [&] { return master_.ReadRegister(0, v); }), kSuccess);
    v = 0;
    EXPECT_EQ(Run(Fixed(c.reply), [&] { return master_.ReadRegister(0, v); }), c.result);
    EXPECT_EQ(v, 0);

    field_.text = "old";
    Run(Fixed(c.reply), [&] { return master_.ShowScaledSigned(sink_, field_, 0, 0.1, 1, true); });
    EXPECT_EQ(field_.text, "");
    Message m = sink_.Take();
    EXPECT_EQ(m.text, plain[c.result]);
    EXPECT_EQ(m.caption, "Warning");
    EXPECT_EQ(m.icon, MessageIcon::Exclamation);

    field_.text = "old";
    Run(Fixed(c.reply), [&] { return master_.ShowRegisterNoClear(sink_, field_, 0, true); });
    EXPECT_EQ(field_.text, "old");
    EXPECT_EQ(sink_.Take().text, noClear[c.result]);

    Run(Fixed(c.reply), [&] { return master_.ShowScaled(sink_, field_, 0, 0.1, 1, true); });
    m = sink_.Take();
    EXPECT_EQ(m.text, chinese[c.result]);
    EXPECT_EQ(m.caption, "警告");

    Run(Fixed(c.reply), [&] { return master_.ShowRegister(sink_, field_, 0, false); });
    EXPECT_EQ(field_.text, "");
    EXPECT_EQ(sink_.Take().text, "");
  }
  // The 32-bit families differ in their wording.
  Bytes bad32 = WithCrc({1, 3, 4, 0, 0, 0, 1});
  bad32[5] ^= 1;
  Run(Fixed(bad32), [&] { return master_.ShowRegister32(sink_, field_, 0, true); });
  EXPECT_EQ(sink_.Take().text, "Check Value error!");
  Run(Fixed(bad32), [&] { return master_.ShowFloatRegister(sink_, field_, 0, true); });
  EXPECT_EQ(sink_.Take().text, "Check Value Error!");
  // Enough for one register but not for two.
  Run(Fixed(WithCrc({1, 3, 2, 0, 1})), [&] { return master_.ShowRegister32(sink_, field_, 0, true); });
  EXPECT_EQ(sink_.Take().text, "Read format error!");
}

TEST_F(ScriptedLink, SilentDeviceAndStaleFrames) {
  uint16_t v = 0;
  EXPECT_EQ(Run(Fixed({}), [&] { return master_.ReadRegister(0, v); }), kFormatError);
  field_.text = "old";
  EXPECT_EQ(Run(Fixed({}), [&] { return master_.ShowScaled(sink_, field_, 0, 0.1, 1, false); }), kFormatError);
  EXPECT_EQ(field_.text, "");
  EXPECT_EQ(sink_.Take().text, "");

  // A late reply waiting from before is discarded, not taken for the answer.
  pty_.Send(WithCrc({1, 3, 2, 0x11, 0x11}));
  std::this_thread::sleep_for(100ms);  // let the receive thread release it as a frame
  EXPECT_EQ(Run(Words({0x2222}), [&] { return master_.ReadRegister(0, v); }), kSuccess);
  EXPECT_EQ(v, 0x2222);

  // The configuration exchange hands back the raw reply.
  link_.CurrentAddress = 255;
  const Bytes comm = WithCrc({0xFF, 3, 0x0A, 0, 9, 0, 3, 0, 0, 0, 0, 0, 1});
  const size_t n = Run(Fixed(comm), [&] {
    return master_.Exchange(BuildCommParamRead(link_.TxFrame.data(), 255));
  });
  EXPECT_EQ(request_, (Bytes{0xFF, 0x03, 0x02, 0x00, 0x00, 0x05, 0x91, 0xAF}));
  ASSERT_EQ(n, comm.size());
  auto parsed = ParseCommParamReply(link_.RxFrame.data(), n);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->baud, 9600u);
}

TEST_F(ScriptedLink, WritesCheckTheirReplies) {
  EXPECT_EQ(Run(Echo, [&] { return master_.WriteRegister(0x0030, 0x12345); }), kSuccess);
  EXPECT_EQ(request_, WithCrc({1, 6, 0x00, 0x30, 0x23, 0x45}));  // low 16 bits only

  // Write single: exception or an echo off in its CRC is a mismatch; cut short too.
  EXPECT_EQ(Run(Fixed(WithCrc({1, 0x86, 2})), [&] { return master_.WriteRegister(0, 1); }), kCheckError);
  auto badCrcEcho = [](const Bytes& req) { Bytes r = req; r[6] ^= 1; return r; };
  EXPECT_EQ(Run(badCrcEcho, [&] { return master_.WriteRegister(0, 1); }), kCheckError);
  auto cutEcho = [](const Bytes& req) { return Bytes(req.begin(), req.begin() + 6); };
  EXPECT_EQ(Run(cutEcho, [&] { return master_.WriteRegister(0, 1); }), kCheckError);

  EXPECT_EQ(Run(WriteTwoAck, [&] { return master_.WriteRegister32(0x0040, 0x540BE400); }), kSuccess);
  EXPECT_EQ(request_, WithCrc({1, 0x10, 0x00, 0x40, 0, 2, 4, 0x54, 0x0B, 0xE4, 0x00}));
  EXPECT_EQ(Run(WriteTwoAck, [&] { return master_.WriteRegisterPair(0x0041, 0xAAAA, 0x5555); }), kSuccess);
  EXPECT_EQ(request_, WithCrc({1, 0x10, 0x00, 0x41, 0, 2, 4, 0xAA, 0xAA, 0x55, 0x55}));
  // Write two: exception with a good CRC is a format error, a bad CRC a check error.
  EXPECT_EQ(Run(Fixed(WithCrc({1, 0x90, 2})), [&] { return master_.WriteRegister32(0, 1); }), kFormatError);
  auto badCrcAck = [](const Bytes& req) { Bytes r = WriteTwoAck(req); r.back() ^= 1; return r; };
  EXPECT_EQ(Run(badCrcAck, [&] { return master_.WriteRegisterPair(0, 1, 2); }), kCheckError);
}

TEST_F(ScriptedLink, FieldWritesConvertAndAlwaysReport) {
  struct Case {
    const char* text;
    uint16_t sent;
  };
  for (Case c : {Case{"12.34", 123}, {"-1.5", 0xFFF1}, {"abc", 0}, {"1e10", static_cast<uint16_t>(100000000000ULL)},
                 {"1e400", 0}}) {
    field_.text = c.text;
    EXPECT_EQ(Run(Echo, [&] { return master_.WriteFieldScaled(sink_, field_, 0x20, 10); }), kSuccess) << c.text;
    EXPECT_EQ(request_, WithCrc({1, 6, 0, 0x20, static_cast<uint8_t>(c.sent >> 8), static_cast<uint8_t>(c.sent)}))
        << c.text;
    Message m = sink_.Take();
    EXPECT_EQ(m.text, "Write Successfully");
    EXPECT_EQ(m.caption, "");
    EXPECT_EQ(m.icon, MessageIcon::Exclamation);
  }
  for (Case c : {Case{"70000", 4464}, {"-5", 0}, {" 42", 42}}) {
    field_.text = c.text;
    Run(Echo, [&] { return master_.WriteFieldInt(sink_, field_, 0x21); });
    EXPECT_EQ(request_, WithCrc({1, 6, 0, 0x21, static_cast<uint8_t>(c.sent >> 8), static_cast<uint8_t>(c.sent)}))
        << c.text;
    EXPECT_EQ(sink_.Take().text, "Write Successfully");
  }

  field_.text = "1.5";
  Run(WriteTwoAck, [&] { return master_.WriteFieldFloat(sink_, field_, 0x22); });
  EXPECT_EQ(Bytes(request_.begin() + 7, request_.begin() + 11), (Bytes{0x3F, 0xC0, 0x00, 0x00}));
  field_.text = "-1e39";
  Run(WriteTwoAck, [&] { return master_.WriteFieldFloat(sink_, field_, 0x22); });
  EXPECT_EQ(Bytes(request_.begin() + 7, request_.begin() + 11), (Bytes{0xFF, 0x80, 0x00, 0x00}));
  field_.text = "1e10";
  Run(WriteTwoAck, [&] { return master_.WriteFieldScaled32(sink_, field_, 0x24, 1); });
  EXPECT_EQ(Bytes(request_.begin() + 7, request_.begin() + 11), (Bytes{0x54, 0x0B, 0xE4, 0x00}));
  field_.text = "-0.5";
  Run(WriteTwoAck, [&] { return master_.WriteFieldScaled32(sink_, field_, 0x24, 100); });
  EXPECT_EQ(Bytes(request_.begin() + 7, request_.begin() + 11), (Bytes{0xFF, 0xFF, 0xFF, 0xCE}));
  sink_.boxes.clear();

  field_.text = "1";
  Run(Fixed(WithCrc({1, 0x86, 2})), [&] { return master_.WriteFieldInt(sink_, field_, 0); });
  Message m = sink_.Take();
  EXPECT_EQ(m.text, "Receiving and sending data are inconsistent!");
  EXPECT_EQ(m.caption, "Warning");
  Run(Fixed(WithCrc({1, 0x90, 2})), [&] { return master_.WriteFieldScaled32(sink_, field_, 0, 1); });
  EXPECT_EQ(sink_.Take().text, "Return value error or device not responding!");
}

}  // namespace
}  // namespace tamsu
