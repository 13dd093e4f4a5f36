// The service's entry, its main function and its control handler.
#pragma once

#include "common/win32_api.h"

// The program entry: command-line mode with exactly one argument, otherwise
// the service dispatcher. Returns the process exit code.
int ServiceProgramEntry(int argc, wchar_t** argv);

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);
DWORD WINAPI ServiceCtrlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);
void ReleaseServiceResources();
