#include "common/driver_config.h"

#include "common/names.h"

std::wstring HotkeySubkeyPath(const wchar_t* name)
{
    return std::wstring(kHotkeyKeyPath) + L"\\" + (name != nullptr ? name : L"");
}

std::wstring HotkeyEventName(const wchar_t* name)
{
    return std::wstring(kHotkeyEventPrefix) + (name != nullptr ? name : L"");
}

bool HotkeyEventIsTheLogonMarker(const std::wstring& name)
{
    const std::wstring event = HotkeyEventName(name.c_str());
    const std::wstring marker = kLogonMarkerName;
    if (event.size() != marker.size()) {
        return false;
    }
    for (size_t i = 0; i < event.size(); ++i) {
        const wchar_t c = event[i] == L'\x0131' ? L'i' : FoldAsciiCase(event[i]);
        if (c != FoldAsciiCase(marker[i])) {
            return false;
        }
    }
    return true;
}

std::uint32_t DwordFromBytes(const std::uint8_t (&bytes)[4])
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::vector<std::wstring> ServiceEventNamesToOpen(const std::wstring& name)
{
    return {L"Global\\" + name, name};
}
