#include "service/service_state.h"

SERVICE_STATUS_HANDLE StatusHandle = nullptr;
SERVICE_STATUS ServiceStatus = {};
DWORD CheckPointCounter = 1;
HANDLE StopEvent = nullptr;
KCriticalSection ServiceLock;
