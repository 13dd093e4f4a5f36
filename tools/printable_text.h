// Text from the registry as a console may show it. Needs no Windows header.
#pragma once

#include <string>

// Every control character (C0, DEL and the C1 range 0x80-0x9F) as \xNN, so
// that the text stays on one line and no escape sequence reaches the
// terminal: registry names and strings are written by whoever could write
// the key, and a terminal acts on the sequences it is sent.
std::wstring MakePrintableLine(const std::wstring& text);

// `text` in double quotes, as the tools' messages name a hotkey, a value or
// an event: "LWin+L".
std::wstring QuoteText(const std::wstring& text);
