// probe.exe OUTPUT-FILE [ARGS...]
//
// Writes a record of how it was started to OUTPUT-FILE, as UTF-16LE text with
// a byte-order mark: the full command line (GetCommandLineW) on the first
// line and the current directory on the second, each ended by "\n". The
// record is written to a temporary file next to OUTPUT-FILE and then renamed,
// so a reader sees either no file or the whole record. Also prints the two
// lines. Exit code 0 on success, 2 without an argument, 1 when the file
// cannot be written.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring CurrentDirectory()
{
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    return buffer.data();
}

bool WriteWholeFile(const std::wstring& path, const std::wstring& text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const std::wstring withBom = L"\xFEFF" + text;
    const DWORD bytes = static_cast<DWORD>(withBom.size() * sizeof(wchar_t));
    DWORD written = 0;
    const bool ok = WriteFile(file, withBom.data(), bytes, &written, nullptr) && written == bytes;
    return CloseHandle(file) && ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fwprintf(stderr, L"usage: probe OUTPUT-FILE [ARGS...]\n");
        return 2;
    }
    const std::wstring record = std::wstring(GetCommandLineW()) + L"\n" + CurrentDirectory() + L"\n";
    const std::wstring target = argv[1];
    const std::wstring temporary = target + L".tmp" + std::to_wstring(GetCurrentProcessId());
    if (!WriteWholeFile(temporary, record) ||
        !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        fwprintf(stderr, L"probe: cannot write %ls (error %lu)\n", target.c_str(), GetLastError());
        DeleteFileW(temporary.c_str());
        return 1;
    }
    fwprintf(stdout, L"%ls", record.c_str());
    return 0;
}
