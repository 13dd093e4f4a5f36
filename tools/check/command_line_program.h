// Which program a command line starts, as Windows finds it: the candidates
// that CreateProcess tries for a command whose program path is not quoted,
// the one that was meant, and the parts of a program path. Used by the check
// (the hotkeys' "run", the service's image path), by status and by
// TarnwickSmoke. Needs no Windows header.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The program part of a "run" command as Windows finds it when no program
// name is given apart from the command line.
struct CommandProgram {
    bool quoted = false;
    // Quoted: the one quoted path. Otherwise every text up to a blank or tab
    // and the whole command, in the order in which Windows tries them.
    std::vector<std::wstring> candidates;
};
CommandProgram ListProgramCandidates(const std::wstring& command);

// The candidate that was meant: the first that ends in .exe, .com, .bat or
// .cmd; without one, the last that was found; without that, the first.
size_t PickIntendedCandidate(const CommandProgram& program, const std::vector<bool>& found);

// "X:\..." or "\\...".
bool IsAbsolutePath(const std::wstring& path);
// The path with ".exe" added when its file name has no extension, as
// Windows looks for it.
std::wstring AddDefaultExtension(const std::wstring& path);
// The part after the last backslash or slash.
std::wstring TakeFileName(const std::wstring& path);
// The part before the last backslash or slash; empty when there is none.
std::wstring TakeFolder(const std::wstring& path);
// Whether a program path names the agent (TarnwickAgent.exe, or
// TarnwickAgent, which Windows completes with .exe), in any ASCII case.
bool IsAgentProgram(const std::wstring& program);

// The service's program, whose protection the check and status report,
// from its registered image path.
std::wstring FindRegisteredProgram(const std::wstring& imagePath);
