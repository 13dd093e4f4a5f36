// Which image paths of the foreground process the agent may hand to the file
// system to learn their long form. Needs no Windows header.
#pragma once

// True only for a path on a drive letter ("X:\...") whose file name holds a
// "~": the one place where a short (8.3) name can stand for the name the
// client table knows. Every other path, and every UNC ("\\host\share\...",
// "\\?\UNC\...") or device path ("\\?\...", "\\.\..."), is compared by the
// file name it has, without asking the file system anything: following a
// path that names another computer would sign in to it with the caller's
// credentials.
bool ShortNameMayStand(const wchar_t* path);
