// A pseudo-terminal pair for tests: the tool opens `slavePath` as its serial port, the test
// plays the transmitter on `master`.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tamsu::test {

// Writes every byte to a non-blocking descriptor, waiting for room as needed.
void SendAll(int fd, const std::vector<uint8_t>& bytes);
// Collects what arrives on `fd` until `quiet` passes without a byte, or `limit` without any.
std::vector<uint8_t> ReceiveUntilQuiet(int fd, std::chrono::milliseconds quiet, std::chrono::milliseconds limit);

class PtyPair {
 public:
  PtyPair();   // raw master, non-blocking; aborts the test on failure
  ~PtyPair();  // closes the master if still open
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& slavePath() const { return slavePath_; }
  int master() const { return master_; }

  void Send(const std::vector<uint8_t>& bytes);
  // Collects what the tool wrote until `quiet` passes without a byte or `limit` runs out.
  std::vector<uint8_t> Receive(std::chrono::milliseconds quiet = std::chrono::milliseconds(20),
                               std::chrono::milliseconds limit = std::chrono::milliseconds(1000));
  void CloseMaster();  // looks like an unplugged adapter to the tool

 private:
  int master_ = -1;
  std::string slavePath_;
};

}  // namespace tamsu::test
