#ifndef BRELO_PLACER_H
#define BRELO_PLACER_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// setup.exe's exit codes, here alone; 1 (cancelled by the user) is NSIS's own.
enum SetupExit : int {
    SetupDone = 0,
    SetupRefused = 2, // the library or the folder cannot be used: nothing changed
    SetupNotWritten = 3, // a file could not be written, or one the installer must keep is in the way
    SetupInUse = 4, // a file to be replaced is held open: nothing changed
};

// What the installers before the manifests kept in the registry about the vendor's files they copied:
// VendorDll, VendorDllSize and VendorCompanions ("a.dll|b.dll|").
struct PreviousVendorRecord
{
    bool copied = false;
    std::uintmax_t librarySize = 0;
    std::vector<std::string> companions;
};

struct Placement
{
    std::filesystem::path payload; // the package's files, the stand-in among them; empty: check only
    std::filesystem::path folder;
    std::filesystem::path library; // the vendor's VSDevNetSDK.dll to bring, empty for none
    PreviousVendorRecord previous;
    int programBits = int(sizeof(void *) * 8);
    // Asked before each change to the folder; false stops there, as a kill would.
    std::function<bool()> beforeChange;
};

struct PlacerResult
{
    int exitCode = SetupDone;
    bool stopped = false;
    std::vector<std::string> messages; // UTF-8, a line each
};

// Puts the package and the library into folder, each file written beside its target and renamed over
// it, so that a stop anywhere leaves every file old or new and a new run completes the install.
PlacerResult placeFiles(const Placement &placement);
// The uninstaller's part: the recorded files still as installed go, the others are named.
PlacerResult removeInstalled(const std::filesystem::path &folder);

// A path a manifest may name: relative, below the folder, without "..", drive, stream or control character.
bool isPlainRelativePath(const std::string &path);

#endif // BRELO_PLACER_H
