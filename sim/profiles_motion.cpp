// Vibration and tilt transmitters. Vibration readings move within seconds, as a running
// machine's do; the speed swings through zero, so its sign shows. Calibration values are
// writable and keep what the master writes.
#include <initializer_list>

#include "sim/profile.h"

namespace tamsu::sim {
namespace {

constexpr RegisterDef Temperature() { return Ro(0x0000, 253, Sine(15, 600)); }  // 25.3 degC
constexpr RegisterDef TemperatureCorrection() { return Rw(0x0050, 0); }

// Speed (0.1 mm/s, signed), stretch (0.1 um) and acceleration (0.1 m/s2) of one axis; the axes
// run a little apart.
constexpr RegisterDef Speed(uint16_t reg, int axis) { return Ro(reg, 12 + 3 * axis, Sine(20, 40 + 7 * axis)); }
constexpr RegisterDef Stretch(uint16_t reg, int axis) { return Ro(reg, 350 + 40 * axis, Sine(80, 90 + 11 * axis)); }
constexpr RegisterDef Acceleration(uint16_t reg, int axis) { return Ro(reg, 48 + 6 * axis, Sine(20, 45 + 5 * axis)); }

// The coefficients A (gain, 1) and B (offset, 0) of each quantity and axis at
// 96 + 12 quantity + 4 axis + 2 kind.
void AddCoefficients(std::vector<RegisterDef>& registers, std::initializer_list<int> axes) {
  for (int quantity = 0; quantity < 3; ++quantity)
    for (int axis : axes)
      for (int kind = 0; kind < 2; ++kind)
        registers.push_back(
            RwFloat(static_cast<uint16_t>(96 + 12 * quantity + 4 * axis + 2 * kind), kind == 0 ? 1.0f : 0.0f));
}

Profile SingleAxis() {
  Profile p{"VibrationSingleAxisPage",
            "vibration of one axis: temperature, speed, stretch, acceleration; Z coefficients",
            false,
            {Temperature(), Speed(0x0001, 2), Stretch(0x0002, 2), Acceleration(0x0003, 2), TemperatureCorrection()}};
  AddCoefficients(p.registers, {2});
  return p;
}

Profile ThreeAxis() {
  Profile p{"VibrationThreeAxisPage",
            "vibration of X, Y and Z with temperature, temperature correction and eighteen coefficients",
            false,
            {Temperature(), TemperatureCorrection()}};
  for (int axis = 0; axis < 3; ++axis) {
    const auto a = static_cast<uint16_t>(axis);
    p.registers.insert(p.registers.end(),
                       {Speed(0x0001 + a, axis), Stretch(0x0004 + a, axis), Acceleration(0x000A + a, axis)});
  }
  AddCoefficients(p.registers, {0, 1, 2});
  return p;
}

Profile Spectrum() {
  Profile p{"VibrationSpectrumPage", "spectrum vibration transmitter: temperature and X, Y, Z in registers 0-9",
            false, {Temperature()}};
  for (int axis = 0; axis < 3; ++axis) {
    const auto a = static_cast<uint16_t>(axis);
    p.registers.insert(p.registers.end(),
                       {Speed(0x0001 + a, axis), Stretch(0x0004 + a, axis), Acceleration(0x0007 + a, axis)});
  }
  return p;
}

}  // namespace

const std::vector<Profile>& MotionProfiles() {
  static const std::vector<Profile> table = {
      SingleAxis(),
      ThreeAxis(),
      Spectrum(),
      {"TiltSensorPage",
       "inclination transmitter: three angles (0.01 deg), installation method, zero-point commands",
       false,
       {
           Ro(0x0000, 150, Sine(300, 120)),   // AngleX 1.50
           Ro(0x0001, -230, Sine(200, 150)),  // AngleY -2.30
           Ro(0x0002, 45, Sine(20, 200)),     // AngleZ 0.45
           Rw(0x0052, 101),                   // installation: 101 horizontal, 102 vertical
           Rw(0x0053, 0),                     // zero point calibration command (0x0067)
           Rw(0x0054, 0),                     // Z axis zero point calibration command (0x0052)
       }},
  };
  return table;
}

}  // namespace tamsu::sim
