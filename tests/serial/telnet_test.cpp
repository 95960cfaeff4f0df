#include "serial/telnet.h"

#include <gtest/gtest.h>

#include <vector>

namespace tamsu::telnet {
namespace {

using Bytes = std::vector<uint8_t>;

struct Decoded {
  Bytes data, answers;
};

// Feeds `in` to `codec` in pieces of `piece` bytes.
Decoded Feed(Codec& codec, const Bytes& in, size_t piece) {
  Decoded d;
  for (size_t at = 0; at < in.size(); at += piece)
    codec.Decode(in.data() + at, std::min(piece, in.size() - at), d.data, d.answers);
  return d;
}

TEST(Telnet, DataIsEscapedOnTheWayOutAndUnescapedOnTheWayIn) {
  const Bytes data = {0x01, 0xFF, 0x02, 0xFF, 0xFF};
  Bytes wire;
  EncodeData(data.data(), data.size(), wire);
  EXPECT_EQ(wire, (Bytes{0x01, 0xFF, 0xFF, 0x02, 0xFF, 0xFF, 0xFF, 0xFF}));
  for (size_t piece : {1, 2, 3, 64}) {
    Codec codec;
    const Decoded d = Feed(codec, wire, piece);
    EXPECT_EQ(d.data, data) << piece;
    EXPECT_TRUE(d.answers.empty());
  }
}

TEST(Telnet, ComPortValuesAreEscapedToo) {
  Bytes out;
  EncodeSetBaudRate(0x0000FFFF, out);
  EXPECT_EQ(out, (Bytes{kIac, kSb, kComPort, kSetBaudRate, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, kIac, kSe}));
  // and the server's acknowledgement of such a value is read back whole, however it is cut
  Bytes ack = {kIac, kSb, kComPort, 101, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, kIac, kSe, 0x42};
  for (size_t piece : {1, 5, 64}) {
    Codec codec;
    const Decoded d = Feed(codec, ack, piece);
    ASSERT_TRUE(codec.AckedBaud());
    EXPECT_EQ(*codec.AckedBaud(), 0x0000FFFFu);
    EXPECT_EQ(d.data, Bytes{0x42});
  }
}

TEST(Telnet, NegotiationAgreesToWhatTheLineNeedsAndRefusesTheRestWithoutLooping) {
  Codec codec;
  Bytes start;
  codec.Start(start);
  EXPECT_EQ(start, (Bytes{kIac, kWill, kBinary, kIac, kDo, kBinary, kIac, kWill, kSuppressGoAhead, kIac, kDo,
                          kSuppressGoAhead, kIac, kWill, kComPort}));
  // A gateway's opening as ser2net sends it: go-ahead and echo offered, binary and COM port agreed.
  const Bytes opening = {kIac, kWill, 3, kIac, kDo, 3, kIac, kWill, 1, kIac, kDont, 1, kIac, kDo, 0,
                         kIac, kWill, 0, kIac, kDo, 44, kIac, kSb, 44, 107, 0, kIac, kSe};
  const Decoded d = Feed(codec, opening, 1);
  EXPECT_TRUE(d.data.empty());
  // Only the echo, which we never asked for, is refused; requested options are not answered again.
  EXPECT_EQ(d.answers, (Bytes{kIac, kDont, 1}));
  EXPECT_EQ(codec.ComPort(), Codec::Agreement::Agreed);

  // The same requests again change nothing and are not answered: no endless exchange.
  Decoded d2 = Feed(codec, {kIac, kDo, 0, kIac, kWill, 3, kIac, kDont, 1}, 64);
  EXPECT_TRUE(d2.answers.empty());
  // A request to stop binary is acknowledged once.
  d2 = Feed(codec, {kIac, kDont, 0, kIac, kDont, 0}, 64);
  EXPECT_EQ(d2.answers, (Bytes{kIac, kWont, 0}));
}

TEST(Telnet, ARefusedComPortIsReported) {
  Codec codec;
  Bytes start;
  codec.Start(start);
  Feed(codec, {kIac, kDont, kComPort}, 64);
  EXPECT_EQ(codec.ComPort(), Codec::Agreement::Refused);
}

TEST(Telnet, AnEndlessSubnegotiationCostsBoundedMemoryAndIsNotBelieved) {
  Codec codec;
  Bytes in = {kIac, kSb, kComPort, 101};
  in.insert(in.end(), 100000, 0x00);
  Decoded d = Feed(codec, in, 4096);
  EXPECT_TRUE(d.data.empty());
  // Its end, then line data: the data is delivered, the oversized value ignored.
  d = Feed(codec, {kIac, kSe, 0x07, 0x08}, 64);
  EXPECT_EQ(d.data, (Bytes{0x07, 0x08}));
  EXPECT_FALSE(codec.AckedBaud());
}

TEST(Telnet, ASubnegotiationCutShortByACommandEndsThereAndTheCommandCounts) {
  Codec codec;
  Bytes start;
  codec.Start(start);
  const Decoded d = Feed(codec, {kIac, kSb, kComPort, 101, 0, kIac, kDo, kComPort, 0x11}, 1);
  EXPECT_EQ(codec.ComPort(), Codec::Agreement::Agreed);
  EXPECT_FALSE(codec.AckedBaud());
  EXPECT_EQ(d.data, Bytes{0x11});
}

TEST(Telnet, AnIacAtTheEndOfAReadWaitsForItsSecondHalf) {
  Codec codec;
  Decoded d = Feed(codec, {0x01, kIac}, 64);
  EXPECT_EQ(d.data, Bytes{0x01});
  d = Feed(codec, {kIac, 0x02}, 64);
  EXPECT_EQ(d.data, (Bytes{0xFF, 0x02}));
}

}  // namespace
}  // namespace tamsu::telnet
