// Test support: the input desktop, substituted in the seam. Each open gives
// the next name of `names` (the last one repeats); a null name is a desktop
// that cannot be opened. Opened and closed desktops are counted. What it
// replaced is put back when it is destroyed.
#pragma once

#include "common/win32_api.h"

#include <vector>

class FakeDesktop {
public:
    explicit FakeDesktop(std::vector<const wchar_t*> names);
    FakeDesktop(const FakeDesktop&) = delete;
    FakeDesktop& operator=(const FakeDesktop&) = delete;

    bool zeroLength = false;         // the first read reports a length of 0
    bool secondReadFails = false;    // the read into the buffer fails
    bool withoutTerminator = false;  // the name comes without its NUL
    size_t reads = 0;
    int opened = 0;
    int closed = 0;

private:
    KWin32Substitutes substitutes_;
    const HDESK kHandle = reinterpret_cast<HDESK>(0xDE5C);
    std::vector<const wchar_t*> names_;
    const wchar_t* current_ = nullptr;
};
