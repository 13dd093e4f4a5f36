#include "tests/install/install_as.h"

#include "service/install.h"
#include "tests/support/fake_file_security.h"

#include <algorithm>

int RunCommandLineModeAs(const std::wstring& program, const wchar_t* argument)
{
    KWin32Override api;
    win32.GetModuleFileNameW = [program](HMODULE module, LPWSTR buffer, DWORD size) -> DWORD {
        if (module != nullptr || program.size() >= size) {
            return 0;
        }
        std::copy(program.begin(), program.end(), buffer);
        buffer[program.size()] = L'\0';
        return static_cast<DWORD>(program.size());
    };
    FakeFileSecurity files;
    return RunCommandLineMode(argument);
}
