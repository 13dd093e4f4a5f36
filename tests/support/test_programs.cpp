#include "tests/support/test_programs.h"

#include <gtest/gtest.h>

#include <vector>

std::wstring BinDir()
{
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::wstring path(buffer.data(), length);
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

std::wstring BinPath(const std::wstring& file)
{
    return BinDir() + L"\\" + file;
}

std::wstring MakeScratchDir(const std::wstring& tag)
{
    static int counter = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    // Process ids repeat between runs: take the first name not used yet, so
    // the folder is always new and empty.
    for (;;) {
        std::wstring dir = std::wstring(temp) + L"tarnwick " + tag + L" " + std::to_wstring(GetCurrentProcessId()) +
                           L"-" + std::to_wstring(++counter);
        if (CreateDirectoryW(dir.c_str(), nullptr)) {
            return dir;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create a scratch folder, error " << GetLastError();
            return dir;
        }
    }
}

void CopyFileOrFail(const std::wstring& from, const std::wstring& to)
{
    ASSERT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE)) << "copy failed, error " << GetLastError();
}

std::wstring ReadTextFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::wstring();
    }
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
        bytes.append(chunk, read);
    }
    CloseHandle(file);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bytes.erase(0, 3);
    }
    const int chars = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], chars);
    return text;
}

std::wstring QuoteArgument(const std::wstring& text)
{
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : text) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

RunResult RunProgram(const std::wstring& commandLine, DWORD timeoutMs)
{
    RunResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        result.error = GetLastError();
        return result;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    result.started = CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                    &process) != FALSE;
    if (!result.started) {
        result.error = GetLastError();
    }
    CloseHandle(writeEnd);
    if (!result.started) {
        CloseHandle(readEnd);
        return result;
    }
    // Read the output on a separate thread so a chatty child cannot block.
    struct Reader {
        HANDLE pipe;
        std::string text;
        static DWORD WINAPI Run(LPVOID self)
        {
            auto* reader = static_cast<Reader*>(self);
            char chunk[4096];
            DWORD read = 0;
            while (ReadFile(reader->pipe, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
                reader->text.append(chunk, read);
            }
            return 0;
        }
    } reader{readEnd, std::string()};
    HANDLE thread = CreateThread(nullptr, 0, &Reader::Run, &reader, 0, nullptr);
    const DWORD waited = WaitForSingleObject(process.hProcess, timeoutMs);
    if (waited == WAIT_OBJECT_0) {
        result.finished = true;
        GetExitCodeProcess(process.hProcess, &result.exitCode);
    } else {
        result.error = waited == WAIT_FAILED ? GetLastError() : WAIT_TIMEOUT;
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 5000);
    }
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    CloseHandle(readEnd);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.output = reader.text;
    return result;
}
