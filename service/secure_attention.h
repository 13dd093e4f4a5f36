// The service's answer to kSecureAttentionControl: it calls SendSAS(FALSE)
// of sas.dll for the agent, which as an ordinary program may not.
#pragma once

#include "common/win32_api.h"

// Runs on the dispatcher thread, inside the control handler; returns at once.
// NO_ERROR when the request was taken: the policy lets services simulate the
// sequence, sas.dll of the system folder exports SendSAS, and a worker thread
// of its own makes the call. Otherwise the reason, and no call is made:
// ERROR_ACCESS_DISABLED_BY_POLICY when "SoftwareSASGeneration" does not let
// services, the loader's error when sas.dll or SendSAS is missing, the
// thread's error when no worker can be started. Takes no lock and allocates
// nothing.
DWORD HandleSecureAttentionRequest();
