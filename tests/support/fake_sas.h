// Test support: sas.dll as the service finds it, in the `win32` table for
// the lifetime of the object (what it replaced is put back when it is
// destroyed). LoadLibraryExW of "sas.dll" gives a module that is no real
// one, GetProcAddress of "SendSAS" a function that records its argument,
// FreeLibrary gives a reference back; CreateThread keeps the worker that the
// service starts, to be run by RunWorkers on the test's thread (so that a
// fault sweep counts its calls too), or starts it on a real thread.
#pragma once

#include "common/win32_api.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

class FakeSas {
public:
    FakeSas();
    ~FakeSas();
    FakeSas(const FakeSas&) = delete;
    FakeSas& operator=(const FakeSas&) = delete;

    // Configuration, read at each call.
    bool present = true;             // LoadLibraryExW finds sas.dll
    bool exportsSendSas = true;      // GetProcAddress finds SendSAS
    bool threadFails = false;        // CreateThread fails
    bool realThreads = false;        // workers start at once on real threads
    HANDLE sendSasBlocksOn = nullptr;  // an event that SendSAS waits for, when given

    // Runs the workers kept so far, in the order they were started, on the
    // calling thread; returns how many ran.
    size_t RunWorkers();

    // What happened: "load sas.dll 0x800", "SendSAS" looked up ("find
    // SendSAS"), "thread", "SendSAS 0" (the argument), "free"; in order.
    std::vector<std::string> Calls() const;
    // The arguments of every SendSAS call.
    std::vector<BOOL> SendSasCalls() const;
    // References loaded and not yet given back.
    int References() const;

private:
    static void WINAPI SendSas(BOOL asUser);
    void Note(const std::string& call);

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<BOOL> sendSasCalls_;
    int references_ = 0;
    std::vector<std::pair<LPTHREAD_START_ROUTINE, LPVOID>> workers_;
    KWin32Substitutes substitutes_;
};
