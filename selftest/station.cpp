#include "station.h"

#include <windows.h>

#include "ovw_store.h"

const char szFlagField[] = "isNodeFlagged";
const FlagCall flagCalls[3] = {{"router-1", true, true}, {"switch-2", false, true}, {"ghost-9", true, false}};
const char szUntouchedHost[] = "server-3";

std::string WithSeparator(std::string folder)
{
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/')
        folder += '\\';
    return folder;
}

static std::string LastError(const std::string &what)
{
    return what + " (error " + std::to_string(GetLastError()) + ")";
}

bool DefaultStationBase(std::string &base, std::string &error)
{
    char szTemp[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof szTemp, szTemp);
    if (n == 0 || n >= sizeof szTemp) {
        error = LastError("the temporary folder cannot be found");
        return false;
    }
    // The folder's name as the administrator knows it, not its short form.
    char szLong[MAX_PATH];
    n = GetLongPathNameA(szTemp, szLong, sizeof szLong);
    base = WithSeparator(n > 0 && n < sizeof szLong ? szLong : szTemp);
    // A new account's temporary folder may not have been made yet.
    CreateDirectoryA(base.c_str(), 0);
    return true;
}

static bool MakeFolder(const std::string &path, std::string &error)
{
    if (CreateDirectoryA(path.c_str(), 0))
        return true;
    error = LastError("cannot make the folder " + path);
    return false;
}

static bool CopyInto(const std::string &from, const std::string &to, std::string &error)
{
    if (CopyFileA(from.c_str(), to.c_str(), TRUE))
        return true;
    error = LastError("cannot copy " + from + " to " + to);
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

bool LayOutStation(const std::string &base, const std::string &release, const std::string &standIns,
                   Station &station, std::string &error)
{
    DWORD attributes = GetFileAttributesA(base.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = "there is no folder " + base + " to lay the station out in";
        return false;
    }
    // A fresh folder: another self-test's, or one kept, is never reused.
    std::string name = "imselftest station " + std::to_string(GetCurrentProcessId());
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
    station.install = station.root + "Integration Module\\";
    station.platform = station.root + "NNM\\bin\\";
    station.launcher = station.root + "Java\\bin\\java.exe";
    std::string java = station.root + "Java\\";
    if (!MakeFolder(station.install, error) || !MakeFolder(station.root + "NNM", error) ||
        !MakeFolder(station.platform, error) || !MakeFolder(java, error) || !MakeFolder(java + "bin", error))
        return false;
    for (const char *binary : {"imdaemon.exe", "nodeflags.dll", "imcheck.exe"})
        if (!CopyInto(release + binary, station.install + binary, error))
            return false;
    if (!CopyInto(standIns + "ov.dll", station.platform + "ov.dll", error) ||
        !CopyInto(standIns + "ovw.dll", station.platform + "ovw.dll", error) ||
        !CopyInto(standIns + "javaapp.exe", station.launcher, error))
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

// Removes folder and all it holds; a link is removed, never followed.
static bool RemoveTree(const std::string &folder, std::string &error)
{
    WIN32_FIND_DATAA found;
    HANDLE hFind = FindFirstFileA((folder + "*").c_str(), &found);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + name;
            bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL | (isFolder ? FILE_ATTRIBUTE_DIRECTORY : 0));
            bool removed = isFolder
                               ? (isLink ? RemoveDirectoryA(path.c_str()) != 0 : RemoveTree(path + "\\", error))
                               : DeleteFileA(path.c_str()) != 0;
            if (!removed && error.empty())
                error = LastError("cannot remove " + path);
        } while (FindNextFileA(hFind, &found));
        FindClose(hFind);
    }
    if (!RemoveDirectoryA(folder.c_str())) {
        if (error.empty())
            error = LastError("cannot remove " + folder);
        return false;
    }
    return error.empty();
}

bool RemoveStation(const Station &station, std::string &error)
{
    if (station.root.empty())
        return true;
    // A program that just ended, or a virus scanner looking at what it
    // wrote, may hold a file for a moment.
    for (int attempt = 1;; ++attempt) {
        error.clear();
        if (RemoveTree(station.root, error) || GetFileAttributesA(station.root.c_str()) == INVALID_FILE_ATTRIBUTES)
            return true;
        if (attempt == 10)
            return false;
        Sleep(200);
    }
}
