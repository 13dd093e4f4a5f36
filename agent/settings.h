// Whether configuration or policy switches off the local action of a hotkey.
#pragma once

// What blocks the local action of a hotkey: nothing, the hotkey's own
// "BlockLocal" (which is looked at first), or the Keyboard Filter policy.
enum class LocalBlock { None, BlockLocal, KeyboardFilterPolicy };

// "BlockLocal" of the hotkey's driver subkey, else the Keyboard Filter
// policy value of the hotkey, when it is 1. Both are read anew on every
// call; whatever cannot be read does not block.
LocalBlock LocalActionBlock(const wchar_t* hotkeyName);

// True when LocalActionBlock gives anything but None.
bool IsLocalActionBlocked(const wchar_t* hotkeyName);
