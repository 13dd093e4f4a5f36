#include "tests/support/program_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

ProgramImage ReadProgramImage(const std::wstring& path)
{
    ProgramImage image;
    const HMODULE module =
        LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) {
        return image;
    }
    image.loaded = true;
    // The low bits of a data-file module handle are flags, not part of the address.
    const BYTE* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module) & ~ULONG_PTR(3));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    image.subsystem = nt->OptionalHeader.Subsystem;
    const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    if (resource != nullptr) {
        const HGLOBAL loaded = LoadResource(module, resource);
        image.manifest.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, resource));
    }
    FreeLibrary(module);
    return image;
}

void ExpectApplicationManifest(const std::string& manifest)
{
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos) << manifest;
}

namespace {

std::wstring QueryString(std::vector<BYTE>& data, const wchar_t* block, const wchar_t* name)
{
    const std::wstring query = std::wstring(L"\\StringFileInfo\\") + block + L"\\" + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), query.c_str(), &value, &length) || value == nullptr || length == 0) {
        return std::wstring();
    }
    // The length counts the terminating zero.
    std::wstring text(static_cast<const wchar_t*>(value), length);
    const size_t end = text.find(L'\0');
    return end == std::wstring::npos ? text : text.substr(0, end);
}

}  // namespace

VersionResource ReadVersionResource(const std::wstring& path)
{
    VersionResource version;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return version;
    }
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) {
        return version;
    }
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
        return version;
    }
    version.fixed = *static_cast<const VS_FIXEDFILEINFO*>(value);
    struct Translation {
        WORD language;
        WORD codePage;
    };
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
        length < sizeof(Translation)) {
        return version;
    }
    const auto* translation = static_cast<const Translation*>(value);
    wchar_t block[9] = {};
    swprintf(block, 9, L"%04x%04x", translation->language, translation->codePage);
    version.present = true;
    version.fileVersion = QueryString(data, block, L"FileVersion");
    version.productVersion = QueryString(data, block, L"ProductVersion");
    version.productName = QueryString(data, block, L"ProductName");
    version.fileDescription = QueryString(data, block, L"FileDescription");
    version.originalFilename = QueryString(data, block, L"OriginalFilename");
    return version;
}
