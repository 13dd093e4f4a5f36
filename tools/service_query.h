// What the service manager knows of the service TarnwickSvc.
#pragma once

#include <windows.h>

#include <string>

struct ServiceFacts {
    bool managerOpened = false;
    bool installed = false;
    DWORD error = 0;  // of the call that failed, when one did
    bool statusRead = false;
    DWORD state = 0;  // SERVICE_STOPPED ...
    DWORD exitCode = 0;
    bool configRead = false;
    std::wstring imagePath;  // as registered
};

ServiceFacts QueryTarnwickService();

// The folder of the program that a registered image path starts.
std::wstring ImageFolder(const std::wstring& imagePath);

// The folder of this program's own file.
std::wstring OwnFolder();
