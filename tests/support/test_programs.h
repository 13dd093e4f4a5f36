// Test support: finding the built programs and running them.
#pragma once

#include <windows.h>

#include <string>

// The directory of the running test program (build/bin), no trailing
// separator. All programs of the build are placed there.
std::wstring BinDir();

// BinDir() + "\\" + file.
std::wstring BinPath(const std::wstring& file);

// A new, empty scratch directory under the temporary folder; `tag` becomes
// part of its name (it may hold blanks).
std::wstring MakeScratchDir(const std::wstring& tag);

// Copies a file; fails the test on error.
void CopyFileOrFail(const std::wstring& from, const std::wstring& to);

// Reads a whole UTF-8 or UTF-16LE text file (with BOM) written by a probe;
// empty when it does not exist.
std::wstring ReadTextFile(const std::wstring& path);

struct RunResult {
    bool started = false;
    bool finished = false;  // false: still running at the timeout, and killed
    DWORD exitCode = 0;     // the full 32-bit exit code
    std::string output;     // what it wrote to stdout and stderr
    DWORD error = 0;        // the Windows error when it could not be started or waited for
};

// One argument for a program's command line, quoted so that the program's
// argument parsing gives back exactly `text`.
std::wstring QuoteArgument(const std::wstring& text);

// Runs `commandLine` (program path quoted by the caller where needed), waits
// up to `timeoutMs`, and captures its output.
RunResult RunProgram(const std::wstring& commandLine, DWORD timeoutMs = 60000);

// Polls `condition` every 20 ms for up to `timeoutMs` of real time; for
// waiting on other processes only, never for testing timed logic.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs = 20000)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (GetTickCount64() >= end) {
            return false;
        }
        Sleep(20);
    }
}
