// Every reply acceptance rule and decoder over arbitrary bytes, with the line traffic words and
// the representations of values. The first two bytes pick the exchange's parameters (address,
// register count, whether to make the CRC good so the rules behind the CRC are reached); the
// rest is the reply, exactly as long as received.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "modbus/frame_text.h"
#include "modbus/frames.h"
#include "modbus/representation.h"

using tamsu::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tamsu;
  if (size < 2) return 0;
  const uint8_t selector = data[0];
  const uint16_t count = data[1];
  std::vector<uint8_t> reply(data + 2, data + size);
  if ((selector & 1) && reply.size() >= 4) AppendCrc(reply.data(), reply.size() - 2);
  const size_t n = reply.size();
  const uint8_t* r = n ? reply.data() : nullptr;
  const uint8_t address = (selector & 2) ? 0xFF : (n ? reply[0] : 1);

  const bool crcGood = CheckReplyCrc(r, n);
  Require(!crcGood || n >= 4);

  const uint8_t read = CheckReadReply(r, n, address, count);
  Require(read <= kCheckError);
  if (read == kSuccess) {
    Require(n >= 5 + 2 * static_cast<size_t>(count) && crcGood);
    uint32_t sum = 0;
    for (size_t k = 0; k < count; ++k) sum += ReplyRegister(r, k);
    (void)sum;
  }

  uint8_t request[32];
  const size_t single = BuildWriteSingle(request, address, count, static_cast<uint16_t>(selector << 8 | count));
  const uint8_t echo = CheckWriteSingleReply(r, n, request);
  Require(echo != kSuccess || (n >= 8 && std::memcmp(r, request, 8) == 0));
  (void)single;

  const size_t two = BuildWriteTwo(request, address, count, selector, count);
  const uint8_t ack = CheckWriteTwoReply(r, n, request, two);
  Require(ack != kSuccess || (crcGood && n <= two));

  if (auto legacy = ParseLegacyReply(r, n)) Require(legacy->baud == 2400 || legacy->baud == 4800 || legacy->baud == 9600);
  if (auto comm = ParseCommParamReply(r, n)) {
    Require(comm->baud == BaudFromCode(comm->baudCode));
    Require(!ParityText(comm->ParityCode).empty());
  }
  Require(CheckCommParamWriteReply(r, n, address) <= crcGood);

  // The line traffic words: any bytes as a request, and as the reply to each kind of request.
  Require(!DescribeRequest(r, n).empty() || n == 0);
  size_t lengths[] = {BuildReadRequest(request, address, selector & 4 ? 0x0200 : count, count), 0, 0, 0, 0};
  std::vector<std::vector<uint8_t>> requests{{request, request + lengths[0]}};
  lengths[1] = BuildWriteSingle(request, address, count, selector);
  requests.emplace_back(request, request + lengths[1]);
  lengths[2] = BuildWriteTwo(request, address, count, selector, count);
  requests.emplace_back(request, request + lengths[2]);
  lengths[3] = BuildCommParamWrite(request, address, static_cast<uint8_t>(count), selector);
  requests.emplace_back(request, request + lengths[3]);
  lengths[4] = BuildLegacyFrame(request, selector & 3, static_cast<uint8_t>(count));
  requests.emplace_back(request, request + lengths[4]);
  for (const auto& q : requests) Require(!DescribeReply(r, n, q.data(), q.size()).empty() || n == 0);
  // And the reply's first words in every representation.
  const uint32_t value = n >= 4 ? static_cast<uint32_t>(r[0] << 24 | r[1] << 16 | r[2] << 8 | r[3]) : selector;
  using Kind = Representation::Kind;
  for (Kind kind : {Kind::Unsigned, Kind::Signed, Kind::Unsigned32, Kind::Float, Kind::Codes, Kind::Bytes})
    Require(!Present({.kind = kind, .scale = selector * 0.37, .decimals = count % 6 - 1, .single = (selector & 8) != 0,
                      .codes = {{1, "one"}}},
                     value)
                 .empty());
  return 0;
}
