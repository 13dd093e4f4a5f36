// Test support: a key below HKEY_LOCAL_MACHINE of the real registry (not a
// sandbox), for tests of the real programs, which read it there. It must
// not exist when the test takes it; the test writes what it needs, and the
// key is deleted with everything in it at the end. Such tests run alone
// (LOCK).
#pragma once

#include <windows.h>

#include <string>

class ScratchMachineKey {
public:
    explicit ScratchMachineKey(const std::wstring& path);
    ~ScratchMachineKey();
    ScratchMachineKey(const ScratchMachineKey&) = delete;
    ScratchMachineKey& operator=(const ScratchMachineKey&) = delete;

    void Set(const std::wstring& name, DWORD type, const void* data, DWORD size) const;
    void SetString(const std::wstring& name, const std::wstring& text) const;
    void SetDword(const std::wstring& name, DWORD value) const;

private:
    std::wstring path_;
    bool existed_ = false;
};
