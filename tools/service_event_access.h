// Opening one of the service's named events from TarnwickCtl, which runs in
// a user's session: the service's objects live in the global namespace.
#pragma once

#include "common/handles.h"

#include <string>

// Opens the event `name` (as the service names it, without a namespace) with
// `access`, trying each of ServiceEventNamesToOpen(name) in turn. An empty
// owner when none opened; `error` then holds the error that tells why: the
// first that is not ERROR_FILE_NOT_FOUND (the event exists but cannot be
// opened), else ERROR_FILE_NOT_FOUND.
KHandle OpenServiceEvent(const std::wstring& name, DWORD access, DWORD& error);
