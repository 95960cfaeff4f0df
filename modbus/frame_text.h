// Frames put into words for the line traffic view and the simulator's verbose mode: what a
// request asks, what a reply says, and why a reply would be refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tamsu {

// "01 03 00 30 00 01 84 05"
std::string HexBytes(const uint8_t* bytes, size_t n);
// "03 read 0x0030 ×1 at 1", "06 write 0x0030 = 0x0163 (355) at 1", the configuration
// exchanges by name ("0xFD query", "comm block read at 255", ...).
std::string DescribeRequest(const uint8_t* request, size_t n);
// What a reply to `request` says ("values 0x00E6 (230)", "echo", the comm block's fields),
// or why it is refused ("bad CRC", "from address 2, asked 1", "exception 02: illegal data
// address", "3 bytes: too short", ...).
std::string DescribeReply(const uint8_t* reply, size_t n, const uint8_t* request, size_t requestLength);
// "success", "port not open", "no reply or bad format", "check value failure".
const char* ResultText(uint8_t result);
// The meaning of a Modbus exception code ("illegal data address"), or "unknown".
const char* ExceptionText(uint8_t code);

}  // namespace tamsu
