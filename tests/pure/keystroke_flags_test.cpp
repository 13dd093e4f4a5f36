#include "agent/keystroke_flags.h"

#include <gtest/gtest.h>

TEST(KeystrokeFlags, HoldsRepeatScanExtendedAndReleaseBitsOnly)
{
    struct Case {
        std::uint8_t scan;
        unsigned extended;
        bool keyUp;
        std::uint32_t lParam;
    } const cases[] = {
        {0x5B, 1, false, 0x015B0001u},
        {0x5B, 1, true, 0xC15B0001u},
        {0x26, 0, false, 0x00260001u},
        {0x26, 0, true, 0xC0260001u},
        {0x38, 0, false, 0x00380001u},  // Alt: context code (bit 29) stays clear
        {0xFF, 1, true, 0xC1FF0001u},
        {0x00, 0, false, 0x00000001u},  // a key without a scan code
        {0x26, 2, false, 0x00260001u},  // only the lowest bit of the flag counts
        {0x26, 3, true, 0xC1260001u},
        {0x26, 0xFFFFFFFEu, true, 0xC0260001u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KeystrokeFlags(c.scan, c.extended, c.keyUp), c.lParam)
            << std::hex << "scan " << unsigned(c.scan) << " extended " << c.extended << " up " << c.keyUp;
    }
}
