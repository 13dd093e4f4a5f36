#include "agent/settings.h"
#include "common/win32_api.h"
#include "tests/support/registry_sandbox.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::wstring kPolicy = L"SOFTWARE\\Policies\\Microsoft\\KeyboardFilter";

struct ValueForm {
    const char* what;
    DWORD type;
    std::vector<BYTE> data;
    bool blocks;
};

const ValueForm kForms[] = {
    {"REG_DWORD 1", REG_DWORD, {1, 0, 0, 0}, true},
    {"REG_DWORD 0", REG_DWORD, {0, 0, 0, 0}, false},
    {"REG_DWORD 2", REG_DWORD, {2, 0, 0, 0}, false},
    {"REG_QWORD 1", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, false},
    {"REG_SZ \"1\"", REG_SZ, {'1', 0, 0, 0}, false},
    {"REG_BINARY 01 00 00 00", REG_BINARY, {1, 0, 0, 0}, true},
    {"REG_BINARY 01", REG_BINARY, {1}, true},
    {"REG_BINARY 01 00", REG_BINARY, {1, 0}, true},
    {"REG_BINARY 01 01", REG_BINARY, {1, 1}, false},
    {"REG_BINARY empty", REG_BINARY, {}, false},
};

void Write(const std::wstring& path, const wchar_t* name, const ValueForm& form)
{
    RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, path, name, form.type, form.data.data(),
                              static_cast<DWORD>(form.data.size()));
}

// Wraps the registry reads: checks the arguments, counts opened and closed
// keys, and checks that every value is read into a buffer of four zeros.
// What it replaced is put back when it is destroyed.
class RegistryWatch {
public:
    RegistryWatch()
    {
        substitutes_.Replace(&Win32Api::RegOpenKeyExW,
                             [this](HKEY root, LPCWSTR path, DWORD options, REGSAM access, PHKEY key) {
            EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
            EXPECT_EQ(options, 0u);
            EXPECT_EQ(access, static_cast<REGSAM>(KEY_QUERY_VALUE));
            if (denied == path) {
                return static_cast<LONG>(ERROR_ACCESS_DENIED);
            }
            const LONG result = RegOpenKeyExW(root, path, options, access, key);
            if (result == ERROR_SUCCESS) {
                ++opened;
            }
            return result;
        });
        substitutes_.Replace(&Win32Api::RegCloseKey, [this](HKEY key) {
            ++closed;
            return RegCloseKey(key);
        });
        substitutes_.Replace(&Win32Api::RegQueryValueExW, [](HKEY key, LPCWSTR name, LPDWORD reserved,
                                                             LPDWORD type, LPBYTE data, LPDWORD size) {
            EXPECT_NE(data, nullptr);
            EXPECT_EQ(*size, 4u);
            EXPECT_EQ(data[0] | data[1] | data[2] | data[3], 0) << "the buffer starts as zeros";
            return RegQueryValueExW(key, name, reserved, type, data, size);
        });
    }

    std::wstring denied;
    int opened = 0;
    int closed = 0;

private:
    KWin32Substitutes substitutes_;
};

}  // namespace

TEST(IsLocalActionBlocked, EveryValueFormFromEitherSource)
{
    for (const ValueForm& form : kForms) {
        SCOPED_TRACE(form.what);
        {
            RegistrySandbox sandbox;
            RegistryWatch watch;
            Write(HotkeySubkey(L"LWin+L"), L"BlockLocal", form);
            EXPECT_EQ(IsLocalActionBlocked(L"LWin+L"), form.blocks) << "BlockLocal";
            EXPECT_EQ(IsLocalActionBlocked(L"LWIN+L"), form.blocks) << "BlockLocal, name in capitals";
            EXPECT_FALSE(IsLocalActionBlocked(L"RWin+L")) << "BlockLocal of another hotkey";
            EXPECT_EQ(watch.opened, watch.closed);
        }
        {
            RegistrySandbox sandbox;
            RegistryWatch watch;
            Write(kPolicy, L"Win+L", form);
            EXPECT_EQ(IsLocalActionBlocked(L"LWin+L"), form.blocks) << "policy";
            EXPECT_EQ(IsLocalActionBlocked(L"RWin+L"), form.blocks) << "policy";
            EXPECT_EQ(IsLocalActionBlocked(L"LWIN+L"), form.blocks) << "policy, name in capitals";
            EXPECT_FALSE(IsLocalActionBlocked(L"ctrl+alt+del")) << "policy of another hotkey";
            EXPECT_EQ(watch.opened, watch.closed);
        }
    }
}

TEST(IsLocalActionBlocked, SourcesCombineSoThatEitherOneBlocks)
{
    const ValueForm one = kForms[0];
    const ValueForm zero = kForms[1];
    struct Setting {
        std::wstring path;
        const wchar_t* name;
        ValueForm form;
    };
    struct Case {
        const char* what;
        std::vector<Setting> settings;
        const wchar_t* hotkey;
        bool blocked;
        const wchar_t* denied;  // a key that cannot be opened
    } const cases[] = {
        {"nothing configured", {}, L"LWin+L", false, nullptr},
        {"nothing configured", {}, L"ctrl+alt+del", false, nullptr},
        {"subkey without the value", {{HotkeySubkey(L"LWin+L"), L"Block", one}}, L"LWin+L", false, nullptr},
        {"policy key without the value", {{kPolicy, L"ctrl+alt+del", one}}, L"LWin+L", false, nullptr},
        {"BlockLocal of ctrl+alt+del", {{HotkeySubkey(L"ctrl+alt+del"), L"BlockLocal", one}}, L"ctrl+alt+del", true,
         nullptr},
        {"policy ctrl+alt+del", {{kPolicy, L"ctrl+alt+del", one}}, L"ctrl+alt+del", true, nullptr},
        {"policy value written in capitals", {{kPolicy, L"Ctrl+Alt+Del", one}}, L"ctrl+alt+del", true, nullptr},
        {"policy value named like the hotkey", {{kPolicy, L"LWin+L", one}}, L"LWin+L", false, nullptr},
        {"BlockLocal 0 does not lift policy 1",
         {{HotkeySubkey(L"LWin+L"), L"BlockLocal", zero}, {kPolicy, L"Win+L", one}}, L"LWin+L", true, nullptr},
        {"policy 0 does not lift BlockLocal 1",
         {{HotkeySubkey(L"RWin+L"), L"BlockLocal", one}, {kPolicy, L"Win+L", zero}}, L"RWin+L", true, nullptr},
        {"a subkey that cannot be opened still lets the policy block",
         {{HotkeySubkey(L"LWin+L"), L"BlockLocal", one}, {kPolicy, L"Win+L", one}}, L"LWin+L", true,
         L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey\\LWin+L"},
        {"a subkey that cannot be opened does not block",
         {{HotkeySubkey(L"LWin+L"), L"BlockLocal", one}}, L"LWin+L", false,
         L"SYSTEM\\CurrentControlSet\\services\\zqkbfiltr\\hotkey\\LWin+L"},
        {"a policy key that cannot be opened does not block", {{kPolicy, L"Win+L", one}}, L"LWin+L", false,
         L"SOFTWARE\\Policies\\Microsoft\\KeyboardFilter"},
        {"the name is used as received", {{HotkeySubkey(L"LWin+L"), L"BlockLocal", one}}, L"LWin+L ", false,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox sandbox;
        RegistryWatch watch;
        if (c.denied != nullptr) {
            watch.denied = c.denied;
        }
        for (const Setting& s : c.settings) {
            Write(s.path, s.name, s.form);
        }
        EXPECT_EQ(IsLocalActionBlocked(c.hotkey), c.blocked);
        EXPECT_EQ(watch.opened, watch.closed);
    }
}

namespace {

// What blocks is told, not only whether: "BlockLocal" first, as it is read
// first, then the Keyboard Filter policy.
TEST(LocalActionBlock, NamesTheSourceThatBlocks)
{
    const ValueForm one = kForms[0];
    struct Case {
        const char* what;
        bool blockLocal;
        bool policy;
        LocalBlock expected;
    } const cases[] = {
        {"neither", false, false, LocalBlock::None},
        {"BlockLocal", true, false, LocalBlock::BlockLocal},
        {"the policy", false, true, LocalBlock::KeyboardFilterPolicy},
        {"both", true, true, LocalBlock::BlockLocal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox sandbox;
        RegistryWatch watch;
        if (c.blockLocal) {
            Write(HotkeySubkey(L"RWin+L"), L"BlockLocal", one);
        }
        if (c.policy) {
            Write(kPolicy, L"Win+L", one);
        }
        EXPECT_EQ(LocalActionBlock(L"RWin+L"), c.expected);
        EXPECT_EQ(watch.opened, watch.closed);
    }
}

}  // namespace
