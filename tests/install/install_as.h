// "/install" (or another switch) in this process, as the program at
// `program` would run it, for tests against Wine's service manager. Wine
// keeps no owner or access list of a file: it reports every file as owned by
// its user, who may do anything with it, so the real program refuses
// "/install" in any folder there (as Windows would for a folder that a user
// owns). Here the program's path is `program`'s and its folders are
// protected ones (FakeFileSecurity::kProtected); every other call is real.
#pragma once

#include <string>

int RunCommandLineModeAs(const std::wstring& program, const wchar_t* argument);
