// Reading registry values and names whatever their size: the one reader of
// the registry that the programs, the tool and the package's actions share
// wherever the calls are theirs to choose.
#pragma once

#include "common/win32_api.h"

#include <string>
#include <vector>

// A value's type and all of its data. The buffer is sized by a first call
// and read again for as long as the value grows in between
// (ERROR_MORE_DATA). ERROR_SUCCESS, or the error of the call that failed
// (ERROR_FILE_NOT_FOUND for a missing value); `type` and `data` are then
// left empty.
LONG ReadRegistryValue(HKEY key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data);

// A REG_SZ value as text (up to its first NUL; a value without one ends
// where its data ends). ERROR_SUCCESS; the error of the read; or
// ERROR_INVALID_DATATYPE for a value of another type.
LONG ReadRegistryString(HKEY key, const wchar_t* name, std::wstring& text);

// The names of a key's values (`values`) or of its subkeys (`subkeys`), in
// the order of the enumeration. ERROR_SUCCESS once the enumeration reached
// its end, or the error of the call that failed; `names` then holds what was
// read before it.
LONG ReadValueNames(HKEY key, std::vector<std::wstring>& names);
LONG ReadSubkeyNames(HKEY key, std::vector<std::wstring>& names);
