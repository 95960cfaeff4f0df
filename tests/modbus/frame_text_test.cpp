// Frames put into words, from real bytes, and the bounded record of the line's traffic.
#include "modbus/frame_text.h"

#include <gtest/gtest.h>

#include "modbus/frames.h"
#include "modbus/line_record.h"

namespace tamsu {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes WithCrc(Bytes b) {
  b.resize(b.size() + 2);
  AppendCrc(b.data(), b.size() - 2);
  return b;
}

template <typename Build, typename... Args>
Bytes Frame(Build build, Args... args) {
  uint8_t b[64];
  return {b, b + build(b, args...)};
}

std::string Request(const Bytes& r) { return DescribeRequest(r.data(), r.size()); }
std::string Reply(const Bytes& reply, const Bytes& r) { return DescribeReply(reply.data(), reply.size(), r.data(), r.size()); }

TEST(FrameText, RequestsByKind) {
  EXPECT_EQ(HexBytes(Frame(BuildReadRequest, 1, 0x0030, 1).data(), 8), "01 03 00 30 00 01 84 05");
  EXPECT_EQ(Request(Frame(BuildReadRequest, 1, 0x0030, 1)), "03 read 0x0030 \u00D71 at 1");
  EXPECT_EQ(Request(Frame(BuildWriteSingle, 7, 0x0030, 0x0163)), "06 write 0x0030 = 0x0163 (355) at 7");
  EXPECT_EQ(Request(Frame(BuildWriteTwo, 1, 0x0040, 0x540B, 0xE400)), "16 write 0x0040 \u00D72 = 0x540B 0xE400 at 1");
  EXPECT_EQ(Request(Frame(BuildCommParamRead, 255)), "comm block read at 255");
  EXPECT_EQ(Request(Frame(BuildCommParamWrite, 0, 34, 2)), "comm block write at 0: address 34, baud code 2 (4800)");
  EXPECT_EQ(Request(Frame(BuildLegacyQuery)), "0xFD query");
  EXPECT_EQ(Request(Frame(BuildLegacySetAddress, 17)), "0xFD set address 17");
  EXPECT_EQ(Request(Frame(BuildLegacySetBaud, 3)), "0xFD set baud code 3 (9600)");
}

TEST(FrameText, RepliesAcceptedAndRefusedWithTheReason) {
  const Bytes read = Frame(BuildReadRequest, 1, 0x0001, 2), write = Frame(BuildWriteSingle, 1, 0x0030, 5);
  const Bytes two = Frame(BuildWriteTwo, 1, 0x0040, 1, 2);
  const struct {
    Bytes reply, request;
    const char* text;
  } cases[] = {
      {WithCrc({1, 3, 4, 0x00, 0xE6, 0xFF, 0x38}), read, "values 0x00E6 (230), 0xFF38 (65336)"},
      {WithCrc({1, 0x83, 0x02}), read, "refused: exception 02: illegal data address"},
      {WithCrc({2, 3, 4, 0, 1, 0, 2}), read, "refused: from address 2, asked 1"},
      {{1, 3, 4, 0, 1, 0, 2, 0, 0}, read, "refused: bad CRC"},
      {WithCrc({1, 3, 2, 0, 1}), read, "refused: 2 data bytes for 2 registers"},
      {{1, 3}, read, "refused: 2 bytes, too short"},
      {WithCrc({1, 4, 2, 0, 1}), read, "refused: function 0x04, asked 0x03"},
      {write, write, "echo"},
      {WithCrc({1, 6, 0, 0x30, 0, 6}), write, "refused: echo differs"},
      {WithCrc({1, 0x86, 0x04}), write, "refused: exception 04: slave device failure"},
      {WithCrc({1, 0x10, 0, 0x40, 0, 2}), two, "acknowledged 0x0040 \u00D72"},
      {WithCrc({0xFD, 0xFD, 0xFD, 2, 17}), Frame(BuildLegacyQuery), "0xFD reply: address 17, 4800 baud"},
      {WithCrc({0xFD, 0xFD, 0xFD, 7, 17}), Frame(BuildLegacyQuery), "refused: no 0xFD reply"},
      {WithCrc({0x21, 3, 10, 0, 33, 0, 3, 0, 1, 0, 0, 0, 1}), Frame(BuildCommParamRead, 255),
       "comm block: address 33, baud code 3 (9600), parity 1, 0, 1"},
      {WithCrc({0xFF, 0x10, 0x02, 0x00, 0x00, 0x05}), Frame(BuildCommParamWrite, 255, 9, 3), "comm block acknowledged"},
      {WithCrc({0xFF, 0x90, 0x03}), Frame(BuildCommParamWrite, 255, 250, 3), "refused: exception 03: illegal data value"},
  };
  for (const auto& c : cases) EXPECT_EQ(Reply(c.reply, c.request), c.text) << HexBytes(c.reply.data(), c.reply.size());
}

TEST(LineRecord, LinesOfATransactionAndTheBoundOfTenThousand) {
  LineRecord record;
  const Bytes request = Frame(BuildReadRequest, 1, 0x0001, 1), reply = WithCrc({1, 3, 2, 0x00, 0xE6});
  record.Sent(request.data(), request.size(), 9600);
  record.Received(reply.data(), reply.size(), 9600, std::chrono::microseconds(1300));
  record.Outcome(kSuccess, std::chrono::microseconds(31400));
  record.TimedOut(std::chrono::milliseconds(500));
  auto lines = record.Since(0);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(lines[0].text.find("  sent       9600  01 03 00 01 00 01 D5 CA  03 read 0x0001 \u00D71 at 1"),
            std::string::npos)
      << lines[0].text;
  EXPECT_NE(lines[1].text.find("received   9600  01 03 02 00 E6 39 CE  values 0x00E6 (230)  (complete 1.3 ms after "
                               "the request)"),
            std::string::npos)
      << lines[1].text;
  EXPECT_NE(lines[2].text.find("result 0 (success), round trip 31.4 ms"), std::string::npos) << lines[2].text;
  EXPECT_NE(lines[3].text.find("time-out: no reply in 500 ms"), std::string::npos) << lines[3].text;
  EXPECT_EQ(record.Since(2).size(), 2u);
  EXPECT_EQ(record.Since(2).front().seq, 3u);

  for (int i = 0; i < 25000; ++i) record.TimedOut(std::chrono::milliseconds(i));
  EXPECT_EQ(record.Size(), LineRecord::kCapacity);
  EXPECT_EQ(record.LastSeq(), 25004u);
  lines = record.Since(0);
  ASSERT_EQ(lines.size(), LineRecord::kCapacity);
  EXPECT_EQ(lines.front().seq, 15005u);
  EXPECT_EQ(record.Since(24000).size(), 1004u);
}

}  // namespace
}  // namespace tamsu
