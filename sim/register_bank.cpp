#include "sim/register_bank.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tamsu::sim {

RegisterBank::RegisterBank(const Profile& profile) : everyRegister_(profile.everyRegister) {
  for (const RegisterDef& def : profile.registers) {
    Signal s;
    s.reg = def.reg;
    s.words = def.words == 2 ? 2 : 1;
    s.value = def.value;
    s.live = def.live;
    s.writable = def.access == Access::ReadWrite || everyRegister_;
    signals_.push_back(s);
    for (uint8_t w = 0; w < s.words; ++w) {
      cells_[static_cast<uint16_t>(def.reg + w)] = signals_.size() - 1;
    }
  }
}

bool RegisterBank::Exists(uint16_t reg) const { return everyRegister_ || cells_.count(reg) != 0; }

bool RegisterBank::Writable(uint16_t reg) const {
  if (auto it = cells_.find(reg); it != cells_.end()) return signals_[it->second].writable;
  return everyRegister_;
}

int64_t RegisterBank::SignalValue(size_t index, double t, int depth) const {
  const Signal& s = signals_[index];
  if (s.held) return s.value;
  const Live& l = s.live;
  switch (l.kind) {
    case Live::Kind::Hold:
      return s.value;
    case Live::Kind::Sine:
      if (!drift_ || l.period <= 0) return s.value;
      return s.value + std::llround(l.amplitude * std::sin(2 * std::numbers::pi * t / l.period));
    case Live::Kind::Cycle: {
      if (!drift_ || l.period <= 0 || l.modulus == 0) return s.value;
      const int64_t m = l.modulus;
      const int64_t v = s.value + static_cast<int64_t>(std::floor(t / l.period));
      return ((v % m) + m) % m;
    }
    case Live::Kind::Ramp:
      if (!drift_) return s.value;
      return s.value + static_cast<int64_t>(std::floor(l.amplitude * std::max(0.0, t - s.origin)));
    case Live::Kind::Follow: {
      auto it = cells_.find(l.source);
      if (it == cells_.end() || it->second == index || depth > 8) return s.value;
      return static_cast<int64_t>(static_cast<double>(SignalValue(it->second, t, depth + 1)) * l.factor);
    }
  }
  return s.value;
}

uint16_t RegisterBank::Word(const Signal& s, int64_t value, uint16_t reg) {
  const auto bits = static_cast<uint32_t>(static_cast<uint64_t>(value));
  if (s.words == 1) return static_cast<uint16_t>(bits);
  return reg == s.reg ? static_cast<uint16_t>(bits >> 16) : static_cast<uint16_t>(bits);
}

uint16_t RegisterBank::Read(uint16_t reg, double t) const {
  if (auto it = cells_.find(reg); it != cells_.end()) {
    const Signal& s = signals_[it->second];
    return Word(s, SignalValue(it->second, t, 0), reg);
  }
  if (auto it = plain_.find(reg); it != plain_.end()) return it->second;
  return 0;
}

bool RegisterBank::Write(uint16_t reg, uint16_t value, double t) {
  for (Signal& s : signals_)
    if (s.live.kind == Live::Kind::Ramp && s.live.source == reg) s.origin = t;
  if (auto it = cells_.find(reg); it != cells_.end()) {
    Signal& s = signals_[it->second];
    if (s.words == 1) {
      s.value = value;
    } else {
      auto bits = static_cast<uint32_t>(static_cast<uint64_t>(SignalValue(it->second, t, 0)));
      if (reg == s.reg) {
        bits = (bits & 0x0000FFFFu) | (static_cast<uint32_t>(value) << 16);
      } else {
        bits = (bits & 0xFFFF0000u) | value;
      }
      s.value = bits;
    }
    s.held = true;
    return true;
  }
  if (!everyRegister_) return false;
  plain_[reg] = value;
  return true;
}

}  // namespace tamsu::sim
