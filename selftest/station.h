// The station the self-test lays out, as an administrator installs the
// module, in a fresh folder whose name holds a space:
//   Integration Module\  the release's imdaemon.exe, nodeflags.dll and
//                        imcheck.exe, the application's two archives,
//                        java_file.dat naming the launcher, the object
//                        database and the application's bridge calls
//   NNM\bin\             the platform's ov.dll and ovw.dll and its process
//                        manager (the stand-ins), on the path of the
//                        programs the self-test runs
//   Java\bin\java.exe    the Java launcher: the application's stand-in
#ifndef SELFTEST_STATION_H
#define SELFTEST_STATION_H

#include <string>
#include <vector>

// The object database's boolean field, and the hosts the application sets
// through the bridge: two known, one the database does not hold. Each known
// host is seeded with the other value than the one it is set to, and the
// host the application leaves alone with true, so that every set changes a
// value and a set that lands on the wrong object shows.
extern const char szFlagField[];
struct FlagCall {
    const char *host;
    bool value;
    bool known;
};
extern const FlagCall flagCalls[3];
// A host of the database the application leaves alone, seeded true.
extern const char szUntouchedHost[];

struct Station {
    std::string root;     // with a trailing backslash, as every folder here
    std::string install;  // the install directory
    std::string platform; // NNM\bin
    std::string launcher; // Java\bin\java.exe
    // The station's mark, "imselftest.run" in its root, held open while the
    // run lives: a later run removes a station whose mark nobody holds (its
    // run was ended), unless the mark says it was kept.
    void *hMark = 0;
};

// The characters a station of this run adds below the folder it is laid out
// in, at the most: to its install directory, and to the longest path it or
// its programs make there.
size_t StationInstallLength();
size_t StationLongestPathLength();

// Removes, from base, the stations of earlier runs that were ended before
// they could remove them: only folders with a station's mark, that no live
// run holds and that were not kept. Names each removed, or left with why.
std::vector<std::string> RemoveStaleStations(const std::string &base);

// folder with a trailing backslash, as every folder here is held.
std::string WithSeparator(std::string folder);
std::wstring WithSeparator(std::wstring folder);

// The folder a station is made in by default: the user's temporary folder,
// when it exists.
bool DefaultStationBase(std::wstring &base, std::string &error);

// The folder as the daemon, an ANSI program, reaches it: its path when the
// ANSI code page holds it as it is, else its short name when that one does
// (shortNames false: as on a volume whose short names are switched off).
// False, with why, when neither does.
bool AnsiFolder(const std::wstring &folder, bool shortNames, std::string &ansi, std::string &why);

// Makes a fresh folder "imselftest station <n>" in base (a folder the caller
// found there, in the ANSI code page) and lays the station out there, with
// the release's binaries from folder release and the stand-ins from folder
// standIns. False with the reason when it cannot; what was made is in
// station.root then, for removing.
bool LayOutStation(const std::string &base, const std::wstring &release, const std::wstring &standIns,
                   Station &station, std::string &error);

// The install directory as the process manager passes it to the daemon:
// every space written %20.
std::string EncodedInstallDir(const Station &station);

// Marks the station kept (a later run leaves it alone) and lets its mark go.
void KeepStation(Station &station);

// Removes the station and all it holds, trying again for a while when a file
// is held (a program that just ended, a virus scanner); true only once the
// folder is gone. False with the reason when something stays.
bool RemoveStation(Station &station, std::string &error);

#endif
