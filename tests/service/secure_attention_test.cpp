// The service's answer to the agent's request for the secure attention
// sequence (kSecureAttentionControl): when it takes it, when it refuses, and
// that SendSAS runs on a worker that a stop does not wait for. The machine
// policy is real (inside a RegistrySandbox); sas.dll and the worker thread
// are a FakeSas.
#include "common/software_sas.h"
#include "service/secure_attention.h"
#include "service/service_main.h"
#include "service/service_registration.h"
#include "tests/service/service_fakes.h"
#include "tests/support/fake_sas.h"
#include "tests/support/registry_sandbox.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using Calls = std::vector<std::string>;

namespace {

DWORD SendTheControl()
{
    return ServiceCtrlHandler(kSecureAttentionControl, 0, nullptr, nullptr);
}

void AllowServices()
{
    RegistrySandbox::SetDword(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, kSoftwareSasGeneration, 1);
}

class SecureAttentionRequest : public ::testing::Test {
protected:
    RegistrySandbox sandbox;
    FreshServiceRun run;
};

TEST_F(SecureAttentionRequest, TakenOnlyWhenThePolicyLetsServicesAndThenSendSasRunsOnceWithFalseOnAWorker)
{
    struct Case {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;  // empty with REG_NONE: no value
        bool taken;
    } const cases[] = {
        {"absent", REG_NONE, {}, false},
        {"0: nobody", REG_DWORD, {0, 0, 0, 0}, false},
        {"1: services", REG_DWORD, {1, 0, 0, 0}, true},
        {"2: Ease of Access applications", REG_DWORD, {2, 0, 0, 0}, false},
        {"3: both", REG_DWORD, {3, 0, 0, 0}, true},
        {"REG_SZ \"1\"", REG_SZ, {'1', 0, 0, 0}, false},
        {"REG_QWORD 1", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, false},
        {"REG_BINARY of four bytes", REG_BINARY, {1, 0, 0, 0}, false},
        {"REG_DWORD of two bytes", REG_DWORD, {1, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegistrySandbox scratch;
        if (c.type != REG_NONE) {
            RegistrySandbox::SetValue(HKEY_LOCAL_MACHINE, kSystemPoliciesKeyPath, kSoftwareSasGeneration, c.type,
                                      c.data.data(), static_cast<DWORD>(c.data.size()));
        }
        FakeSas sas;
        const DWORD answer = SendTheControl();
        if (!c.taken) {
            EXPECT_EQ(answer, static_cast<DWORD>(ERROR_ACCESS_DISABLED_BY_POLICY));
            EXPECT_TRUE(sas.Calls().empty()) << "sas.dll is not even loaded";
            continue;
        }
        EXPECT_EQ(answer, static_cast<DWORD>(NO_ERROR));
        // Loaded from the system folder only, and only looked up while the
        // handler runs: the call itself waits for the worker.
        EXPECT_THAT(sas.Calls(), ElementsAre("load sas.dll 0x800", "find SendSAS", "thread"));
        EXPECT_EQ(sas.References(), 1) << "the worker holds the module";
        EXPECT_EQ(sas.RunWorkers(), 1u);
        EXPECT_THAT(sas.SendSasCalls(), ElementsAre(FALSE));
        EXPECT_EQ(sas.References(), 0) << "the worker gives the module back";
    }
}

TEST_F(SecureAttentionRequest, RefusedWithTheReasonWhenSasDllSendSasOrTheWorkerIsMissing)
{
    struct Case {
        const char* what;
        void (*arrange)(FakeSas&);
        DWORD answer;
        Calls calls;
    } const cases[] = {
        {"no sas.dll in the system folder", [](FakeSas& sas) { sas.present = false; },
         static_cast<DWORD>(ERROR_MOD_NOT_FOUND), {"load sas.dll 0x800"}},
        {"no SendSAS in it", [](FakeSas& sas) { sas.exportsSendSas = false; },
         static_cast<DWORD>(ERROR_PROC_NOT_FOUND), {"load sas.dll 0x800", "find SendSAS", "free"}},
        {"no worker thread", [](FakeSas& sas) { sas.threadFails = true; },
         static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), {"load sas.dll 0x800", "find SendSAS", "thread", "free"}},
    };
    AllowServices();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSas sas;
        c.arrange(sas);
        EXPECT_EQ(SendTheControl(), c.answer);
        EXPECT_EQ(sas.RunWorkers(), 0u);
        EXPECT_EQ(sas.Calls(), c.calls);
        EXPECT_TRUE(sas.SendSasCalls().empty());
        EXPECT_EQ(sas.References(), 0);
    }
}

TEST_F(SecureAttentionRequest, AFailedCallThatLeavesNoErrorIsStillARefusal)
{
    AllowServices();
    FakeSas sas;
    win32.LoadLibraryExW = [](LPCWSTR, HANDLE, DWORD) -> HMODULE {
        ::SetLastError(NO_ERROR);
        return nullptr;
    };
    EXPECT_NE(HandleSecureAttentionRequest(), static_cast<DWORD>(NO_ERROR));
}

// SendSAS that does not return holds neither the control handler nor a stop:
// the service stops while the worker is still in SendSAS.
TEST_F(SecureAttentionRequest, AStopDoesNotWaitForAWorkerThatIsStillInSendSas)
{
    AllowServices();
    RegistrySandbox::SetString(HKEY_LOCAL_MACHINE, HotkeySubkey(UniqueHotkey(L"Idle")), L"run", L"");
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    {
        FakeSas sas;
        sas.realThreads = true;
        sas.sendSasBlocksOn = release;
        ServiceThread service;
        service.WaitUntilWaiting();

        EXPECT_EQ(SendTheControl(), static_cast<DWORD>(NO_ERROR));
        for (int i = 0; i < 500 && sas.SendSasCalls().empty(); ++i) {
            Sleep(10);
        }
        ASSERT_THAT(sas.SendSasCalls(), ElementsAre(FALSE)) << "the worker is in SendSAS";
        service.Stop();
        ExpectStoppedAndReleased(run.recorder.Reports());
        EXPECT_EQ(sas.References(), 1) << "the worker still holds sas.dll";

        SetEvent(release);
        for (int i = 0; i < 500 && sas.References() != 0; ++i) {
            Sleep(10);
        }
        EXPECT_EQ(sas.References(), 0);
    }
    CloseHandle(release);
}

}  // namespace
