#include "agent/keystroke_flags.h"

std::uint32_t KeystrokeFlags(std::uint8_t scanCode, unsigned extended, bool keyUp)
{
    std::uint32_t flags = 1;  // repeat count
    flags |= static_cast<std::uint32_t>(scanCode) << 16;
    flags |= static_cast<std::uint32_t>(extended & 1u) << 24;
    if (keyUp) {
        flags |= 0xC0000000u;  // previous key state and transition state
    }
    return flags;
}
