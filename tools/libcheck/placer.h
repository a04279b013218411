#ifndef BRELO_PLACER_H
#define BRELO_PLACER_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// setup.exe's exit codes, here alone: CMake hands them to installer.nsi. 1 (cancelled by the user) is
// NSIS's own. A line "Name = code, // words" each; the words are README's.
enum SetupExit : int {
    SetupDone = 0, // all installed
    SetupRefused = 2, // the library or the folder was refused, nothing changed
    SetupNotWritten = 3, // a file could not be written (the cause named: a full disk, no access), nothing changed
    SetupInUse = 4, // a file to be replaced or removed is in use, nothing changed
};

// What the installers before the manifests kept in the registry about the vendor's files they copied:
// VendorDll, VendorDllSize and VendorCompanions ("a.dll|b.dll|").
struct PreviousVendorRecord
{
    bool copied = false;
    std::uintmax_t librarySize = 0;
    std::vector<std::string> companions;
};

// What a test makes of the placer's next change to the folder: let it happen, stop there as a kill
// would, or have it fail as the system can.
enum class Interference { None, Stop, NoSpace, Denied, InUse };
using Interferer = std::function<Interference()>;

struct Placement
{
    std::filesystem::path payload; // the package's files, the stand-in among them; empty: check only
    std::filesystem::path folder;
    std::filesystem::path library; // the vendor's VSDevNetSDK.dll to bring, empty for none
    PreviousVendorRecord previous;
    int programBits = int(sizeof(void *) * 8);
    Interferer beforeChange;
};

struct PlacerResult
{
    int exitCode = SetupDone;
    bool stopped = false;
    std::vector<std::string> messages; // UTF-8, a line each
};

// Puts the package and the library into folder as one transaction: every new file is staged beside its
// target, a journal is written, then the renames; a failure puts every file back, and a run that finds
// the journal of a killed one first finishes putting it back, so the folder holds one whole version.
PlacerResult placeFiles(const Placement &placement);
// The uninstaller's part, the same way: the recorded files still as installed go, the others are named.
PlacerResult removeInstalled(const std::filesystem::path &folder, const Interferer &beforeChange = {});

// A path a manifest may name: relative, below the folder, without "..", drive, stream, control
// character, a name Windows reads as a device or a name ending in a dot or a space.
bool isPlainRelativePath(const std::string &path);

#endif // BRELO_PLACER_H
