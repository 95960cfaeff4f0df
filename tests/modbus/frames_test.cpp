#include "modbus/frames.h"

#include <gtest/gtest.h>

#include <vector>

namespace tamsu {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes WithCrc(Bytes b) {
  b.resize(b.size() + 2);
  AppendCrc(b.data(), b.size() - 2);
  return b;
}
Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Spoil(Bytes b, size_t i) {
  b.at(i) ^= 0x40;
  return b;
}
template <typename Build, typename... Args>
Bytes Built(Build build, Args... args) {
  uint8_t out[32] = {};
  return Bytes(out, out + build(out, args...));
}

TEST(Crc16, CheckValuesLayoutsAndAppendOrder) {
  const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(Crc16(digits, sizeof digits), 0x4B37);
  // The CRC goes low byte first. Register requests are checked where the master sends them.
  EXPECT_EQ(Built(BuildReadRequest, uint8_t{1}, uint16_t{0}, uint16_t{1}), (Bytes{1, 3, 0, 0, 0, 1, 0x84, 0x0A}));
  EXPECT_EQ(Built(BuildCommParamRead, uint8_t{255}), (Bytes{0xFF, 0x03, 0x02, 0x00, 0x00, 0x05, 0x91, 0xAF}));
  EXPECT_EQ(Built(BuildCommParamRead, uint8_t{0}), (Bytes{0x00, 0x03, 0x02, 0x00, 0x00, 0x05, 0x85, 0xA0}));
  EXPECT_EQ(Built(BuildCommParamWrite, uint8_t{255}, uint8_t{17}, uint8_t{3}),
            WithCrc({0xFF, 0x10, 2, 0, 0, 5, 0x0A, 0, 17, 0, 3, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(Built(BuildWriteTwo, uint8_t{1}, uint16_t{0x20}, uint16_t{1}, uint16_t{2}),
            WithCrc({1, 0x10, 0, 0x20, 0, 2, 4, 0, 1, 0, 2}));
  const uint16_t three[] = {0x1234, 0xABCD, 0x0001};
  EXPECT_EQ(Built(BuildWriteMany, uint8_t{7}, uint16_t{0xFFFD}, three, uint16_t{3}),
            WithCrc({7, 0x10, 0xFF, 0xFD, 0, 3, 6, 0x12, 0x34, 0xAB, 0xCD, 0, 1}));
  EXPECT_EQ(Built(BuildLegacyQuery), (Bytes{0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88}));
  EXPECT_EQ(Built(BuildLegacySetAddress, uint8_t{5}), WithCrc({0xFD, 0xFD, 0xFD, 0, 5}));
  EXPECT_EQ(Built(BuildLegacySetBaud, uint8_t{2}), WithCrc({0xFD, 0xFD, 0xFD, 2, 0}));
}

TEST(Frames, RegisterReplyAcceptance) {
  const Bytes single = WithCrc({1, 6, 0, 0x10, 0x01, 0xF4}), two = WithCrc({1, 0x10, 0, 0x20, 0, 2, 4, 0, 1, 0, 2});
  const Bytes read = WithCrc({1, 3, 2, 0x12, 0x34}), ack = WithCrc({1, 0x10, 0, 0x20, 0, 2});
  enum Kind { Read1, Read2, Single, Two };
  const struct { Kind kind; Bytes reply; uint8_t result; } cases[] = {
      {Read1, read, kSuccess},
      {Read2, WithCrc({1, 3, 4, 0x00, 0x01, 0x86, 0xA0}), kSuccess},
      {Read1, WithCrc({2, 3, 2, 0x12, 0x34}), kFormatError},  // another address
      {Read1, WithCrc({1, 0x83, 2}), kFormatError},           // exception, good CRC
      {Read1, Spoil(read, 6), kCheckError},
      {Read1, {1, 3, 2}, kFormatError},         // three bytes or fewer
      {Read1, WithCrc({1, 3}), kFormatError},   // too short for its data: nothing decoded
      {Read2, read, kFormatError},
      // The byte count or the length of another request's reply: never decoded.
      {Read1, WithCrc({1, 3, 4, 0x12, 0x34}), kFormatError},
      {Read1, WithCrc({1, 3, 2, 0x12, 0x34, 0x56, 0x78}), kFormatError},
      {Read1, WithCrc({1, 3, 4, 0x00, 0x02, 0x49, 0xF0}), kFormatError},  // a late 32-bit reply
      {Read2, WithCrc({1, 3, 4, 0x12, 0x34}), kFormatError},
      {Read1, Cat(read, read), kFormatError},  // two replies run together
      {Single, single, kSuccess},
      {Single, Spoil(single, 7), kCheckError},  // the echo is compared CRC included
      {Single, WithCrc({1, 0x86, 2}), kCheckError},
      {Single, {1, 6, 0}, kFormatError},
      {Two, ack, kSuccess},
      {Two, Spoil(ack, 6), kCheckError},
      {Two, WithCrc({1, 0x90, 2}), kFormatError},
      {Two, WithCrc({1, 0x10, 0, 0x21, 0, 2}), kFormatError},  // another register
      // Longer than the request: rejected rather than compared past the request's end.
      {Two, WithCrc({1, 0x10, 0, 0x20, 0, 2, 4, 0, 1, 0, 2, 0}), kFormatError},
      {Two, two, kFormatError},                      // the request's own echo
      {Two, WithCrc({1, 0x10, 0, 0x20}), kFormatError},  // its first bytes, with a CRC of their own
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.reply));
    const uint8_t* r = c.reply.data();
    const size_t n = c.reply.size();
    EXPECT_EQ(c.kind == Single ? CheckWriteSingleReply(r, n, single.data())
              : c.kind == Two  ? CheckWriteTwoReply(r, n, two.data(), two.size())
                               : CheckReadReply(r, n, 1, c.kind == Read1 ? 1 : 2),
              c.result);
  }
  EXPECT_EQ(ReplyRegister(read.data(), 0), 0x1234);
  // Cut-short echoes never match, even when their bytes agree with the request's start.
  for (size_t n = 4; n < 8; ++n) EXPECT_EQ(CheckWriteSingleReply(single.data(), n, single.data()), kCheckError) << n;
}

TEST(Frames, ConfigurationReplies) {
  const Bytes legacy = WithCrc({0xFD, 0xFD, 0xFD, 2, 17});
  auto l = ParseLegacyReply(legacy.data(), legacy.size());
  ASSERT_TRUE(l);
  EXPECT_EQ(l->baud, 4800u);
  EXPECT_EQ(l->address, 17);
  for (const Bytes& r : {WithCrc({0xFD, 0xFD, 0xFD, 0, 17}), WithCrc({0xFD, 0xFD, 0xFD, 4, 17}),
                         WithCrc({0xFD, 0xFC, 0xFD, 1, 17}), WithCrc({0xFD, 0xFD, 0xFD}), Spoil(legacy, 4)})
    EXPECT_FALSE(ParseLegacyReply(r.data(), r.size())) << testing::PrintToString(r);

  const Bytes comm = WithCrc({0xFF, 0x03, 0x0A, 0, 9, 0, 5, 0, 1, 0, 0, 0, 1});
  auto c = ParseCommParamReply(comm.data(), comm.size());
  ASSERT_TRUE(c);
  EXPECT_EQ((std::vector<int>{c->address, c->baudCode, c->ParityCode, c->CommReg3, c->CommReg4}),
            (std::vector<int>{9, 5, 1, 0, 1}));
  EXPECT_EQ(c->baud, 38400u);
  // Address and function are not compared; an unknown baud code reads as rate 0.
  const Bytes odd = WithCrc({0x07, 0x04, 0x0A, 0, 9, 0, 9, 0, 1, 0, 0, 0, 1});
  auto o = ParseCommParamReply(odd.data(), odd.size());
  ASSERT_TRUE(o);
  EXPECT_EQ(o->baud, 0u);
  // Too short to hold byte 12 before its CRC, or a bad CRC: rejected, never read past the reply.
  for (const Bytes& r : {WithCrc({0xFF, 0x03, 0x0A, 0, 9, 0, 5, 0, 1, 0, 0}), Spoil(comm, 4)})
    EXPECT_FALSE(ParseCommParamReply(r.data(), r.size()));

  // A block write is acknowledged only by its normal echo, never by an exception reply.
  const Bytes ack = WithCrc({0xFF, 0x10, 0x02, 0x00, 0x00, 0x05});
  EXPECT_TRUE(CheckCommParamWriteReply(ack.data(), ack.size(), 0xFF));
  EXPECT_FALSE(CheckCommParamWriteReply(ack.data(), ack.size(), 0x00));
  for (const Bytes& r : {WithCrc({0xFF, 0x90, 0x03}), Spoil(ack, 7), WithCrc({0xFF, 0x10, 0x02, 0x00, 0x00, 0x04}),
                         WithCrc({0xFF, 0x10, 0x02, 0x00, 0x00, 0x05, 0x00}), Bytes(ack.begin(), ack.begin() + 6)})
    EXPECT_FALSE(CheckCommParamWriteReply(r.data(), r.size(), 0xFF)) << testing::PrintToString(r);
}

TEST(Frames, CodesAndTexts) {
  EXPECT_EQ(BaudCodeOf(38400), 5);
  for (int code : {-1, 6}) EXPECT_EQ(BaudFromCode(code), 0u);
  EXPECT_EQ(BaudCodeOf(115200), -1);
  for (auto [code, text] : {std::pair{0, "No Check"}, {1, "Odd Parity Check"}, {2, "Parity Check"}, {9, "Error Checking"}})
    EXPECT_EQ(ParityText(static_cast<uint8_t>(code)), text);
}

}  // namespace
}  // namespace tamsu
