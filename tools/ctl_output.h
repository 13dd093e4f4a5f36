// Where TarnwickCtl's output goes: the console (ctl_main.cpp) or, in tests,
// two strings. Needs no Windows header.
#pragma once

#include <string>

class KCtlOutput {
public:
    virtual ~KCtlOutput() = default;
    // Normal output; written at once, so that lines of a long-running verb
    // appear as they come.
    virtual void Out(const std::wstring& text) = 0;
    // Messages about failures and wrong arguments.
    virtual void Err(const std::wstring& text) = 0;
};

// Keeps everything written, for tests.
class KCollectedOutput : public KCtlOutput {
public:
    void Out(const std::wstring& text) override { out += text; }
    void Err(const std::wstring& text) override { err += text; }

    std::wstring out;
    std::wstring err;
};
