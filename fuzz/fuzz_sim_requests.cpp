// The simulated transmitter's request parser over arbitrary bytes: how a request is framed by
// its length, and the device's answer to it as one whole frame. The first byte picks the
// device (address, which configuration exchange it knows) and whether to make the CRC good so
// the rules behind the CRC are reached; the rest is the request, exactly as long as heard.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "modbus/frames.h"
#include "sim/profile.h"
#include "sim/transmitter.h"

using tamsu::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tamsu;
  using namespace tamsu::sim;
  if (size < 1) return 0;
  const uint8_t selector = data[0];
  std::vector<uint8_t> bytes(data + 1, data + size);
  if ((selector & 1) && bytes.size() >= 4) AppendCrc(bytes.data(), bytes.size() - 2);
  // An exactly sized copy, so a sanitizer sees any read past the request.
  const size_t n = bytes.size();
  auto exact = std::make_unique<uint8_t[]>(n);
  if (n) std::memcpy(exact.get(), bytes.data(), n);
  const uint8_t* f = n ? exact.get() : nullptr;

  for (size_t k = 0; k <= n; ++k) {
    const size_t length = RequestLength(f, k);
    Require(length == kNeedMore || length == kBySilence || length >= 7);
  }

  // The generic profile: every register exists, so the rules past the address check are reached.
  static const Profile* generic = FindProfile("generic");
  Require(generic != nullptr);
  DeviceConfig config;
  config.address = (selector & 2) ? 1 : 0xFF;
  config.protocol = static_cast<Protocol>((selector >> 2) & 3);
  Transmitter device(*generic, config);
  const Answer answer = device.Handle(f, n, 1.0);
  const std::vector<uint8_t>& reply = answer.reply;
  if (reply.empty()) return 0;

  Require(answer.addressed && CheckReplyCrc(reply.data(), reply.size()));
  if (reply[0] == 0xFD) {
    Require(n == 7 && reply.size() == 7);  // the legacy exchange
    return 0;
  }
  Require(reply[0] == f[0]);
  if (reply.size() == 5 && reply[1] == (f[1] | 0x80)) {  // an exception
    Require(reply[2] >= kIllegalFunction && reply[2] <= kIllegalDataValue);
    return 0;
  }
  Require(reply[1] == f[1]);
  switch (f[1]) {
    case 0x03: Require(n == 8 && reply.size() == 5 + 2 * static_cast<size_t>(f[4] << 8 | f[5])); break;
    case 0x06: Require(n == 8 && std::memcmp(reply.data(), f, 8) == 0); break;
    case 0x10: Require(n == 9 + static_cast<size_t>(f[6]) && reply.size() == 8); break;
    default: Require(false);  // no other function is ever answered but with an exception
  }
  return 0;
}
