// Windows Installer's records, properties and messages, in memory, in the
// `win32` seam for the lifetime of the object: the session handle is
// kInstall; every record made is tracked until it is closed. Strict (the
// default): every other Windows call fails the test (KStrictWin32Override);
// otherwise the table is left as it is around the Windows Installer
// functions, for a test that names its own real calls.
#pragma once

#include "common/win32_api.h"
#include "tests/support/strict_win32.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

class FakeInstaller {
public:
    static constexpr MSIHANDLE kInstall = 0x10;

    explicit FakeInstaller(bool strict = true);
    FakeInstaller(const FakeInstaller&) = delete;
    FakeInstaller& operator=(const FakeInstaller&) = delete;

    struct Message {
        INSTALLMESSAGE kind;
        std::vector<std::wstring> fields;
    };

    bool refuseRecord = false;
    bool refuseMessage = false;
    std::map<MSIHANDLE, std::vector<std::wstring>> records;  // the open ones
    std::vector<Message> messages;
    std::map<std::wstring, std::wstring> properties;
    int propertyReads = 0;

    // Field 1 of every message of `kind` (its type bits), one a line.
    std::wstring Lines(INSTALLMESSAGE kind) const;

private:
    std::optional<KStrictWin32Override> strict_;
    KWin32Substitutes substitutes_;
    MSIHANDLE lastRecord = 0x100;
};
