#include "station.h"

#include <windows.h>

#include <cstring>

#include "ansi_text.h"
#include "ovw_store.h"
#include "transcript.h"

const char szFlagField[] = "isNodeFlagged";
const FlagCall flagCalls[3] = {{"router-1", true, true}, {"switch-2", false, true}, {"ghost-9", true, false}};
const char szUntouchedHost[] = "server-3";

std::string WithSeparator(std::string folder)
{
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/')
        folder += '\\';
    return folder;
}

std::wstring WithSeparator(std::wstring folder)
{
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/')
        folder += L'\\';
    return folder;
}

static std::string LastError(const std::string &what)
{
    return what + " (" + ErrorText(GetLastError()) + ")";
}

bool DefaultStationBase(std::wstring &base, std::string &error)
{
    wchar_t szTemp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, szTemp);
    if (n == 0 || n > MAX_PATH) {
        error = LastError("the temporary folder cannot be found");
        return false;
    }
    // The folder's name as the administrator knows it, not its short form.
    wchar_t szLong[MAX_PATH];
    n = GetLongPathNameW(szTemp, szLong, MAX_PATH);
    base = WithSeparator(std::wstring(n > 0 && n < MAX_PATH ? szLong : szTemp));
    // Nothing is made outside the station: a new account's temporary folder
    // may not have been made yet, and then the administrator chooses one.
    DWORD attributes = GetFileAttributesW(base.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = "the temporary folder " + Spelled(base) +
                " does not exist: give a folder to lay the station out in with --in";
        return false;
    }
    return true;
}

bool AnsiFolder(const std::wstring &folder, bool shortNames, std::string &ansi, std::string &why)
{
    if (ToAnsi(folder, ansi))
        return true;
    wchar_t szShort[MAX_PATH];
    DWORD n = shortNames ? GetShortPathNameW(folder.c_str(), szShort, MAX_PATH) : 0;
    if (n > 0 && n < MAX_PATH && ToAnsi(szShort, ansi)) {
        ansi = WithSeparator(ansi);
        return true;
    }
    why = "the folder " + Spelled(folder) + " holds letters the ANSI code page (" + std::to_string(GetACP()) +
          ") cannot, and " + (n > 0 && n < MAX_PATH ? "its short name too" : "it has no short name") +
          ": the daemon, an ANSI program, could not reach a station there; give --in a folder whose path the "
          "code page holds";
    return false;
}

static bool MakeFolder(const std::string &path, std::string &error)
{
    if (CreateDirectoryA(path.c_str(), 0))
        return true;
    error = LastError("cannot make the folder " + path);
    return false;
}

static bool CopyInto(const std::wstring &from, const std::string &to, std::string &error)
{
    if (CopyFileW(from.c_str(), FromAnsi(to).c_str(), TRUE))
        return true;
    error = LastError("cannot copy " + Spelled(from) + " to " + to);
    return false;
}

static bool WriteText(const std::string &path, const std::string &text, std::string &error)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_WRITE, 0, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, 0);
    DWORD written = 0;
    bool ok = hFile != INVALID_HANDLE_VALUE && WriteFile(hFile, text.data(), (DWORD)text.size(), &written, 0) &&
              written == text.size();
    if (!ok)
        error = LastError("cannot write " + path);
    if (hFile != INVALID_HANDLE_VALUE)
        CloseHandle(hFile);
    return ok;
}

static const char szMark[] = "imselftest.run";
static const char szMarkText[] = "a station of imselftest, removed by a later run once its own has ended\r\n";
static const char szKeptText[] = "kept\r\n";
enum { REMOVE_TRIES = 40, REMOVE_PAUSE_MS = 250 }; // ten seconds

static std::string StationName()
{
    return "imselftest station " + std::to_string(GetCurrentProcessId());
}

size_t StationInstallLength()
{
    return StationName().size() + sizeof "-100\\Integration Module\\" - 1;
}

size_t StationLongestPathLength()
{
    // The object database stand-in's new file, "<db>.new.<process id>.<n>",
    // its process id taken as long as this one's.
    return StationInstallLength() + sizeof "ovw-db.txt.new..100" - 1 +
           std::to_string(GetCurrentProcessId()).size();
}

bool LayOutStation(const std::string &base, const std::wstring &release, const std::wstring &standIns,
                   Station &station, std::string &error)
{
    // A fresh folder: another self-test's, or one kept, is never reused.
    std::string name = StationName();
    station.root.clear();
    for (int n = 1; station.root.empty(); ++n) {
        std::string root = WithSeparator(base) + name + (n > 1 ? "-" + std::to_string(n) : "");
        if (CreateDirectoryA(root.c_str(), 0))
            station.root = root + "\\";
        else if (GetLastError() != ERROR_ALREADY_EXISTS || n == 100) {
            error = LastError("cannot make a station folder in " + base);
            return false;
        }
    }
    // Held, with no sharing, until the station is removed or kept.
    HANDLE hMark = CreateFileA((station.root + szMark).c_str(), GENERIC_READ | GENERIC_WRITE, 0, 0, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, 0);
    DWORD written = 0;
    if (hMark == INVALID_HANDLE_VALUE || !WriteFile(hMark, szMarkText, sizeof szMarkText - 1, &written, 0)) {
        error = LastError("cannot write " + station.root + szMark);
        if (hMark != INVALID_HANDLE_VALUE)
            CloseHandle(hMark);
        return false;
    }
    station.hMark = hMark;
    station.install = station.root + "Integration Module\\";
    station.platform = station.root + "NNM\\bin\\";
    station.launcher = station.root + "Java\\bin\\java.exe";
    std::string java = station.root + "Java\\";
    if (!MakeFolder(station.install, error) || !MakeFolder(station.root + "NNM", error) ||
        !MakeFolder(station.platform, error) || !MakeFolder(java, error) || !MakeFolder(java + "bin", error) ||
        !MakeFolder(java + "bin\\server", error) || !MakeFolder(java + "lib", error))
        return false;
    // The runtime's files where a launcher looks for them, so that imcheck
    // finds the stand-in's runtime as it finds a real one; never loaded.
    if (!WriteText(java + "bin\\server\\jvm.dll", "MZ", error) ||
        !WriteText(java + "lib\\modules", "JIMAGE", error))
        return false;
    for (const char *binary : {"imdaemon.exe", "nodeflags.dll", "imcheck.exe"})
        if (!CopyInto(release + FromAnsi(binary), station.install + binary, error))
            return false;
    if (!CopyInto(standIns + L"ov.dll", station.platform + "ov.dll", error) ||
        !CopyInto(standIns + L"ovspmd-sim.exe", station.platform + "ovspmd-sim.exe", error) ||
        !CopyInto(standIns + L"ovw.dll", station.platform + "ovw.dll", error) ||
        !CopyInto(standIns + L"javaapp.exe", station.launcher, error))
        return false;
    // The application's archives are never opened by its stand-in: their
    // names on the class path are what counts.
    for (const char *archive : {"quorel-im.jar", "vesk-ui.jar"})
        if (!WriteText(station.install + archive, "PK", error))
            return false;
    if (!WriteText(station.install + "java_file.dat", station.launcher + "\r\n", error))
        return false;

    OvwStore store;
    store.fields[1] = OvwField{szFlagField, true};
    store.fields[2] = OvwField{"vendor", false};
    unsigned int id = 1000;
    for (const FlagCall &call : flagCalls)
        if (call.known) {
            store.objects[++id] = call.host;
            store.values[std::make_pair(id, 1u)] = call.value ? 0 : 1;
        }
    store.objects[++id] = szUntouchedHost;
    store.values[std::make_pair(id, 1u)] = 1;
    if (!OvwSave(station.install + "ovw-db.txt", store)) {
        error = "cannot write the object database " + station.install + "ovw-db.txt";
        return false;
    }
    std::string calls;
    for (const FlagCall &call : flagCalls)
        calls += std::string(call.host) + " " + szFlagField + (call.value ? " true\n" : " false\n");
    return WriteText(station.install + "nodeflags-calls.txt", calls, error);
}

std::string EncodedInstallDir(const Station &station)
{
    std::string encoded;
    for (char c : station.install)
        encoded += c == ' ' ? std::string("%20") : std::string(1, c);
    return encoded;
}

// Removes folder and all it holds; a link is removed, never followed. The
// file named last, when given, goes only once all else has: a station that
// cannot be removed whole keeps its mark.
static bool RemoveTree(const std::string &folder, std::string &error, const char *last = 0)
{
    WIN32_FIND_DATAA found;
    HANDLE hFind = FindFirstFileA((folder + "*").c_str(), &found);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == ".." || (last && name == last))
                continue;
            std::string path = folder + name;
            bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            // A read-only mark is taken off what is no link: on a link it
            // would reach whatever the link leads to.
            if (!isLink && (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
                SetFileAttributesA(path.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            bool removed = isFolder
                               ? (isLink ? RemoveDirectoryA(path.c_str()) != 0 : RemoveTree(path + "\\", error))
                               : DeleteFileA(path.c_str()) != 0;
            if (!removed && error.empty())
                error = LastError("cannot remove " + path);
        } while (FindNextFileA(hFind, &found));
        FindClose(hFind);
    }
    if (last) {
        if (!error.empty())
            return false;
        DeleteFileA((folder + last).c_str());
    }
    if (!RemoveDirectoryA(folder.c_str())) {
        if (error.empty())
            error = LastError("cannot remove " + folder);
        return false;
    }
    return error.empty();
}

static void LetMarkGo(Station &station)
{
    if (station.hMark)
        CloseHandle((HANDLE)station.hMark);
    station.hMark = 0;
}

void KeepStation(Station &station)
{
    DWORD written = 0;
    if (station.hMark && SetFilePointer((HANDLE)station.hMark, 0, 0, FILE_BEGIN) == 0 &&
        WriteFile((HANDLE)station.hMark, szKeptText, sizeof szKeptText - 1, &written, 0))
        SetEndOfFile((HANDLE)station.hMark);
    LetMarkGo(station);
}

// Tries until the folder is gone or the tries are spent.
static bool RemoveStation(Station &station, int tries, std::string &error)
{
    LetMarkGo(station);
    if (station.root.empty())
        return true;
    // A program that just ended, or a virus scanner looking at what it
    // wrote, may hold a file for a while. A folder removed while something
    // still has it open stays until that lets go: it counts as removed only
    // once it is gone.
    for (int attempt = 1;; ++attempt) {
        error.clear();
        RemoveTree(station.root, error, szMark);
        if (GetFileAttributesA(station.root.c_str()) == INVALID_FILE_ATTRIBUTES &&
            (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND))
            return true;
        if (attempt == tries) {
            if (error.empty())
                error = "cannot remove " + station.root + ": it is still there";
            return false;
        }
        Sleep(REMOVE_PAUSE_MS);
    }
}

bool RemoveStation(Station &station, std::string &error)
{
    return RemoveStation(station, REMOVE_TRIES, error);
}

std::vector<std::string> RemoveStaleStations(const std::string &base)
{
    std::vector<std::string> said;
    WIN32_FIND_DATAA found;
    HANDLE hFind = FindFirstFileA((WithSeparator(base) + "imselftest station *").c_str(), &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return said;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        Station stale;
        stale.root = WithSeparator(base) + found.cFileName + "\\";
        // A live run holds its mark with no sharing; one ended lets it go.
        HANDLE hMark = CreateFileA((stale.root + szMark).c_str(), GENERIC_READ, 0, 0, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, 0);
        if (hMark == INVALID_HANDLE_VALUE)
            continue; // a live run's, or no station of this self-test
        char text[64] = "";
        DWORD got = 0;
        bool kept = ReadFile(hMark, text, sizeof text - 1, &got, 0) && got == sizeof szKeptText - 1 &&
                    memcmp(text, szKeptText, got) == 0;
        CloseHandle(hMark);
        if (kept)
            continue;
        std::string error;
        // Once: its files are no longer anyone's, and the run at hand
        // should not wait on a station that cannot go.
        if (RemoveStation(stale, 1, error))
            said.push_back("removed " + stale.root + ", the station of a run that was ended before it could");
        else
            said.push_back("the station " + stale.root +
                           " of a run that was ended could not be removed: " + error);
    } while (FindNextFileA(hFind, &found));
    FindClose(hFind);
    return said;
}
