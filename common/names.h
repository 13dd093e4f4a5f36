// Name comparison used for switches, hotkey names, executable file names,
// window classes and texts, and desktop names: whole strings, without regard
// to case, folding only the ASCII letters A to Z. No locale, no trimming.
// Needs no Windows header.
#pragma once

#include <string>

wchar_t FoldAsciiCase(wchar_t c);

// True when both strings are equal under ASCII-only case folding. A null
// pointer equals nothing, not even another null pointer.
bool NamesEqual(const wchar_t* a, const wchar_t* b);
inline bool NamesEqual(const std::wstring& a, const wchar_t* b) { return NamesEqual(a.c_str(), b); }
