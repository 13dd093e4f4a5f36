#include "common/win32_api.h"

Win32Api& win32 = *new Win32Api;
