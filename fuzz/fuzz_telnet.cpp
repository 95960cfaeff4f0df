// The Telnet / COM port control decoder over whatever a peer on the network may send. The first
// byte picks how the input is cut into reads (commands and subnegotiations split anywhere);
// the rest is the stream. Checked: no more data comes out than went in, the answers stay in
// proportion to the input, the same stream decodes alike however it is cut, and line data
// encoded for the wire decodes back to itself.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "serial/telnet.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

struct Result {
  std::vector<uint8_t> data, answers;
};

Result Decode(const uint8_t* in, size_t n, size_t piece) {
  tamsu::telnet::Codec codec;
  Result r;
  for (size_t at = 0; at < n; at += piece) {
    const size_t k = n - at < piece ? n - at : piece;
    const size_t before = r.data.size();
    codec.Decode(in + at, k, r.data, r.answers);
    Require(r.data.size() - before <= k);
  }
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t piece = 1 + data[0] % 16;
  const uint8_t* stream = data + 1;
  const size_t n = size - 1;

  const Result cut = Decode(stream, n, piece);
  const Result whole = Decode(stream, n, n ? n : 1);
  Require(cut.data == whole.data && cut.answers == whole.answers);
  Require(whole.data.size() <= n);
  // Each answer (three bytes) is owed to a command of at least three bytes.
  Require(whole.answers.size() <= n);

  std::vector<uint8_t> wire;
  tamsu::telnet::EncodeData(stream, n, wire);
  const Result back = Decode(wire.data(), wire.size(), piece);
  Require(back.data == std::vector<uint8_t>(stream, stream + n) && back.answers.empty());
  return 0;
}
