// The console output of the tools (TarnwickCtl, TarnwickSmoke).
#pragma once

#include "tools/ctl_output.h"

// Writes to a console as UTF-16, to a file or pipe as UTF-8, at once.
class KConsoleOutput : public KCtlOutput {
public:
    void Out(const std::wstring& text) override;
    void Err(const std::wstring& text) override;
};
