// The one reading of a service: registration, state and exit code, through
// a service manager in memory.
#include "common/service_query.h"
#include "tests/support/fake_service_manager.h"

#include <gtest/gtest.h>

namespace {

constexpr const wchar_t* kName = L"TarnwickSvc";

}  // namespace

TEST(QueryService, TellsRegistrationStateAndTheFailingCall)
{
    struct Case {
        const char* what;
        void (*setUp)(FakeServiceManager&);
        bool managerOpened, installed, statusRead, configRead;
        DWORD state, exitCode, error;
    } const cases[] = {
        {"manager refused", [](FakeServiceManager& scm) { scm.managerOpens = false; }, false, false, false, false, 0,
         0, ERROR_ACCESS_DENIED},
        {"not registered", [](FakeServiceManager&) {}, true, false, false, false, 0, 0, ERROR_SERVICE_DOES_NOT_EXIST},
        {"running", [](FakeServiceManager& scm) { scm.services[kName] = FakeService(); }, true, true, true, true,
         SERVICE_RUNNING, NO_ERROR, 0},
        {"stopped with an exit code",
         [](FakeServiceManager& scm) { scm.services[kName].replies = {{SERVICE_STOPPED, 0, ERROR_BAD_CONFIGURATION}}; },
         true, true, true, true, SERVICE_STOPPED, ERROR_BAD_CONFIGURATION, 0},
        {"state unreadable", [](FakeServiceManager& scm) { scm.services[kName].replies = {{0, 0}}; }, true, true,
         false, true, 0, 0, ERROR_ACCESS_DENIED},
        {"registration unreadable", [](FakeServiceManager& scm) { scm.services[kName].configFails = true; }, true,
         true, true, false, SERVICE_RUNNING, NO_ERROR, ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeServiceManager scm;
        scm.managerAccess = {SC_MANAGER_CONNECT};
        c.setUp(scm);
        if (scm.services.count(kName) != 0) {
            scm.services[kName].imagePath = L"\"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe\"";
        }
        const ServiceFacts facts = QueryService(kName);
        EXPECT_EQ(facts.managerOpened, c.managerOpened);
        EXPECT_EQ(facts.installed, c.installed);
        EXPECT_EQ(facts.statusRead, c.statusRead);
        EXPECT_EQ(facts.configRead, c.configRead);
        EXPECT_EQ(facts.state, c.state);
        EXPECT_EQ(facts.exitCode, c.exitCode);
        EXPECT_EQ(facts.error, c.error);
        if (c.configRead) {
            EXPECT_EQ(facts.imagePath, L"\"C:\\Program Files\\Tarnwick\\TarnwickSvc.exe\"");
            EXPECT_EQ(facts.serviceType, DWORD{SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS});
            EXPECT_EQ(facts.startType, DWORD{SERVICE_AUTO_START});
        }
    }
}

TEST(QueryService, OpensWithTheAccessOfWhatItReads)
{
    struct Case {
        ServiceParts parts;
        DWORD access;
        size_t statusQueries, configQueries;
    } const cases[] = {
        {ServiceParts::Status, SERVICE_QUERY_STATUS, 1, 0},
        {ServiceParts::Registration, SERVICE_QUERY_CONFIG, 0, 2},  // the size first, then the registration
        {ServiceParts::Both, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG, 1, 2},
    };
    for (const Case& c : cases) {
        FakeServiceManager scm;
        scm.managerAccess = {SC_MANAGER_CONNECT};
        scm.services[kName].imagePath = std::wstring(600, L'x');  // more than a guess of the size would hold
        const ServiceFacts facts = QueryService(kName, c.parts);
        EXPECT_EQ(scm.openAccess[kName], c.access);
        EXPECT_EQ(scm.Count("query TarnwickSvc"), c.statusQueries);
        EXPECT_EQ(scm.Count("config TarnwickSvc"), c.configQueries);
        EXPECT_EQ(facts.statusRead, c.statusQueries != 0);
        EXPECT_EQ(facts.imagePath, c.configQueries != 0 ? std::wstring(600, L'x') : std::wstring());
        EXPECT_EQ(scm.calls.back(), "close manager");
    }
}
