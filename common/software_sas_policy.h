// The machine's "SoftwareSASGeneration" (common/software_sas.h), read through
// the `win32` table each time it is asked for: it is a policy, and Group
// Policy may change it at any moment.
#pragma once

#include "common/win32_api.h"

#include <optional>

// The value when it is a REG_DWORD of four bytes; nothing when it is absent,
// of another type or size, or cannot be read. Allocates nothing.
std::optional<DWORD> ReadSoftwareSasGeneration();

// Whether the policy lets services simulate the secure attention sequence.
bool ServicesMaySimulateSas();
