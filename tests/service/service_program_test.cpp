// The service program as built: its file, and a start from a console, where
// no service manager started it.
#include "common/handles.h"
#include "tests/support/narrow_text.h"
#include "tests/support/program_image.h"
#include "tests/support/test_programs.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// The names of every service the service manager knows, of any type and state.
std::set<std::wstring> RegisteredServices()
{
    std::set<std::wstring> names;
    KScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    EXPECT_NE(manager.get(), nullptr) << "error " << GetLastError();
    DWORD bytes = 0;
    DWORD returned = 0;
    DWORD resume = 0;
    EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_TYPE_ALL, SERVICE_STATE_ALL, nullptr, 0,
                          &bytes, &returned, &resume, nullptr);
    std::vector<BYTE> list(bytes);
    resume = 0;
    if (bytes != 0 && EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, SERVICE_TYPE_ALL,
                                            SERVICE_STATE_ALL, list.data(), bytes, &bytes, &returned, &resume,
                                            nullptr)) {
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(list.data());
        for (DWORD i = 0; i < returned; ++i) {
            names.insert(entries[i].lpServiceName);
        }
    }
    EXPECT_FALSE(names.empty()) << "the service manager lists no service";
    return names;
}

}  // namespace

TEST(ServiceProgram, IsAConsoleProgramWithTheApplicationManifest)
{
    const ProgramImage image = ReadProgramImage(BinPath(L"TarnwickSvc.exe"));
    ASSERT_TRUE(image.loaded);
    EXPECT_EQ(image.subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI);
    ASSERT_FALSE(image.manifest.empty());
    ExpectApplicationManifest(image.manifest);
}

// Started from a console with no argument, the program hands itself to the
// service dispatcher, which has no service manager to talk to: it exits with
// 0, says nothing, and neither registers nor starts a service. (Wine's
// dispatcher gives up only after about 10 s; Windows' at once.)
TEST(ServiceProgram, WithoutArgumentsFromAConsoleExitsQuietlyAndStartsNoService)
{
    const std::set<std::wstring> before = RegisteredServices();
    ASSERT_EQ(before.count(L"TarnwickSvc"), 0u) << "TarnwickSvc is left registered from elsewhere";

    const RunResult run = RunProgram(L"\"" + BinPath(L"TarnwickSvc.exe") + L"\"", 30000);
    ASSERT_TRUE(run.started) << "error " << run.error;
    ASSERT_TRUE(run.finished) << "still running after 30 s";
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.output, "");

    const std::set<std::wstring> after = RegisteredServices();
    EXPECT_EQ(after.count(L"TarnwickSvc"), 0u);
    for (const std::wstring& name : after) {
        EXPECT_EQ(before.count(name), 1u) << "registered since: " << Narrow(name);
    }
    KScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    KScHandle service(OpenServiceW(manager.get(), L"TarnwickSvc", SERVICE_QUERY_STATUS));
    const DWORD error = GetLastError();
    EXPECT_EQ(service.get(), nullptr);
    EXPECT_EQ(error, DWORD{ERROR_SERVICE_DOES_NOT_EXIST});
}
