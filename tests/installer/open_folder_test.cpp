// The package's look at the folder that is to hold the programs: who else
// may change it or a folder above it, through the seam, since Wine keeps no
// access lists.
#include "installer/machine_state.h"
#include "tests/support/fake_file_security.h"
#include "tests/support/narrow_text.h"
#include "tests/support/text_contains.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// As Windows 10 gives them: C:\ lets Authenticated Users create folders
// (and CREATOR OWNER owns what it creates); C:\Program Files only the
// trusted.
const wchar_t kRoot[] = L"O:SYD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;;0x4;;;AU)"
                        L"(A;OICIIO;SDGXGWGR;;;AU)";
const wchar_t kProgramFiles[] = L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:PAI"
                                L"(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
                                L"(A;;0x1301bf;;;SY)(A;;0x1301bf;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)";
const wchar_t kUserFolder[] = L"O:S-1-5-21-1-2-3-1001D:(A;OICI;FA;;;S-1-5-21-1-2-3-1001)(A;OICI;FA;;;SY)";

TEST(WhoElseMayChangeFolder, NobodyForProgramFilesTheFoldersAboveOtherwise)
{
    struct Case {
        const char* what;
        std::map<std::wstring, std::wstring> sddl;
        std::map<std::wstring, DWORD> errors;
        const wchar_t* folder;
        const wchar_t* says;  // a part of the answer; empty: nobody else
    } const cases[] = {
        {"the default, not there yet",
         {{L"C:\\", kRoot}, {L"C:\\Program Files", kProgramFiles}},
         {{L"C:\\Program Files\\Tarnwick", ERROR_FILE_NOT_FOUND}},
         L"C:\\Program Files\\Tarnwick\\", L""},
        {"the default, installed already with the package's access list",
         {{L"C:\\", kRoot}, {L"C:\\Program Files", kProgramFiles}, {L"C:\\Program Files\\Tarnwick",
                                                                     FakeFileSecurity::kProtected}},
         {}, L"C:\\Program Files\\Tarnwick\\", L""},
        {"a folder that a user made below C:\\",
         {{L"C:\\", kRoot}, {L"C:\\Tools", kUserFolder}},
         {{L"C:\\Tools\\Tarnwick", ERROR_PATH_NOT_FOUND}},
         L"C:\\Tools\\Tarnwick\\", L"C:\\Tools: "},
        {"an access list that cannot be read",
         {{L"C:\\", kRoot}},
         {{L"C:\\Secret", ERROR_ACCESS_DENIED}, {L"C:\\Secret\\Tarnwick", ERROR_FILE_NOT_FOUND}},
         L"C:\\Secret\\Tarnwick\\", L"C:\\Secret: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeFileSecurity files;
        files.sddl = c.sddl;
        files.errors = c.errors;
        const std::wstring who = WhoElseMayChangeFolder(c.folder);
        if (*c.says == L'\0') {
            EXPECT_EQ(who, L"") << Narrow(who);
        } else {
            EXPECT_TRUE(Contains(who, c.says)) << Narrow(who);
        }
        EXPECT_EQ(files.Unfreed(), 0u);
    }
}

}  // namespace
