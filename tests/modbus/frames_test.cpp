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

template <typename Build, typename... Args>
Bytes Built(Build build, Args... args) {
  uint8_t out[32] = {};
  size_t n = build(out, args...);
  return Bytes(out, out + n);
}

TEST(Crc16, CheckValuesAndAppendOrder) {
  const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(Crc16(digits, sizeof digits), 0x4B37);
  EXPECT_EQ(Crc16(digits, 0), 0xFFFF);
  EXPECT_EQ(WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));
  // A frame with its own CRC appended has a CRC residue of zero.
  Bytes f = WithCrc({0x11, 0x22, 0x33});
  EXPECT_EQ(Crc16(f.data(), f.size()), 0);
}

TEST(Frames, RequestLayouts) {
  EXPECT_EQ(Built(BuildReadRequest, uint8_t{1}, uint16_t{0}, uint16_t{1}), (Bytes{1, 3, 0, 0, 0, 1, 0x84, 0x0A}));
  EXPECT_EQ(Built(BuildReadRequest, uint8_t{7}, uint16_t{0x1234}, uint16_t{19}), WithCrc({7, 3, 0x12, 0x34, 0, 19}));
  EXPECT_EQ(Built(BuildWriteSingle, uint8_t{9}, uint16_t{0x0102}, uint16_t{0xFFF1}), WithCrc({9, 6, 1, 2, 0xFF, 0xF1}));
  EXPECT_EQ(Built(BuildWriteTwo, uint8_t{2}, uint16_t{0x0030}, uint16_t{0x3FC0}, uint16_t{0x0000}),
            WithCrc({2, 0x10, 0x00, 0x30, 0, 2, 4, 0x3F, 0xC0, 0, 0}));
  EXPECT_EQ(Built(BuildCommParamRead, uint8_t{255}), (Bytes{0xFF, 0x03, 0x02, 0x00, 0x00, 0x05, 0x91, 0xAF}));
  EXPECT_EQ(Built(BuildCommParamRead, uint8_t{0}), (Bytes{0x00, 0x03, 0x02, 0x00, 0x00, 0x05, 0x85, 0xA0}));
  EXPECT_EQ(Built(BuildCommParamWrite, uint8_t{255}, uint8_t{17}, uint8_t{3}),
            WithCrc({0xFF, 0x10, 2, 0, 0, 5, 0x0A, 0, 17, 0, 3, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(Built(BuildLegacyQuery), (Bytes{0xFD, 0xFD, 0xFD, 0x00, 0x00, 0xE9, 0x88}));
  EXPECT_EQ(Built(BuildLegacySetAddress, uint8_t{5}), WithCrc({0xFD, 0xFD, 0xFD, 0, 5}));
  EXPECT_EQ(Built(BuildLegacySetBaud, uint8_t{2}), WithCrc({0xFD, 0xFD, 0xFD, 2, 0}));
}

TEST(Frames, ReadReplyAcceptance) {
  const Bytes good = WithCrc({1, 3, 2, 0x12, 0x34});
  EXPECT_EQ(CheckReadReply(good.data(), good.size(), 1, 1), kSuccess);
  EXPECT_EQ(ReplyRegister(good.data(), 0), 0x1234);
  // Other address, exception reply: format errors even with a good CRC.
  const Bytes other = WithCrc({2, 3, 2, 0x12, 0x34});
  EXPECT_EQ(CheckReadReply(other.data(), other.size(), 1, 1), kFormatError);
  const Bytes exception = WithCrc({1, 0x83, 2});
  EXPECT_EQ(CheckReadReply(exception.data(), exception.size(), 1, 1), kFormatError);
  // Bad CRC is the check error.
  Bytes bad = good;
  bad.back() ^= 1;
  EXPECT_EQ(CheckReadReply(bad.data(), bad.size(), 1, 1), kCheckError);
  // Three bytes or fewer, and replies too short for their data: format errors, nothing decoded.
  EXPECT_EQ(CheckReadReply(good.data(), 3, 1, 1), kFormatError);
  const Bytes four = WithCrc({1, 3});
  EXPECT_EQ(CheckReadReply(four.data(), four.size(), 1, 1), kFormatError);
  EXPECT_EQ(CheckReadReply(good.data(), good.size(), 1, 2), kFormatError);
  const Bytes two = WithCrc({1, 3, 4, 0x00, 0x01, 0x86, 0xA0});
  EXPECT_EQ(CheckReadReply(two.data(), two.size(), 1, 2), kSuccess);
}

TEST(Frames, WriteSingleEchoIncludesCrc) {
  const Bytes req = Built(BuildWriteSingle, uint8_t{1}, uint16_t{0x10}, uint16_t{500});
  EXPECT_EQ(CheckWriteSingleReply(req.data(), req.size(), req.data()), kSuccess);
  Bytes badCrc = req;
  badCrc[7] ^= 0x40;
  EXPECT_EQ(CheckWriteSingleReply(badCrc.data(), badCrc.size(), req.data()), kCheckError);
  const Bytes exception = WithCrc({1, 0x86, 2});
  EXPECT_EQ(CheckWriteSingleReply(exception.data(), exception.size(), req.data()), kCheckError);
  // Cut-short echoes never match, even when their bytes agree with the request's start.
  for (size_t n = 4; n < 8; ++n) EXPECT_EQ(CheckWriteSingleReply(req.data(), n, req.data()), kCheckError) << n;
  EXPECT_EQ(CheckWriteSingleReply(req.data(), 3, req.data()), kFormatError);
}

TEST(Frames, WriteTwoAcceptance) {
  const Bytes req = Built(BuildWriteTwo, uint8_t{1}, uint16_t{0x20}, uint16_t{1}, uint16_t{2});
  const Bytes good = WithCrc({1, 0x10, 0x00, 0x20, 0, 2});
  EXPECT_EQ(CheckWriteTwoReply(good.data(), good.size(), req.data(), req.size()), kSuccess);
  Bytes badCrc = good;
  badCrc[6] ^= 1;
  EXPECT_EQ(CheckWriteTwoReply(badCrc.data(), badCrc.size(), req.data(), req.size()), kCheckError);
  const Bytes exception = WithCrc({1, 0x90, 2});
  EXPECT_EQ(CheckWriteTwoReply(exception.data(), exception.size(), req.data(), req.size()), kFormatError);
  const Bytes otherReg = WithCrc({1, 0x10, 0x00, 0x21, 0, 2});
  EXPECT_EQ(CheckWriteTwoReply(otherReg.data(), otherReg.size(), req.data(), req.size()), kFormatError);
  // Longer than the request: rejected rather than compared past the request's end.
  Bytes longer(req.begin(), req.end() - 2);
  longer.push_back(0);
  longer = WithCrc(longer);
  EXPECT_EQ(CheckWriteTwoReply(longer.data(), longer.size(), req.data(), req.size()), kFormatError);
}

TEST(Frames, ConfigurationReplies) {
  const Bytes legacy = WithCrc({0xFD, 0xFD, 0xFD, 2, 17});
  auto l = ParseLegacyReply(legacy.data(), legacy.size());
  ASSERT_TRUE(l);
  EXPECT_EQ(l->baud, 4800u);
  EXPECT_EQ(l->address, 17);
  for (uint8_t code : {0, 4}) {
    const Bytes r = WithCrc({0xFD, 0xFD, 0xFD, code, 17});
    EXPECT_FALSE(ParseLegacyReply(r.data(), r.size()));
  }
  const Bytes notFd = WithCrc({0xFD, 0xFC, 0xFD, 1, 17});
  EXPECT_FALSE(ParseLegacyReply(notFd.data(), notFd.size()));
  const Bytes shortLegacy = WithCrc({0xFD, 0xFD, 0xFD});
  EXPECT_FALSE(ParseLegacyReply(shortLegacy.data(), shortLegacy.size()));

  const Bytes comm = WithCrc({0xFF, 0x03, 0x0A, 0, 9, 0, 5, 0, 1, 0, 0, 0, 1});
  auto c = ParseCommParamReply(comm.data(), comm.size());
  ASSERT_TRUE(c);
  EXPECT_EQ(c->address, 9);
  EXPECT_EQ(c->baudCode, 5);
  EXPECT_EQ(c->baud, 38400u);
  EXPECT_EQ(c->ParityCode, 1);
  EXPECT_EQ(c->CommReg3, 0);
  EXPECT_EQ(c->CommReg4, 1);
  // Address and function are not compared; an unknown baud code reads as rate 0.
  const Bytes odd = WithCrc({0x07, 0x04, 0x0A, 0, 9, 0, 9, 0, 1, 0, 0, 0, 1});
  auto o = ParseCommParamReply(odd.data(), odd.size());
  ASSERT_TRUE(o);
  EXPECT_EQ(o->baud, 0u);
  // Too short to hold byte 12 before its CRC: rejected, never read past the reply.
  const Bytes cut = WithCrc({0xFF, 0x03, 0x0A, 0, 9, 0, 5, 0, 1, 0, 0});
  EXPECT_FALSE(ParseCommParamReply(cut.data(), cut.size()));
  Bytes badCrc = comm;
  badCrc[4] ^= 1;
  EXPECT_FALSE(ParseCommParamReply(badCrc.data(), badCrc.size()));
}

TEST(Frames, CodesAndTexts) {
  const uint32_t rates[] = {1200, 2400, 4800, 9600, 19200, 38400};
  for (int code = 0; code < 6; ++code) {
    EXPECT_EQ(BaudFromCode(code), rates[code]);
    EXPECT_EQ(BaudCodeOf(rates[code]), code);
  }
  EXPECT_EQ(BaudFromCode(6), 0u);
  EXPECT_EQ(BaudFromCode(-1), 0u);
  EXPECT_EQ(BaudCodeOf(115200), -1);
  EXPECT_EQ(ParityText(0), "No Check");
  EXPECT_EQ(ParityText(1), "Odd Parity Check");
  EXPECT_EQ(ParityText(2), "Parity Check");
  EXPECT_EQ(ParityText(3), "Error Checking");
}

}  // namespace
}  // namespace tamsu
