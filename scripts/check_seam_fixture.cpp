// What scripts/check_seam.sh must and must not report (its --self-check):
// each call marked with an "expect" comment is a direct call of a function
// of the table, to be reported with that name on that line; nothing else
// here may be reported. This file is never compiled.
#include "common/win32_api.h"

void CallsThatBypassTheTable(HANDLE h, Other& other, Other* pointer, MSIHANDLE record, wchar_t* text)
{
    CreateEventW(nullptr, FALSE, FALSE, nullptr);  // expect: CreateEventW
    ::Sleep(10);  // expect: Sleep
    const DWORD id = GetWindowThreadProcessId  (nullptr, nullptr);  // expect: GetWindowThreadProcessId
    win32.CloseHandle(h); CloseHandle(h);  // expect: CloseHandle
    SetEvent(  // expect: SetEvent
        h);
    other.PostMessageW(nullptr, 0, 0, 0);  // expect: PostMessageW
    pointer->keybd_event(0, 0, 0, 0);  // expect: keybd_event
    mywin32.ResetEvent(h);  // expect: ResetEvent
    if (LockWorkStation()) {  // expect: LockWorkStation
    }
    MsiCloseHandle(record);  // expect: MsiCloseHandle
    FormatMessageW(0, nullptr, 0, 0, text, 0, nullptr);  // expect: FormatMessageW
}

void CallsThroughTheTableOrOfOtherFunctions(HANDLE h, MSIHANDLE record)
{
    win32.CreateEventW(nullptr, FALSE, FALSE, nullptr);
    win32 . Sleep(10);
    ::win32.SetEvent(h);
    win32.RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"CloseHandle(h)", 0, KEY_READ, nullptr);
    const char quote = '"'; win32.ResetEvent(h); const char* text = "Sleep(1) \" GetTickCount()";
    const auto previous = win32.GetTickCount;
    ReadWindowName(nullptr, win32.GetWindowTextW, nullptr);
    KernelHandleTraits::CloseHandle(h);
    win32.MsiCloseHandle(record);
    const KMsiHandle owned(win32.MsiCreateRecord(1));
    std::function<decltype(::Sleep)> slot;
    // CreateEventW(nullptr, FALSE, FALSE, nullptr) in a comment
    /* Sleep(1);
       GetTickCount(); */
    const wchar_t* raw = LR"x(Sleep(1) )" GetTickCount())x";
    MySleep(1);
    Sleep_(1);
    InitializeCriticalSection(nullptr);
}
