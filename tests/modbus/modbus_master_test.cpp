// The register transactions end to end over a pseudo-terminal: against a scripted peer for
// the words and bytes of every operation, against the transmitter simulator for its faults.
#include "modbus/modbus_master.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "modbus/line_record.h"
#include "sim/simulator.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_sink.h"

namespace tamsu {
namespace {

using Bytes = std::vector<uint8_t>;
using Op = std::function<uint8_t()>;
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

// A transmitter played on the master side of a pseudo-terminal: it answers every request with
// script(request) until the operation ends (a reply in doubt is asked for again); an empty
// answer is silence.
class ScriptedLink : public ::testing::Test {
 protected:
  using Script = std::function<Bytes(const Bytes&)>;
  void SetUp() override {
    ASSERT_EQ(link_.ReopenPort(pty_.slavePath(), 9600), 1);
    link_.CurrentAddress = 1;
  }
  uint8_t Run(const Script& script, const Op& op) {
    std::atomic<bool> done{false};
    std::thread peer([&] {
      while (!done) {
        Bytes request = pty_.Receive(5ms, 50ms);
        if (request.empty()) continue;
        request_ = request;
        if (Bytes reply = script(request_); !reply.empty()) pty_.Send(reply);
      }
    });
    const uint8_t result = op();
    done = true;
    peer.join();
    return result;
  }
  static Script Fixed(Bytes reply) {
    return [reply](const Bytes&) { return reply; };
  }
  static Script Words(std::vector<uint16_t> words) {  // a read reply carrying these words
    return [words](const Bytes& req) {
      Bytes r{req.at(0), 0x03, static_cast<uint8_t>(2 * words.size())};
      for (uint16_t w : words) r.insert(r.end(), {static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)});
      return WithCrc(r);
    };
  }

  test::PtyPair pty_;
  Link link_;
  ModbusMaster master_{link_};
  Bytes request_;
  Field field_;
  test::RecordingSink sink_;
};

TEST_F(ScriptedLink, ReadsDecodeAndFormat) {
  const struct Case {
    Op show;
    std::vector<uint16_t> words;
    const char* text;
  } cases[] = {
      {[&] { return master_.ShowRegister(sink_, field_, 0, true); }, {0xFFFF}, "65535"},
      {[&] { return master_.ShowRegisterNoClear(sink_, field_, 0, true); }, {0xFFFE}, "65534"},
      {[&] { return master_.ShowScaledSigned(sink_, field_, 0, 0.1, 1, true); }, {0xFFFF}, "-0.1"},
      {[&] { return master_.ShowScaled(sink_, field_, 0, 0.1, 1, true); }, {0xFFFF}, "6553.5"},
      {[&] { return master_.ShowScaled(sink_, field_, 0, 0.001, 3, true); }, {1234}, "1.234"},
      {[&] { return master_.ShowStatusRegister(sink_, field_, 0, 0, 1, true); }, {0}, "Normal"},
      {[&] { return master_.ShowStatusRegister(sink_, field_, 0, 0, 1, true); }, {1}, "Warning"},
      {[&] { return master_.ShowStatusRegister(sink_, field_, 0, 0, 1, true); }, {2}, "err"},
      {[&] { return master_.ShowRegister32(sink_, field_, 0, true); }, {0x8001, 0x86A0}, "2147583648"},
      {[&] { return master_.ShowFloatRegister(sink_, field_, 0, true); }, {0xC2F6, 0xE979}, "-123.456001"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    field_.text = "old";
    EXPECT_EQ(Run(Words(c.words), c.show), kSuccess);
    EXPECT_EQ(request_, WithCrc({1, 3, 0, 0, 0, static_cast<uint8_t>(c.words.size())}));
    EXPECT_EQ(field_.text, c.text);
    EXPECT_TRUE(sink_.boxes.empty());
  }
  uint16_t block[3] = {};
  EXPECT_EQ(Run(Words({7, 8, 9}), [&] { return master_.ReadRegisters(0x0102, 3, block); }), kSuccess);
  EXPECT_EQ(request_, WithCrc({1, 3, 0x01, 0x02, 0, 3}));
  EXPECT_EQ((std::vector<uint16_t>(block, block + 3)), (std::vector<uint16_t>{7, 8, 9}));
}

TEST_F(ScriptedLink, EachFamilyReportsItsFailures) {
  using Texts = std::array<const char*, 3>;  // port not open, format error, check error
  const Texts plain{"Serial port not open!", "Read format error!", "Check value error!"};
  const Texts noClear{"Serial port not open!", "Read format Error!", "Check Value Error!"};
  const Texts write{"Serial port not open!", "Return value error or device not responding!",
                    "Receiving and sending data are inconsistent!"};
  const struct Family {
    Op op;
    bool clears;
    const char* caption;
    Texts texts;
  } families[] = {
      {[&] { return master_.ShowRegister(sink_, field_, 0, true); }, true, "Warning", plain},
      {[&] { return master_.ShowScaledSigned(sink_, field_, 0, 0.1, 1, true); }, true, "Warning", plain},
      {[&] { return master_.ShowRegisterNoClear(sink_, field_, 0, true); }, false, "Warning", noClear},
      {[&] { return master_.ShowStatusRegister(sink_, field_, 0, 0, 1, true); }, true, "Warning", noClear},
      {[&] { return master_.ShowScaled(sink_, field_, 0, 0.1, 1, true); }, true, "警告",
       {"串口未打开", "读取格式错误", "设备校验值错误"}},
      {[&] { return master_.ShowRegister32(sink_, field_, 0, true); }, true, "Warning",
       {"Serial port not open!", "Read format error!", "Check Value error!"}},
      {[&] { return master_.ShowFloatRegister(sink_, field_, 0, true); }, true, "Warning",
       {"Serial port not open!", "Read format error!", "Check Value Error!"}},
      {[&] { return master_.WriteFieldInt(sink_, field_, 0); }, false, "Warning", write},
      {[&] { return master_.WriteFieldScaled32(sink_, field_, 0, 1); }, false, "Warning", write},
  };
  // Three bytes are a format error, and a reply of the right shape with a bad CRC a check
  // error, for every transaction.
  const Script badCrc = [](const Bytes& req) {
    Bytes r = req.at(1) == 0x03 ? Bytes{req.at(0), 0x03, static_cast<uint8_t>(2 * req.at(5))} : Bytes(req.begin(), req.begin() + 6);
    r.resize(r.size() + (req.at(1) == 0x03 ? 2 * req.at(5) : 0) + 2, 0);
    return r;
  };
  const Script scripts[] = {Fixed({}), Fixed({1, 3, 2}), badCrc};
  for (uint8_t result : {kPortNotOpen, kFormatError, kCheckError}) {
    for (const Family& f : families) {
      SCOPED_TRACE(f.texts[result - 1]);
      field_.text = "old";
      link_.PortOpen = result != kPortNotOpen;  // the flag alone decides; the line stays open to watch
      EXPECT_EQ(result == kPortNotOpen ? f.op() : Run(scripts[result - 1], f.op), result);
      EXPECT_EQ(field_.text, f.clears ? "" : "old");
      EXPECT_EQ(sink_.Take(), (test::Box{f.texts[result - 1], f.caption, MessageIcon::Exclamation}));
    }
    if (result == kPortNotOpen) {
      EXPECT_TRUE(pty_.Receive(5ms, 50ms).empty());  // nothing reached the line
    }
  }
  // Without showErrors a failed read only clears the field.
  EXPECT_EQ(Run(Fixed({1, 3, 2}), [&] { return master_.ShowRegister(sink_, field_, 0, false); }), kFormatError);
  EXPECT_EQ(field_.text, "");
  EXPECT_TRUE(sink_.boxes.empty());
}

TEST_F(ScriptedLink, RejectedAndStaleRepliesAreNeverDecoded) {
  uint16_t v = 0;
  ASSERT_EQ(Run(Words({0x7777}), [&] { return master_.ReadRegister(0, v); }), kSuccess);
  v = 0;  // a decodable value is left in the reply buffer; a good CRC without data must not reach it
  EXPECT_EQ(Run(Fixed(WithCrc({1, 3})), [&] { return master_.ReadRegister(0, v); }), kFormatError);
  EXPECT_EQ(v, 0);
  // A late reply waiting from before is discarded, not taken for the answer.
  pty_.Send(WithCrc({1, 3, 2, 0x11, 0x11}));
  std::this_thread::sleep_for(100ms);  // let the receive thread release it as a frame
  EXPECT_EQ(Run(Words({0x2222}), [&] { return master_.ReadRegister(0, v); }), kSuccess);
  EXPECT_EQ(v, 0x2222);
  // So is traffic that was not ours, however much of it waits (another master on the bus).
  Bytes stale;
  for (int i = 0; i < 3003; ++i) stale.push_back(static_cast<uint8_t>(i % 7 == 0 ? 1 : 3));
  pty_.Send(stale);
  std::this_thread::sleep_for(100ms);
  ASSERT_GT(link_.FrameRing.Count(), 3000);
  EXPECT_EQ(Run(Words({0x3333}), [&] { return master_.ReadRegister(0, v); }), kSuccess);
  EXPECT_EQ(v, 0x3333);
  // Bytes still arriving when a request is due are waited out, not glued to its reply.
  std::thread chatter([&] {
    for (int i = 0; i < 4; ++i, std::this_thread::sleep_for(10ms)) pty_.Send({0x01, 0x03});
  });
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(Run(Words({0x4444}), [&] { return master_.ReadRegister(0, v); }), kSuccess);
  chatter.join();
  EXPECT_EQ(v, 0x4444);
}

TEST_F(ScriptedLink, WritesSendTheirFrames) {
  auto ack = [](const Bytes& req) { return WithCrc(Bytes(req.begin(), req.begin() + 6)); };
  EXPECT_EQ(Run([](const Bytes& req) { return req; }, [&] { return master_.WriteRegister(0x0030, 0x12345); }), kSuccess);
  EXPECT_EQ(request_, WithCrc({1, 6, 0x00, 0x30, 0x23, 0x45}));  // low 16 bits only
  EXPECT_EQ(Run(ack, [&] { return master_.WriteRegister32(0x0040, 0x540BE400); }), kSuccess);
  EXPECT_EQ(request_, WithCrc({1, 0x10, 0x00, 0x40, 0, 2, 4, 0x54, 0x0B, 0xE4, 0x00}));
  EXPECT_EQ(Run(ack, [&] { return master_.WriteRegisterPair(0x0041, 0xAAAA, 0x5555); }), kSuccess);
  EXPECT_EQ(request_, WithCrc({1, 0x10, 0x00, 0x41, 0, 2, 4, 0xAA, 0xAA, 0x55, 0x55}));
}

// The line traffic says what happened to every request: none is "sent" that never left, and
// none is waited for; a transaction that ends before its request has its outcome all the same.
TEST_F(ScriptedLink, TheLineTrafficTellsWhatNeverLeftAndEveryOutcome) {
  LineRecord record;
  link_.SetObserver(&record);
  std::vector<uint16_t> words(600);
  EXPECT_EQ(master_.ReadRegisters(0, 600, words.data()), kFormatError);  // its reply could never fit
  auto lines = record.Since(0);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].text.find("result 2 ("), std::string::npos) << lines[0].text;

  link_.ClosePort();
  EXPECT_EQ(master_.Exchange(BuildLegacyQuery(link_.TxFrame.data())), 0u);
  lines = record.Since(record.LastSeq() - 1);
  ASSERT_EQ(lines.size(), 1u);  // and no time-out after it
  EXPECT_NE(lines[0].text.find("  not sent   9600  FD FD FD 00 00 E9 88  0xFD query (port closed)"), std::string::npos)
      << lines[0].text;
  link_.SetObserver(nullptr);
}

class AgainstSimulator : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    sim_.SetDrift(false);
    ASSERT_TRUE(sim_.Start(&error)) << error;
    ASSERT_EQ(link_.ReopenPort(sim_.PortPath(), 9600), 1);
    link_.CurrentAddress = 1;
  }
  sim::TransmitterSimulator sim_;
  Link link_;
  ModbusMaster master_{link_};
  Field field_;
  test::RecordingSink sink_;
};

TEST_F(AgainstSimulator, FaultsGiveTheirResultsPerTransaction) {
  using sim::FaultKind;
  const struct {
    FaultKind kind;
    int millis;
    uint8_t read, write, write32;
  } cases[] = {
      {FaultKind::Exception, 0, kFormatError, kCheckError, kFormatError},
      {FaultKind::BadCrc, 0, kCheckError, kCheckError, kCheckError},  // the echo's CRC is compared too
      {FaultKind::WrongAddress, 0, kFormatError, kCheckError, kFormatError},
      {FaultKind::Split, 10, kSuccess, kSuccess, kSuccess},  // bursts closer than the silence
      {FaultKind::Delay, 150, kSuccess, kSuccess, kSuccess},
      {FaultKind::Silence, 0, kFormatError, kFormatError, kFormatError},
  };
  uint16_t v = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    sim_.AddFault({.kind = c.kind, .count = 3, .millis = c.millis});
    EXPECT_EQ(master_.ReadRegister(0x0001, v), c.read);
    EXPECT_EQ(master_.WriteRegister(0x0001, 7), c.write);
    EXPECT_EQ(master_.WriteRegister32(0x0002, 7), c.write32);
  }
  EXPECT_EQ(master_.ReadRegister(0x0001, v), kSuccess);  // faults used up: the line is healthy
  EXPECT_EQ(v, 7);
}

TEST_F(AgainstSimulator, FieldWritesConvertAndReport) {
  enum Kind { Int, Scaled, Scaled32, Float };
  const struct {
    Kind kind;
    const char* text;
    int scale;
    uint16_t first, second;  // second: the next register, untouched by 16-bit writes
  } cases[] = {
      {Int, "70000", 1, 4464, 0x5A5A}, {Int, "-5", 1, 0, 0x5A5A},  // the dialog manner: no sign
      {Scaled, "-1.5", 10, 0xFFF1, 0x5A5A}, {Scaled, "1e10", 10, static_cast<uint16_t>(100000000000ULL), 0x5A5A},
      {Scaled32, "-0.5", 100, 0xFFFF, 0xFFCE}, {Float, "-1e39", 1, 0xFF80, 0x0000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_TRUE(sim_.SetRegister(0x20, 0x5A5A) && sim_.SetRegister(0x21, 0x5A5A));
    field_.text = c.text;
    const uint8_t result = c.kind == Int      ? master_.WriteFieldInt(sink_, field_, 0x20)
                           : c.kind == Scaled ? master_.WriteFieldScaled(sink_, field_, 0x20, c.scale)
                           : c.kind == Float  ? master_.WriteFieldFloat(sink_, field_, 0x20)
                                              : master_.WriteFieldScaled32(sink_, field_, 0x20, c.scale);
    EXPECT_EQ(result, kSuccess);
    EXPECT_EQ(sink_.Take(), (test::Box{"Write Successfully", "", MessageIcon::Exclamation}));
    EXPECT_EQ(sim_.GetRegister(0x20), c.first);
    EXPECT_EQ(sim_.GetRegister(0x21), c.second);
  }
}

}  // namespace
}  // namespace tamsu
