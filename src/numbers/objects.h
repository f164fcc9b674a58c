#pragma once

// The device's memory as this program sees it: 8192 one-byte cells, addressed 0 to 8191.
// Cells 1 to 8175 hold the objects (one value byte each); 8176 to 8191 hold the device's
// settings, which no operation of ours writes.
namespace orvel::objects {

inline constexpr int kMemorySize = 8192;
inline constexpr int kFirst = 1;
inline constexpr int kLast = 8175;
inline constexpr int kFirstSetting = 8176;  // the repeat delay
inline constexpr int kLastSetting = 8191;   // R 15: repeater n is at kFirstSetting + n
inline constexpr int kRepeaters = 15;

// Whether a whole number names an object (and so a cell a write may program).
constexpr bool isObject(long long n) { return n >= kFirst && n <= kLast; }
// Whether a whole number names a cell of the device's memory.
constexpr bool isCell(long long n) { return n >= 0 && n <= kLastSetting; }

}  // namespace orvel::objects
