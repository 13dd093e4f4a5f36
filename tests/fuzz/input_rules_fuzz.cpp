// Feeds arbitrary text to the rules that read outside input: the agent's
// command line and hotkey names, name comparison, and TarnwickCtl's arguments
// and value display. Built natively with libFuzzer and the sanitizers; any
// crash, undefined behaviour or broken invariant ends the run.
#include "agent/blocking_rules.h"
#include "agent/hotkey_names.h"
#include "common/driver_config.h"
#include "common/names.h"
#include "tools/ctl_args.h"
#include "tools/registry_values.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// Two bytes a character, as on Windows.
std::wstring WideText(const std::uint8_t* data, size_t size)
{
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::wstring text = WideText(data, size);

    // The hotkey name is a tail of the command line.
    const wchar_t* name = HotkeyNameFromCommandLine(text.c_str());
    Check(name >= text.c_str() && name <= text.c_str() + text.size());
    const AgentHotkey hotkey = ClassifyHotkey(name);
    Check(NamesEqual(name, name));
    const std::wstring policyName = PolicyValueName(name);
    Check(hotkey == AgentHotkey::LWinL || hotkey == AgentHotkey::RWinL ? policyName == L"Win+L"
                                                                         : policyName == name);
    Check(HotkeySubkeyPath(name).size() == wcslen(kHotkeyKeyPath) + 1 + std::wstring(name).size());

    // TarnwickCtl: NUL-separated arguments, and the raw bytes as a value.
    std::vector<std::wstring> args;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\0', start)) != std::wstring::npos; start = end + 1) {
        args.push_back(text.substr(start, end - start));
    }
    args.push_back(text.substr(start));
    ParseCtlArgs(args);
    std::vector<std::uint8_t> bytes;
    if (ParseHexBytes(text, bytes)) {
        Check(bytes.size() <= text.size() / 2);
    }
    if (size > 0) {
        const std::uint32_t types[] = {kTypeSz, kTypeExpandSz, kTypeBinary, kTypeDword, kTypeQword, data[0]};
        const std::vector<std::uint8_t> raw(data + 1, data + size);
        for (std::uint32_t type : types) {
            FormatValue(type, raw);
            std::vector<std::uint8_t> encoded;
            std::wstring error;
            EncodeValueData(type, text, encoded, error);
        }
    }
    return 0;
}
