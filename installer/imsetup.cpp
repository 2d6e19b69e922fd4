// The installer's own actions, which Windows Installer calls from the
// package's Binary table (installer/imdaemon.wxs sequences them):
//   Prepare          immediate: checks INSTALLDIR and JAVA, refuses what the
//                    daemon could not run with, and hands each deferred action
//                    and its rollback the data it needs (a property named
//                    after the action, its CustomActionData)
//   CheckRunning     immediate: refuses while the module runs from INSTALLDIR
//   WriteJavaFile    deferred: java_file.dat as the daemon reads it
//   RestoreJavaFile  rollback: java_file.dat as it was (or gone again)
//   RemoveJavaFile   deferred, on removal: java_file.dat removed
//   LockFolder       deferred: the install directory's owner and protected list
//   RestoreFolderSecurity  rollback: the owner and list it had
//   RunSelfCheck     deferred: the installed imcheck.exe on the install
//                    directory; its findings go to the log, an error fails
//                    the install
// Deferred actions run without impersonation: as SYSTEM on Windows.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "ansi_text.h"
#include "install_path.h"
#include "folder_lock.h"
#include "win_path.h"

static const wchar_t kJavaFile[] = L"java_file.dat";
// What Prepare records for a java_file.dat that was not there.
static const wchar_t kNoFile[] = L"-";

static std::wstring Property(MSIHANDLE install, const wchar_t *name)
{
    wchar_t empty[1] = L"";
    DWORD size = 0;
    if (MsiGetPropertyW(install, name, empty, &size) != ERROR_MORE_DATA) {
        return std::wstring();
    }
    std::wstring value(size + 1, L'\0');
    size += 1;
    if (MsiGetPropertyW(install, name, &value[0], &size) != ERROR_SUCCESS) {
        return std::wstring();
    }
    value.resize(size);
    return value;
}

static void SetProperty(MSIHANDLE install, const wchar_t *name, const std::wstring &value)
{
    MsiSetPropertyW(install, name, value.c_str());
}

// One line in the installer's log, "imdaemon: <text>"; an error is also shown
// where the installer shows errors (a silent install only logs it).
static void Say(MSIHANDLE install, const std::wstring &text, bool error)
{
    MSIHANDLE record = MsiCreateRecord(1);
    // A field's text is formatted too once it stands in the template: a
    // bracket of a path is written as the escape that stands for itself, so
    // that "[JAVA]" in a folder's name is not read as a property.
    std::wstring escaped;
    for (wchar_t c : L"imdaemon: " + text)
        escaped += c == L'[' ? L"[\\[]" : c == L']' ? L"[\\]]" : std::wstring(1, c);
    MsiRecordSetStringW(record, 0, L"[1]");
    MsiRecordSetStringW(record, 1, escaped.c_str());
    MsiProcessMessage(install,
                      error ? INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR) : INSTALLMESSAGE_INFO,
                      record);
    MsiCloseHandle(record);
}

static UINT Refuse(MSIHANDLE install, const std::wstring &text)
{
    Say(install, text, true);
    return ERROR_INSTALL_FAILURE;
}

static std::wstring Number(unsigned long value)
{
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

static std::wstring SystemMessage(DWORD error)
{
    wchar_t *text = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::wstring message = L"error " + Number(error);
    if (length > 0 && text != nullptr) {
        std::wstring said(text, length);
        while (!said.empty() && (said.back() == L'\n' || said.back() == L'\r' || said.back() == L' ')) {
            said.pop_back();
        }
        message += L": " + said;
    }
    LocalFree(text);
    return message;
}

// Drive and folder (C:\...) or a share (\\server\share\...); not a device or
// \\?\ path, which the daemon's ANSI calls do not take as written.
static bool IsPlainAbsolute(const std::wstring &path)
{
    wchar_t drive = path.empty() ? L'\0' : path[0];
    bool letter = (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
    if (path.size() >= 3 && letter && path[1] == L':' && path[2] == L'\\') {
        return true;
    }
    return path.size() >= 5 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'\\' && path[2] != L'?' &&
           path[2] != L'.' && path.find(L'\\', 3) != std::wstring::npos;
}

// The folder with one backslash between its parts and one at its end.
// Windows Installer hands a folder property on with its own backslash at the
// end, and Wine's msiexec doubles one typed before the closing quote.
static std::wstring AsFolder(std::wstring path)
{
    for (auto &c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    std::wstring folder;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == L'\\' && i >= 2 && !folder.empty() && folder.back() == L'\\') {
            continue;
        }
        folder += path[i];
    }
    if (!folder.empty() && folder.back() != L'\\') {
        folder += L'\\';
    }
    return folder;
}

// The whole file; false when it is not there or cannot be read.
static bool ReadWhole(const std::wstring &path, std::string &bytes)
{
    bytes.clear();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    char buffer[4096];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0) && got > 0) {
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    return ok;
}

// An existing file keeps its attributes and its own permissions: it is
// emptied and written, a read-only one made writable for that and read-only
// again (a new file of the same name would fail over a hidden or system one,
// and lose what the administrator set).
static DWORD WriteWhole(const std::wstring &path, const std::string &bytes)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    bool existing = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (existing && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, existing ? TRUNCATE_EXISTING : CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (existing && (attributes & FILE_ATTRIBUTE_READONLY)) {
            SetFileAttributesW(path.c_str(), attributes);
        }
        return error;
    }
    DWORD written = 0;
    DWORD error = ERROR_SUCCESS;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size() || !FlushFileBuffers(file)) {
        error = GetLastError();
    }
    CloseHandle(file);
    if (existing && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesW(path.c_str(), attributes);
    }
    return error;
}

static std::wstring Hex(const std::string &bytes)
{
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring text;
    for (unsigned char byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

static bool FromHex(const std::wstring &text, std::string &bytes)
{
    bytes.clear();
    if (text.size() % 2 != 0) {
        return false;
    }
    for (size_t i = 0; i < text.size(); i += 2) {
        int value = 0;
        for (size_t j = i; j < i + 2; ++j) {
            wchar_t c = text[j];
            int digit = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
            if (digit < 0) {
                return false;
            }
            value = value * 16 + digit;
        }
        bytes += static_cast<char>(value);
    }
    return true;
}

// A deferred action's data: its fields, split at tabs (no Windows path
// holds one).
static std::vector<std::wstring> ActionData(MSIHANDLE install)
{
    std::wstring data = Property(install, L"CustomActionData");
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = data.find(L'\t', start);
        fields.push_back(data.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
        if (tab == std::wstring::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

// A deferred action's folder, only when it is an absolute one: an action
// given none (a removal with no remembered folder) must not work on a path
// relative to the installer's own current folder.
static bool AbsoluteFolder(MSIHANDLE install, const std::wstring &folder, const wchar_t *action)
{
    if (IsPlainAbsolute(folder)) {
        return true;
    }
    Say(install,
        std::wstring(action) + L" was given no install directory (\"" + folder + L"\"); it changes nothing",
        false);
    return false;
}

// What java_file.dat holds now, as the rollback data records it: its bytes
// in hex, or "-" when there is none. Over 1 MiB it is no launcher path, and
// is not kept in the installer's script.
static bool RecordJavaFile(const std::wstring &folder, std::wstring &record)
{
    std::string previous;
    if (!ReadWhole(folder + kJavaFile, previous)) {
        record = IsFile(folder + kJavaFile) ? L"" : kNoFile;
        return !record.empty();
    }
    if (previous.size() > (1u << 20)) {
        return false;
    }
    record = Hex(previous);
    return true;
}

// The launcher an existing java_file.dat names, as the daemon reads it: the
// first line, without its carriage returns and line feeds.
static std::wstring NamedLauncher(const std::wstring &folder)
{
    std::string bytes;
    if (!ReadWhole(folder + kJavaFile, bytes)) {
        return std::wstring();
    }
    std::string line = bytes.substr(0, bytes.find('\n'));
    std::string path;
    for (char c : line) {
        if (c != '\r') {
            path += c;
        }
    }
    return FromAnsi(path);
}

static bool HoldsArchive(const std::wstring &folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*.jar").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool archive = false;
    do {
        archive = !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    } while (!archive && FindNextFileW(search, &found));
    FindClose(search);
    return archive;
}

// A removal: REMOVE names every feature, or the package's one.
static bool IsAll(const std::wstring &text)
{
    return CompareStringOrdinal(text.c_str(), -1, L"ALL", -1, TRUE) == CSTR_EQUAL ||
           CompareStringOrdinal(text.c_str(), -1, L"Module", -1, TRUE) == CSTR_EQUAL;
}

// The version of an installed product (the first of a list of product
// codes, as FindRelatedProducts sets them), or its code when Windows
// Installer does not tell it.
static std::wstring InstalledVersion(const std::wstring &products)
{
    std::wstring product = products.substr(0, products.find(L';'));
    wchar_t version[64];
    DWORD size = sizeof version / sizeof version[0];
    if (MsiGetProductInfoW(product.c_str(), L"VersionString", version, &size) == ERROR_SUCCESS) {
        return version;
    }
    return product;
}

static UINT PrepareRemoval(MSIHANDLE install, const std::wstring &folder)
{
    if (folder.empty()) {
        return ERROR_SUCCESS;
    }
    std::wstring record;
    if (!RecordJavaFile(folder, record)) {
        return Refuse(install, L"cannot keep a copy of " + folder + kJavaFile +
                                   L" to put back should the removal fail: it cannot be read, or is over 1 MiB");
    }
    SetProperty(install, L"RemoveJavaFile", folder);
    SetProperty(install, L"RestoreRemovedJavaFile", folder + L"\t" + record);
    return ERROR_SUCCESS;
}

extern "C" UINT __stdcall Prepare(MSIHANDLE install)
{
    std::wstring remembered = Property(install, L"INSTALLDIR");
    if (IsAll(Property(install, L"REMOVE"))) {
        return PrepareRemoval(install, remembered.empty() ? remembered : AsFolder(remembered));
    }
    std::wstring newer = Property(install, L"NEWERFOUND");
    if (!newer.empty()) {
        return Refuse(install, L"a newer version of imdaemon (" + InstalledVersion(newer) +
                                   L") is installed: remove it first to install this older one (" +
                                   Property(install, L"ProductVersion") + L")");
    }
    // The command line's values (kept before the remembered ones were read)
    // win over those of the installed version.
    std::wstring given = Property(install, L"IMDAEMON_GIVEN_DIR");
    std::wstring folder = given.empty() ? remembered : given;
    // A repair or upgrade acts on the folder the module is in: another one
    // would get a second module and leave the first behind, running.
    if (!given.empty() && !remembered.empty() && !SameName(AsFolder(given), AsFolder(remembered))) {
        return Refuse(install,
                      L"INSTALLDIR \"" + AsFolder(given) + L"\" is not the folder the module is installed in, \"" +
                          AsFolder(remembered) +
                          L"\": to move it, remove it first (msiexec /x), then install into the new folder");
    }
    const std::wstring archives = L"the folder that holds the Java application's archives (*.jar)";
    if (folder.empty()) {
        return Refuse(install, L"INSTALLDIR is not set: pass INSTALLDIR=\"<" + archives +
                                   L">\"; the module is installed into the Java application's folder");
    }
    // Windows takes a forward slash for a backslash; a \\?\ or device path
    // the daemon's ANSI calls do not take as written.
    if (folder.compare(0, 4, L"\\\\?\\") == 0 || folder.compare(0, 4, L"\\\\.\\") == 0) {
        return Refuse(install, L"INSTALLDIR \"" + folder +
                                   L"\" is a \\\\?\\ or device path, which the daemon's ANSI calls do not take as "
                                   L"written: pass it as C:\\...\\ or \\\\server\\share\\...\\");
    }
    folder = AsFolder(folder);
    if (!IsPlainAbsolute(folder)) {
        return Refuse(install, L"INSTALLDIR \"" + folder + L"\" is not an absolute path: pass the full path of " +
                                   archives + L", with its drive (C:\\...) or share (\\\\server\\share\\...)");
    }
    std::string ansi;
    if (!ToAnsi(folder, ansi)) {
        return Refuse(install, L"INSTALLDIR \"" + FromAnsi(Spelled(folder)) +
                                   L"\" holds characters the system's ANSI code page cannot represent; the daemon "
                                   L"works with ANSI paths and would not find its files: install the application "
                                   L"in a folder whose path the ANSI code page holds");
    }
    if (folder.find(L"%20") != std::wstring::npos) {
        return Refuse(install, L"INSTALLDIR \"" + folder +
                                   L"\" holds %20, which the daemon's argument decodes to a space: the process "
                                   L"manager cannot name this folder; rename it");
    }
    if (!IsFolder(folder)) {
        return Refuse(install, L"INSTALLDIR \"" + folder +
                                   L"\" is not an existing folder: install the Java "
                                   L"application first and pass " +
                                   archives);
    }
    if (ansi.size() > MAX_INSTALL_DIR) {
        return Refuse(install, L"INSTALLDIR \"" + folder + L"\" is " + Number((unsigned long)ansi.size()) +
                                   L" bytes long in the ANSI code page, more than the " + Number(MAX_INSTALL_DIR) +
                                   L" the daemon takes (it builds java_file.dat's path in 259): install the "
                                   L"application in a folder with a shorter path");
    }
    if (!HoldsArchive(folder)) {
        return Refuse(install, L"INSTALLDIR \"" + folder +
                                   L"\" holds no application archive (*.jar): install the "
                                   L"Java application first and pass " +
                                   archives);
    }
    // Neither this version's repair nor an upgrade of an older one: a module
    // already there was deployed by hand, and is taken over. Without one, a
    // file of the package's names there is the application's own, which
    // the package would replace and later remove.
    if (Property(install, L"Installed").empty() && Property(install, L"OLDERFOUND").empty()) {
        if (IsFile(folder + L"imdaemon.exe")) {
            Say(install,
                L"INSTALLDIR \"" + folder + L"\" holds a module deployed by hand: the installer takes it over",
                false);
        } else {
            for (const wchar_t *name : {L"nodeflags.dll", L"imcheck.exe", L"DEPLOY.txt",
                                        L"THIRD-PARTY-NOTICES.txt", L"imdaemon.cdx.json"}) {
                if (IsFile(folder + name)) {
                    return Refuse(install, L"INSTALLDIR \"" + folder + L"\" holds " + name +
                                               L", but no imdaemon.exe: it is not the module's, and the package "
                                               L"would replace it and remove it with the module; move it aside "
                                               L"or rename it, then run the installer again");
                }
            }
        }
    }

    std::wstring java = Property(install, L"IMDAEMON_GIVEN_JAVA");
    if (java.empty()) {
        java = Property(install, L"JAVA");
    }
    const std::wstring pass = L"pass JAVA=\"<full path of the Java runtime's bin\\java.exe>\"";
    if (java.empty()) {
        std::wstring named = NamedLauncher(folder);
        if (named.empty() || !IsPlainAbsolute(named) || !IsFile(named)) {
            return Refuse(install,
                          L"JAVA is not set, and " + folder + kJavaFile + L" names no existing launcher: " + pass);
        }
        Say(install, L"JAVA not given: keeping the launcher " + folder + kJavaFile + L" names, " + named, false);
        java = named;
    }
    for (wchar_t &c : java) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    if (!IsPlainAbsolute(java)) {
        return Refuse(install, L"JAVA \"" + java +
                                   L"\" is not an absolute path: the daemon would resolve it against a folder the "
                                   L"process manager chooses; " +
                                   pass);
    }
    if (!ToAnsi(java, ansi)) {
        return Refuse(install, L"JAVA \"" + FromAnsi(Spelled(java)) +
                                   L"\" holds characters the system's ANSI code page cannot represent; the daemon "
                                   L"reads java_file.dat as ANSI text and would start another path: pass a "
                                   L"launcher path the ANSI code page holds (a folder with such a name, or the "
                                   L"folder's short name)");
    }
    if (!IsFile(java)) {
        return Refuse(install, L"JAVA \"" + java + L"\" is not an existing file: " + pass);
    }

    std::wstring record;
    if (!RecordJavaFile(folder, record)) {
        return Refuse(install, L"cannot keep a copy of " + folder + kJavaFile +
                                   L" to put back should the install fail: it cannot be read, or is over 1 MiB");
    }
    std::wstring security;
    DWORD error = ERROR_SUCCESS;
    if (!CaptureSecurity(folder, security, error)) {
        return Refuse(install, L"cannot read the owner and permissions of \"" + folder +
                                   L"\" to put them back should the install fail: " + SystemMessage(error));
    }
    SetProperty(install, L"INSTALLDIR", folder);
    SetProperty(install, L"JAVA", java);
    SetProperty(install, L"WriteJavaFile", folder + L"\t" + java);
    SetProperty(install, L"RestoreJavaFile", folder + L"\t" + record);
    SetProperty(install, L"LockFolder", folder);
    SetProperty(install, L"RestoreFolderSecurity", folder + L"\t" + security);
    SetProperty(install, L"RunSelfCheck", folder);
    return ERROR_SUCCESS;
}

// A file as the file system knows it: its volume and index, the same
// whatever path names it (a short name, another case, a link).
struct FileId {
    DWORD volume;
    DWORD high;
    DWORD low;
};

static bool IdOf(const std::wstring &path, FileId &id)
{
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information;
    bool known = GetFileInformationByHandle(file, &information) != 0;
    CloseHandle(file);
    id = {information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
    return known;
}

// One of the module's files, by its path as written or, when a process
// loaded it by another path to the same file (the process manager may pass
// the folder's short name), by the file itself.
struct ModuleFile {
    std::wstring path;
    std::wstring name;
    bool known;
    FileId id;
};

static ModuleFile ModuleFileOf(const std::wstring &folder, const wchar_t *name)
{
    ModuleFile file = {folder + name, name, false, {0, 0, 0}};
    file.known = IdOf(file.path, file.id);
    return file;
}

static bool IsModuleFile(const std::wstring &path, const ModuleFile &file)
{
    if (SameName(path, file.path)) {
        return true;
    }
    // Only a path that ends in the file's name or holds a short name (~) is
    // opened to compare: not every module of every process.
    size_t slash = path.find_last_of(L"\\/");
    bool candidate = SameName(path.substr(slash == std::wstring::npos ? 0 : slash + 1), file.name) ||
                     path.find(L'~') != std::wstring::npos;
    FileId id;
    return file.known && candidate && IdOf(path, id) && id.volume == file.id.volume && id.high == file.id.high &&
           id.low == file.id.low;
}

// The install directory's imdaemon.exe and nodeflags.dll in every process
// whose modules can be listed (with the debug privilege an administrator
// holds, those of services too); a program whose modules cannot be read is
// still matched by its image.
extern "C" UINT __stdcall CheckRunning(MSIHANDLE install)
{
    std::wstring folder = Property(install, L"INSTALLDIR");
    if (folder.empty()) {
        return ERROR_SUCCESS;
    }
    folder = AsFolder(folder);
    const ModuleFile daemon = ModuleFileOf(folder, L"imdaemon.exe"),
                     bridge = ModuleFileOf(folder, L"nodeflags.dll");
    EnablePrivilege(L"SeDebugPrivilege");
    HANDLE processes = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (processes == INVALID_HANDLE_VALUE) {
        return Refuse(install, L"cannot list the running processes to see whether the module runs: " +
                                   SystemMessage(GetLastError()));
    }
    std::wstring found;
    PROCESSENTRY32W process = {};
    process.dwSize = sizeof process;
    for (BOOL more = Process32FirstW(processes, &process); more && found.empty();
         more = Process32NextW(processes, &process)) {
        if (process.th32ProcessID == 0 || process.th32ProcessID == GetCurrentProcessId()) {
            continue;
        }
        std::wstring which =
            std::wstring(process.szExeFile) + L" (process " + Number(process.th32ProcessID) + L")";
        HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, process.th32ProcessID);
        if (modules != INVALID_HANDLE_VALUE) {
            MODULEENTRY32W module = {};
            module.dwSize = sizeof module;
            for (BOOL next = Module32FirstW(modules, &module); next && found.empty();
                 next = Module32NextW(modules, &module)) {
                if (IsModuleFile(module.szExePath, daemon)) {
                    found = daemon.path + L" is running as " + which;
                } else if (IsModuleFile(module.szExePath, bridge)) {
                    found = bridge.path + L" is loaded in " + which;
                }
            }
            CloseHandle(modules);
            continue;
        }
        HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.th32ProcessID);
        if (handle != nullptr) {
            wchar_t image[MAX_PATH * 4];
            DWORD size = sizeof image / sizeof image[0];
            if (QueryFullProcessImageNameW(handle, 0, image, &size) && IsModuleFile(image, daemon)) {
                found = daemon.path + L" is running as " + which;
            }
            CloseHandle(handle);
        }
    }
    CloseHandle(processes);
    if (!found.empty()) {
        return Refuse(install, found + L": stop the module through the NNM process manager (ovspmd) first, "
                                       L"then run the installer again");
    }
    return ERROR_SUCCESS;
}

extern "C" UINT __stdcall WriteJavaFile(MSIHANDLE install)
{
    std::vector<std::wstring> data = ActionData(install);
    std::string ansi;
    if (data.size() != 2 || !IsPlainAbsolute(data[0]) || !ToAnsi(data[1], ansi)) {
        return Refuse(install, L"WriteJavaFile was given no folder and launcher");
    }
    // One line, the launcher's path in the ANSI code page, ended as Windows
    // ends lines.
    DWORD error = WriteWhole(data[0] + kJavaFile, ansi + "\r\n");
    if (error != ERROR_SUCCESS) {
        return Refuse(install, L"cannot write " + data[0] + kJavaFile + L": " + SystemMessage(error));
    }
    Say(install, L"wrote " + data[0] + kJavaFile + L": " + data[1], false);
    return ERROR_SUCCESS;
}

extern "C" UINT __stdcall RestoreJavaFile(MSIHANDLE install)
{
    std::vector<std::wstring> data = ActionData(install);
    std::string previous;
    if (data.size() != 2 || !IsPlainAbsolute(data[0]) || (data[1] != kNoFile && !FromHex(data[1], previous))) {
        Say(install, L"RestoreJavaFile was given no record of java_file.dat", false);
        return ERROR_SUCCESS;
    }
    const std::wstring path = data[0] + kJavaFile;
    if (data[1] == kNoFile) {
        if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            Say(install, L"could not remove " + path + L": " + SystemMessage(GetLastError()), false);
        } else {
            Say(install, L"rolled back: " + path + L" is gone again", false);
        }
        return ERROR_SUCCESS;
    }
    DWORD error = WriteWhole(path, previous);
    Say(install,
        error == ERROR_SUCCESS ? L"rolled back: " + path + L" holds what it held before"
                               : L"could not put back " + path + L": " + SystemMessage(error),
        false);
    return ERROR_SUCCESS;
}

extern "C" UINT __stdcall RemoveJavaFile(MSIHANDLE install)
{
    const std::wstring folder = Property(install, L"CustomActionData");
    if (!AbsoluteFolder(install, folder, L"RemoveJavaFile")) {
        return ERROR_SUCCESS;
    }
    const std::wstring path = folder + kJavaFile;
    if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        return Refuse(install, L"cannot remove " + path + L": " + SystemMessage(GetLastError()));
    }
    Say(install, L"removed " + path, false);
    return ERROR_SUCCESS;
}

extern "C" UINT __stdcall LockFolder(MSIHANDLE install)
{
    const std::wstring folder = Property(install, L"CustomActionData");
    if (!AbsoluteFolder(install, folder, L"LockFolder")) {
        return ERROR_INSTALL_FAILURE;
    }
    DWORD error = ApplySecurity(folder, LockedFolderSddl());
    if (error != ERROR_SUCCESS) {
        return Refuse(install,
                      L"cannot give \"" + folder + L"\" its owner and permissions: " + SystemMessage(error));
    }
    Say(install,
        L"\"" + folder + L"\" is owned by Administrators, and only SYSTEM and Administrators may change it " +
            L"(a protected list, inherited by what it holds)",
        false);
    return ERROR_SUCCESS;
}

extern "C" UINT __stdcall RestoreFolderSecurity(MSIHANDLE install)
{
    std::vector<std::wstring> data = ActionData(install);
    if (data.size() != 2 || !IsPlainAbsolute(data[0])) {
        Say(install, L"RestoreFolderSecurity was given no record of the folder's permissions", false);
        return ERROR_SUCCESS;
    }
    DWORD error = ApplySecurity(data[0], data[1]);
    Say(install,
        error == ERROR_SUCCESS
            ? L"rolled back: \"" + data[0] + L"\" has its previous owner and permissions"
            : L"could not put back the owner and permissions of \"" + data[0] + L"\": " + SystemMessage(error),
        false);
    return ERROR_SUCCESS;
}

// The install directory as the process manager passes it, which is how
// imcheck takes it: each space written as %20, ending with a backslash, no
// quotes (so no backslash before a closing quote).
static std::wstring DaemonArgument(const std::wstring &folder)
{
    std::wstring argument;
    for (wchar_t c : folder) {
        if (c == L' ') {
            argument += L"%20";
        } else {
            argument += c;
        }
    }
    return argument;
}

// imcheck's output, read to its end while the caller waits for imcheck.
struct Output {
    HANDLE pipe;
    std::string text;
};

static DWORD WINAPI ReadOutput(void *context)
{
    Output *output = static_cast<Output *>(context);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(output->pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        output->text.append(buffer, got);
    }
    return 0;
}

// imcheck answers in seconds; one that has not ended after this long is
// hung, and the install must not wait for it forever.
static const DWORD kSelfCheckLimit = 10 * 60 * 1000;

extern "C" UINT __stdcall RunSelfCheck(MSIHANDLE install)
{
    const std::wstring folder = Property(install, L"CustomActionData");
    if (!AbsoluteFolder(install, folder, L"RunSelfCheck")) {
        return ERROR_INSTALL_FAILURE;
    }
    const std::wstring program = folder + L"imcheck.exe";
    std::wstring command = L"\"" + program + L"\" " + DaemonArgument(folder);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    Output output = {nullptr, std::string()};
    HANDLE write = nullptr;
    if (!CreatePipe(&output.pipe, &write, &inherit, 0)) {
        return Refuse(install, L"cannot run the self-check: " + SystemMessage(GetLastError()));
    }
    SetHandleInformation(output.pipe, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = write;
    startup.hStdError = write;
    PROCESS_INFORMATION started = {};
    Say(install, L"self-check: " + command, false);
    BOOL ran = CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                              folder.c_str(), &startup, &started);
    DWORD error = GetLastError();
    CloseHandle(write);
    if (!ran) {
        CloseHandle(output.pipe);
        return Refuse(install, L"cannot run the self-check " + program + L": " + SystemMessage(error));
    }
    HANDLE reader = CreateThread(nullptr, 0, ReadOutput, &output, 0, nullptr);
    if (reader == nullptr) {
        ReadOutput(&output);
    }
    bool hung = WaitForSingleObject(started.hProcess, kSelfCheckLimit) == WAIT_TIMEOUT;
    if (hung) {
        TerminateProcess(started.hProcess, 1);
        WaitForSingleObject(started.hProcess, INFINITE);
    }
    if (reader != nullptr) {
        WaitForSingleObject(reader, INFINITE);
        CloseHandle(reader);
    }
    CloseHandle(output.pipe);
    DWORD status = 1;
    GetExitCodeProcess(started.hProcess, &status);
    CloseHandle(started.hProcess);
    CloseHandle(started.hThread);

    // Each line of its findings into the log.
    size_t start = 0;
    while (start < output.text.size()) {
        size_t end = output.text.find('\n', start);
        std::string line = output.text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        Say(install, L"imcheck: " + FromAnsi(line), false);
        start = end == std::string::npos ? output.text.size() : end + 1;
    }
    if (hung) {
        return Refuse(install, L"the self-check did not finish: imcheck had not ended after 10 minutes and was "
                               L"ended; the install is rolled back");
    }
    if (status == 0) {
        Say(install, L"self-check: imcheck found nothing", false);
        return ERROR_SUCCESS;
    }
    if (status == 2) {
        Say(install, L"self-check: imcheck found warnings only (above); the install stands", false);
        return ERROR_SUCCESS;
    }
    if (status == 1) {
        return Refuse(install,
                      L"the self-check found errors (the imcheck lines above): the install is rolled back; "
                      L"mend what they name and run the installer again");
    }
    return Refuse(install, L"the self-check did not finish: imcheck ended with status " + Number(status) +
                               L"; the install is rolled back");
}
