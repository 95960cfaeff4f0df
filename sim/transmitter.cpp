#include "sim/transmitter.h"

#include "modbus/frames.h"

namespace tamsu::sim {
namespace {

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

void PutWord(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
  const uint16_t crc = Crc16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

}  // namespace

std::string_view ProtocolName(Protocol p) {
  switch (p) {
    case Protocol::Legacy: return "legacy";
    case Protocol::Any255: return "any255";
    case Protocol::Any0: return "any0";
    case Protocol::Modbus: return "modbus";
  }
  return "modbus";
}

std::optional<Protocol> ParseProtocol(std::string_view name) {
  for (Protocol p : {Protocol::Legacy, Protocol::Any255, Protocol::Any0, Protocol::Modbus}) {
    if (ProtocolName(p) == name) return p;
  }
  return std::nullopt;
}

size_t RequestLength(const uint8_t* b, size_t n) {
  if (n < 2) return kNeedMore;
  if (b[0] == 0xFD && b[1] == 0xFD) {
    if (n < 3) return kNeedMore;
    if (b[2] == 0xFD) return 7;  // FD FD FD X Y CRC
  }
  switch (b[1]) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06:
      return 8;
    case 0x0F: case 0x10:
      return n < 7 ? kNeedMore : 9 + static_cast<size_t>(b[6]);
    default:
      return kBySilence;
  }
}

std::vector<uint8_t> ExceptionReply(uint8_t address, uint8_t function, uint8_t code) {
  return WithCrc({address, static_cast<uint8_t>(function | 0x80), code});
}

Transmitter::Transmitter(const Profile& profile, const DeviceConfig& config)
    : profileName_(profile.name), bank_(profile), config_(config) {}

bool Transmitter::CommBlock(uint16_t reg) const {
  const bool any = config_.protocol == Protocol::Any255 || config_.protocol == Protocol::Any0;
  return any && reg >= kCommBlockStart && reg < kCommBlockStart + kCommBlockCount;
}

std::optional<uint16_t> Transmitter::ReadRegister(uint16_t reg, double t) const {
  if (CommBlock(reg)) {
    switch (reg - kCommBlockStart) {
      case 0: return config_.address;
      case 1: {
        const int code = BaudCodeOf(config_.baud);
        return code < 0 ? uint16_t{0xFFFF} : static_cast<uint16_t>(code);
      }
      case 2: return config_.parity;
      case 3: return config_.status3;
      default: return config_.status4;
    }
  }
  if (!bank_.Exists(reg)) return std::nullopt;
  return bank_.Read(reg, t);
}

bool Transmitter::Available(uint32_t start, uint32_t count, bool write) const {
  if (start + count > 0x10000) return false;
  for (uint32_t r = start; r < start + count; ++r) {
    const auto reg = static_cast<uint16_t>(r);
    if (CommBlock(reg)) continue;
    if (!bank_.Exists(reg) || (write && !bank_.Writable(reg))) return false;
  }
  return true;
}

bool Transmitter::ValidCommValue(uint16_t reg, uint16_t value) const {
  switch (reg - kCommBlockStart) {
    case 0: return value >= 1 && value <= 247;
    case 1: return BaudFromCode(value) != 0;
    case 2: return value <= 2;
    default: return true;
  }
}

void Transmitter::StoreComm(DeviceConfig& next, uint16_t reg, uint16_t value) const {
  switch (reg - kCommBlockStart) {
    case 0: next.address = static_cast<uint8_t>(value); break;
    case 1: next.baud = BaudFromCode(value); break;
    case 2: next.parity = static_cast<uint8_t>(value); break;
    case 3: next.status3 = value; break;
    default: next.status4 = value; break;
  }
}

Answer Transmitter::Handle(const uint8_t* frame, size_t n, double t) {
  if (!CheckReplyCrc(frame, n)) return {};
  if (n == 7 && frame[0] == 0xFD && frame[1] == 0xFD && frame[2] == 0xFD) {
    if (config_.protocol != Protocol::Legacy) return {};
    return Legacy(frame);
  }
  return Modbus(frame, n, t);
}

Answer Transmitter::Legacy(const uint8_t* frame) {
  const uint8_t x = frame[3];
  const uint8_t y = frame[4];
  Answer a;
  a.addressed = true;
  DeviceConfig next = config_;
  if (x == 0 && y != 0) {
    next.address = y;
  } else if (y == 0 && x >= 1 && x <= 3) {
    next.baud = BaudFromCode(x);
  } else if (x != 0 || y != 0) {
    return a;  // neither a query nor a change this device knows: no answer
  }
  const int code = BaudCodeOf(next.baud);
  a.reply = WithCrc({0xFD, 0xFD, 0xFD, static_cast<uint8_t>(code < 0 ? 0 : code), next.address});
  if (next.address != config_.address || next.baud != config_.baud) a.after = next;
  return a;
}

Answer Transmitter::Modbus(const uint8_t* f, size_t n, double t) {
  const uint8_t address = f[0];
  const uint8_t function = f[1];
  const bool own = address == config_.address ||
                   (config_.protocol == Protocol::Any255 && address == 255) ||
                   (config_.protocol == Protocol::Any0 && address == 0);
  const bool broadcast = !own && address == 0;
  Answer a;
  if (!own && !broadcast) return a;
  a.addressed = true;
  auto fail = [&](uint8_t code) {
    if (!broadcast) a.reply = ExceptionReply(address, function, code);
    return a;
  };

  // Every field is read only once the frame is known to hold it.
  switch (function) {
    case 0x03: {
      if (broadcast) return a;  // reads are never broadcast
      if (n != 8) return fail(kIllegalDataValue);
      const uint16_t start = Word(f + 2);
      const uint16_t count = Word(f + 4);
      if (count < 1 || count > 125) return fail(kIllegalDataValue);
      if (!Available(start, count, false)) return fail(kIllegalDataAddress);
      std::vector<uint8_t> r{address, function, static_cast<uint8_t>(2 * count)};
      for (uint32_t i = 0; i < count; ++i) {
        PutWord(r, ReadRegister(static_cast<uint16_t>(start + i), t).value_or(0));
      }
      a.reply = WithCrc(std::move(r));
      return a;
    }
    case 0x06: {
      if (n != 8) return fail(kIllegalDataValue);
      const uint16_t reg = Word(f + 2);
      const uint16_t value = Word(f + 4);
      if (!Available(reg, 1, true)) return fail(kIllegalDataAddress);
      if (CommBlock(reg)) {
        if (!ValidCommValue(reg, value)) return fail(kIllegalDataValue);
        DeviceConfig next = config_;
        StoreComm(next, reg, value);
        a.after = next;
      } else {
        bank_.Write(reg, value, t);
      }
      if (!broadcast) a.reply.assign(f, f + 8);
      return a;
    }
    case 0x10: {
      if (n < 9) return fail(kIllegalDataValue);
      const uint16_t start = Word(f + 2);
      const uint16_t count = Word(f + 4);
      const uint8_t bytes = f[6];
      if (count < 1 || count > 123 || bytes != 2 * count || n != 9 + static_cast<size_t>(bytes)) {
        return fail(kIllegalDataValue);
      }
      if (!Available(start, count, true)) return fail(kIllegalDataAddress);
      DeviceConfig next = config_;
      bool comm = false;
      for (uint16_t i = 0; i < count; ++i) {
        const auto reg = static_cast<uint16_t>(start + i);
        if (CommBlock(reg) && !ValidCommValue(reg, Word(f + 7 + 2 * i))) return fail(kIllegalDataValue);
      }
      for (uint16_t i = 0; i < count; ++i) {
        const auto reg = static_cast<uint16_t>(start + i);
        const uint16_t value = Word(f + 7 + 2 * i);
        if (CommBlock(reg)) {
          StoreComm(next, reg, value);
          comm = true;
        } else {
          bank_.Write(reg, value, t);
        }
      }
      if (comm) a.after = next;
      if (!broadcast) a.reply = WithCrc({address, function, f[2], f[3], f[4], f[5]});
      return a;
    }
    default:
      return fail(kIllegalFunction);
  }
}

}  // namespace tamsu::sim
