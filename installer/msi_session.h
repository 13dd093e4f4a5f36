// The installer's side of a custom action: its properties and its lines in
// the installer log, through the `win32` table. `install` is the session
// handle that Windows Installer passes to the action; it stays Windows
// Installer's own.
#pragma once

#include "common/win32_api.h"

#include <string>

// One line into the installer log (and, for an error, the message shown in
// an interactive install). The text goes in as a record field, so brackets
// in it are not read as properties. The record is closed on every path.
void WriteMessage(MSIHANDLE install, INSTALLMESSAGE kind, const std::wstring& text);

// "Tarnwick: <text>" as an information line of the log.
void Log(MSIHANDLE install, const std::wstring& text);

// The property's value, whatever its length; empty when it is not set or
// cannot be read.
std::wstring GetProperty(MSIHANDLE install, const wchar_t* name);

// Sets the property (an empty value removes it).
void SetProperty(MSIHANDLE install, const wchar_t* name, const std::wstring& value);
