// Device profiles of the simulator: which holding registers a transmitter has, their initial
// values, whether the master may write them, and how live values move. A profile is plain
// data named after the device page that serves the transmitter; adding a transmitter means
// adding one table entry.
#pragma once

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tamsu::sim {

// How a live value moves with time (t in seconds since the device started).
struct Live {
  enum class Kind : uint8_t {
    Hold,    // keeps its value
    Sine,    // value + amplitude * sin(2 pi t / period)
    Cycle,   // (value + floor(t / period)) mod modulus: steps through a fixed set
    Follow,  // the value of register `source` (its whole 16- or 32-bit value) times `factor`
    Ramp,    // value + floor(amplitude * t): rises steadily; a write to register `source` (a
             // device's clearing command) starts it again from value
  };
  Kind kind = Kind::Hold;
  double amplitude = 0;
  double period = 0;
  uint32_t modulus = 0;
  uint16_t source = 0;
  double factor = 1;
};

constexpr Live Sine(double amplitude, double periodSeconds) {
  return Live{Live::Kind::Sine, amplitude, periodSeconds, 0, 0, 1};
}
constexpr Live Cycle(uint32_t modulus, double secondsPerStep) {
  return Live{Live::Kind::Cycle, 0, secondsPerStep, modulus, 0, 1};
}
constexpr Live Follow(uint16_t source, double factor) {
  return Live{Live::Kind::Follow, 0, 0, 0, source, factor};
}
constexpr Live Ramp(double perSecond, uint16_t resetBy) {
  return Live{Live::Kind::Ramp, perSecond, 0, 0, resetBy, 1};
}

enum class Access : uint8_t { Read, ReadWrite };

struct RegisterDef {
  uint16_t reg = 0;
  int64_t value = 0;  // negative values are stored as two's complement
  Access access = Access::Read;
  uint8_t words = 1;  // 2: a 32-bit value, high word at `reg`, low word at reg + 1
  Live live{};
};

// Table helpers, so a profile reads like the register table of its page.
constexpr RegisterDef Ro(uint16_t reg, int64_t value, Live live = {}) {
  return RegisterDef{reg, value, Access::Read, 1, live};
}
constexpr RegisterDef Rw(uint16_t reg, int64_t value, Live live = {}) {
  return RegisterDef{reg, value, Access::ReadWrite, 1, live};
}
constexpr RegisterDef Ro32(uint16_t reg, int64_t value, Live live = {}) {
  return RegisterDef{reg, value, Access::Read, 2, live};
}
constexpr RegisterDef Rw32(uint16_t reg, int64_t value, Live live = {}) {
  return RegisterDef{reg, value, Access::ReadWrite, 2, live};
}
// An IEEE-754 single over two registers, high word first (calibration coefficients).
constexpr RegisterDef RwFloat(uint16_t reg, float value) {
  return RegisterDef{reg, std::bit_cast<uint32_t>(value), Access::ReadWrite, 2, {}};
}

struct Profile {
  std::string name;         // the device page that serves this transmitter, or "generic"
  std::string description;  // one line for --list-profiles
  // true: every register 0..65535 exists and is writable (values as written, 0 until then);
  // the listed registers only give initial values and live behaviour.
  bool everyRegister = false;
  std::vector<RegisterDef> registers;
};

// Every profile, "generic" first.
const std::vector<Profile>& AllProfiles();
// nullptr when no profile has that name.
const Profile* FindProfile(std::string_view name);

// The tables, one per device category (profiles_<category>.cpp).
const std::vector<Profile>& GenericProfiles();
const std::vector<Profile>& ClimateProfiles();
const std::vector<Profile>& GasProfiles();
const std::vector<Profile>& SoilWeatherProfiles();
const std::vector<Profile>& ElectricalProfiles();
const std::vector<Profile>& WaterProfiles();
const std::vector<Profile>& MotionProfiles();

}  // namespace tamsu::sim
