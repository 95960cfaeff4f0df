// The holding registers of one simulated transmitter, built from its profile.
#pragma once

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "sim/profile.h"

namespace tamsu::sim {

class RegisterBank {
 public:
  explicit RegisterBank(const Profile& profile);

  bool Exists(uint16_t reg) const;
  bool Writable(uint16_t reg) const;
  // The register's value at t seconds since the device started; 0 for a register that does
  // not exist.
  uint16_t Read(uint16_t reg, double t) const;
  // Stores the value; a live value written (by the master or a test) holds it from then on.
  // Returns false for a register that does not exist (nothing stored).
  bool Write(uint16_t reg, uint16_t value, double t);
  // Off: sines and cycles hold their table value (followers still follow), for exact tests.
  void SetDrift(bool on) { drift_ = on; }

 private:
  struct Signal {
    uint16_t reg = 0;
    uint8_t words = 1;
    int64_t value = 0;
    Live live{};
    bool writable = false;
    bool held = false;  // written since start: live behaviour ends
    double origin = 0;  // Ramp: when it last started
  };
  int64_t SignalValue(size_t index, double t, int depth) const;
  static uint16_t Word(const Signal& s, int64_t value, uint16_t reg);

  std::vector<Signal> signals_;
  std::map<uint16_t, size_t> cells_;  // register -> signal
  bool everyRegister_ = false;
  std::unordered_map<uint16_t, uint16_t> plain_;  // registers of an every-register profile
  bool drift_ = true;
};

}  // namespace tamsu::sim
