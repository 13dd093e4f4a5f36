// What the service manager tells of one service: whether it is registered,
// how (type, start type, program) and in which state, with its exit codes.
// The one reading of the service manager for TarnwickCtl, TarnwickSmoke and
// the package's custom actions; the command-line mode of TarnwickSvc makes
// its own calls (service/install.h).
#pragma once

#include "common/win32_api.h"

#include <string>

struct ServiceFacts {
    bool managerOpened = false;
    bool installed = false;  // registered: the service could be opened
    DWORD error = 0;         // of the last call that failed, when one did
    bool statusRead = false;
    DWORD state = 0;            // SERVICE_STOPPED ...
    DWORD exitCode = 0;         // its Win32 exit code
    DWORD serviceExitCode = 0;  // its own, when exitCode is ERROR_SERVICE_SPECIFIC_ERROR
    bool configRead = false;
    DWORD serviceType = 0;   // SERVICE_WIN32_OWN_PROCESS ...
    DWORD startType = 0;     // SERVICE_AUTO_START ...
    std::wstring imagePath;  // as registered
};

// What is read: the status needs SERVICE_QUERY_STATUS, the registration
// SERVICE_QUERY_CONFIG; the service is opened with no more access than that.
enum class ServiceParts { Status, Registration, Both };

// Connects to the local service manager (SC_MANAGER_CONNECT), opens the
// service `name` and reads `parts` of it. Every handle is closed on return.
ServiceFacts QueryService(const wchar_t* name, ServiceParts parts = ServiceParts::Both);

// The status of an open service (QueryServiceStatusEx, SC_STATUS_PROCESS_INFO)
// into `facts`; on failure `facts.error` holds the error.
bool ReadServiceStatus(SC_HANDLE service, ServiceFacts& facts);

// The registration of an open service (QueryServiceConfigW) into `facts`;
// on failure `facts.error` holds the error.
bool ReadServiceRegistration(SC_HANDLE service, ServiceFacts& facts);
