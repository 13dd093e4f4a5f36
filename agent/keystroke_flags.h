// The lParam of a posted keystroke message. Needs no Windows header.
#pragma once

#include <cstdint>

// The lParam of a posted WM_KEYDOWN or WM_KEYUP: repeat count 1, the scan
// code in bits 16-23, the extended flag (only its lowest bit counts) in bit
// 24, the context code always 0, and bits 30 and 31 set for a release.
std::uint32_t KeystrokeFlags(std::uint8_t scanCode, unsigned extended, bool keyUp);
