#pragma once

#include <QtGlobal>

// The bytes of the device protocol. The device leads, one byte at a time; we only answer.
//
//   read one object:  172 -> (nothing), 172 -> 0x55, 202 -> high, 202 -> low, value
//   write one object: 172 -> (nothing), 172 -> 0xAA, 202 -> high, 202 -> low,
//                     202 -> value byte, 202 -> (nothing); then the object is read back
namespace orvel::protocol {

inline constexpr quint8 kReady = 172;        // 0xAC: the device waits for a command
inline constexpr quint8 kAcknowledge = 202;  // 0xCA: the device took our last byte
inline constexpr char kReadCommand = 0x55;
inline constexpr char kWriteCommand = char(0xAA);

}  // namespace orvel::protocol
