// What the service manager knows of the service TarnwickSvc.
#pragma once

#include "common/service_query.h"

#include <string>

// The service TarnwickSvc, its status and its registration.
ServiceFacts QueryTarnwickService();

// The folder of the program that a registered image path starts.
std::wstring FindImageFolder(const std::wstring& imagePath);

// The folder of this program's own file.
std::wstring FindOwnFolder();
