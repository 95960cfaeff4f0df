#include "serial/telnet.h"

namespace tamsu::telnet {

void EncodeData(const uint8_t* data, size_t n, std::vector<uint8_t>& out) {
  out.reserve(out.size() + n);
  for (size_t i = 0; i < n; ++i) {
    out.push_back(data[i]);
    if (data[i] == kIac) out.push_back(kIac);
  }
}

void EncodeComPort(uint8_t command, const uint8_t* value, size_t n, std::vector<uint8_t>& out) {
  out.insert(out.end(), {kIac, kSb, kComPort, command});
  EncodeData(value, n, out);
  out.insert(out.end(), {kIac, kSe});
}

void EncodeSetBaudRate(uint32_t baud, std::vector<uint8_t>& out) {
  const uint8_t value[4] = {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                            static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)};
  EncodeComPort(kSetBaudRate, value, sizeof value, out);
}

void Codec::Start(std::vector<uint8_t>& out) {
  for (uint8_t option : {kBinary, kSuppressGoAhead}) {
    out.insert(out.end(), {kIac, kWill, option, kIac, kDo, option});
    Us(option) = Q::WantYes;
    Him(option) = Q::WantYes;
  }
  out.insert(out.end(), {kIac, kWill, kComPort});
  Us(kComPort) = Q::WantYes;
}

Codec::Q& Codec::Us(uint8_t option) {
  if (option == kBinary) return us_[0];
  if (option == kSuppressGoAhead) return us_[1];
  if (option == kComPort) return us_[2];
  other_ = Q::No;
  return other_;
}

Codec::Q& Codec::Him(uint8_t option) {
  if (option == kBinary) return him_[0];
  if (option == kSuppressGoAhead) return him_[1];
  other_ = Q::No;
  return other_;
}

void Codec::ForgetAcks() {
  ackedBaud_.reset();
  ackedDataSize_.reset();
  ackedParity_.reset();
  ackedStopSize_.reset();
}

// Answers follow RFC 1143, so two sides never loop: a request for a state already held is not
// answered, a refusal is acknowledged only when it changes something.
void Codec::OnCommand(uint8_t command, uint8_t option, std::vector<uint8_t>& answers) {
  const bool ours = option == kBinary || option == kSuppressGoAhead || option == kComPort;
  const bool his = option == kBinary || option == kSuppressGoAhead;
  switch (command) {
    case kDo: {
      if (!ours) {
        answers.insert(answers.end(), {kIac, kWont, option});
        break;
      }
      Q& q = Us(option);
      if (q == Q::No) answers.insert(answers.end(), {kIac, kWill, option});
      q = Q::Yes;
      if (option == kComPort) comPort_ = Agreement::Agreed;
      break;
    }
    case kDont: {
      Q& q = Us(option);
      if (q == Q::Yes) answers.insert(answers.end(), {kIac, kWont, option});
      q = Q::No;
      if (option == kComPort) comPort_ = Agreement::Refused;
      break;
    }
    case kWill: {
      if (!his) {
        answers.insert(answers.end(), {kIac, kDont, option});
        break;
      }
      Q& q = Him(option);
      if (q == Q::No) answers.insert(answers.end(), {kIac, kDo, option});
      q = Q::Yes;
      break;
    }
    case kWont: {
      Q& q = Him(option);
      if (q == Q::Yes) answers.insert(answers.end(), {kIac, kDont, option});
      q = Q::No;
      break;
    }
    default: break;
  }
}

void Codec::OnSubnegotiation() {
  // A truncated subnegotiation is the peer's nonsense; none of it is believed.
  if (subLength_ != sub_.size() || sub_.size() < 3 || sub_[0] != kComPort) return;
  const uint8_t* value = sub_.data() + 2;
  const size_t n = sub_.size() - 2;
  switch (sub_[1]) {
    case kServerOffset + kSetBaudRate:
      if (n == 4)
        ackedBaud_ = static_cast<uint32_t>(value[0]) << 24 | static_cast<uint32_t>(value[1]) << 16 |
                     static_cast<uint32_t>(value[2]) << 8 | value[3];
      break;
    case kServerOffset + kSetDataSize:
      if (n == 1) ackedDataSize_ = value[0];
      break;
    case kServerOffset + kSetParity:
      if (n == 1) ackedParity_ = value[0];
      break;
    case kServerOffset + kSetStopSize:
      if (n == 1) ackedStopSize_ = value[0];
      break;
    default: break;  // line and modem state notices, acknowledgements of nothing we asked
  }
}

void Codec::Decode(const uint8_t* in, size_t n, std::vector<uint8_t>& data, std::vector<uint8_t>& answers) {
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = in[i];
    switch (state_) {
      case State::Data:
        if (b == kIac) {
          state_ = State::Iac;
        } else {
          data.push_back(b);
        }
        break;
      case State::Iac:
        if (b == kIac) {
          data.push_back(kIac);
          state_ = State::Data;
        } else if (b == kDo || b == kDont || b == kWill || b == kWont) {
          command_ = b;
          state_ = State::Option;
        } else if (b == kSb) {
          sub_.clear();
          subLength_ = 0;
          state_ = State::Sub;
        } else {
          state_ = State::Data;  // NOP, go-ahead, break and the rest mean nothing on this line
        }
        break;
      case State::Option:
        OnCommand(command_, b, answers);
        state_ = State::Data;
        break;
      case State::Sub:
        if (b == kIac) {
          state_ = State::SubIac;
        } else {
          if (sub_.size() < kMaxSubnegotiation) sub_.push_back(b);
          ++subLength_;
        }
        break;
      case State::SubIac:
        if (b == kIac) {
          if (sub_.size() < kMaxSubnegotiation) sub_.push_back(kIac);
          ++subLength_;
          state_ = State::Sub;
        } else if (b == kSe) {
          OnSubnegotiation();
          state_ = State::Data;
        } else {
          // IAC and a command inside a subnegotiation: it was never closed. Drop it and take
          // the command as one.
          state_ = State::Iac;
          --i;
        }
        break;
    }
  }
}

}  // namespace tamsu::telnet
