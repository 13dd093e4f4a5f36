// Starting a command line in the active console session, and the running
// program's own path.
#pragma once

#include <string>

constexpr unsigned long kPathChars = 4096;

// Starts `commandLine` in the active console session under the service's own
// token, with the program's directory as the working directory. Fire and
// forget: nothing is reported and the child's handles are closed at once.
void LaunchInConsoleSession(const wchar_t* commandLine);

// The full long path of the running program file, or empty.
std::wstring GetModulePath();

// The directory of that path (no trailing separator except for a drive
// root), or empty.
std::wstring GetModuleDirectory();
