// Test support: what the file of a built program carries: its subsystem, its
// application manifest and its version resource.
#pragma once

#include <windows.h>

#include <string>

struct ProgramImage {
    bool loaded = false;   // false: the file could not be loaded as an image
    WORD subsystem = 0;    // the PE optional header's Subsystem (IMAGE_SUBSYSTEM_...)
    std::string manifest;  // the RT_MANIFEST resource of id 1, empty when there is none
};

ProgramImage ReadProgramImage(const std::wstring& path);

// Fails the test unless `manifest` is the application manifest of our
// programs: execution level asInvoker, no UI access, DPI-aware.
void ExpectApplicationManifest(const std::string& manifest);

struct VersionResource {
    bool present = false;  // false: no version resource, or none readable
    VS_FIXEDFILEINFO fixed = {};
    // The strings of the first language the resource lists.
    std::wstring fileVersion;
    std::wstring productVersion;
    std::wstring productName;
    std::wstring fileDescription;
    std::wstring originalFilename;
};

// Read as Explorer's file properties read it, with GetFileVersionInfoW and
// VerQueryValueW.
VersionResource ReadVersionResource(const std::wstring& path);
