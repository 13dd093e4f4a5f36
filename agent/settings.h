// Whether configuration or policy switches off the local action of a hotkey.
#pragma once

// True when "BlockLocal" of the hotkey's driver subkey, or the Keyboard
// Filter policy value of the hotkey, is 1. Both are read anew on every call;
// whatever cannot be read does not block.
bool IsLocalActionBlocked(const wchar_t* hotkeyName);
