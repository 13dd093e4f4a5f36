// What TarnwickCtl reads of the machine policy "SoftwareSASGeneration"
// (common/software_sas.h), for check and status.
#pragma once

#include "tools/check/check_rules.h"

#include <cstdint>

struct SoftwareSasReading {
    // 0 when the value was read or found absent (`stored.present` tells
    // which); otherwise the registry error that kept it from being read.
    std::uint32_t error = 0;
    StoredValue stored;
};

// Reads the value as stored, of whatever type and size, through the `win32`
// table.
SoftwareSasReading ReadSoftwareSasPolicy();
