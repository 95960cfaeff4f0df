#include "serial/link.h"

#include "serial/receive_pump.h"

namespace tamsu {

Link::Link() {
  IncomingRing.Init();
  FrameRing.Init();
  pump_ = std::make_unique<ReceivePump>(*this);
}

Link::~Link() {
  pump_.reset();
  Port.Close();
  PortOpen.store(0);
}

void Link::ClosePort() {
  pump_->Exclusive([this] {
    Port.Close();
    PortOpen.store(0, std::memory_order_release);
  });
}

int Link::ReopenPort(const std::string& devicePath, uint32_t baudRate) {
  int opened = 0;
  pump_->Exclusive([&] {
    Port.Close();
    PortOpen.store(0, std::memory_order_release);
    Port.Configure(devicePath, 8, 0, 0, baudRate);
    opened = Port.Open() ? 1 : 0;
    PortOpen.store(opened, std::memory_order_release);
  });
  return opened;
}

uint16_t Link::ReadFrameBytes(uint8_t* dst, uint16_t max) { return tamsu::ReadFrameBytes(FrameRing, dst, max); }

void Link::DiscardInput() { ReadFrameBytes(RxFrame.data(), static_cast<uint16_t>(RxFrame.size())); }

bool Link::WaitForFrame(Clock::time_point deadline) { return pump_->WaitForFrame(deadline); }

bool Link::HungUp() const { return pump_->HungUp(); }

}  // namespace tamsu
