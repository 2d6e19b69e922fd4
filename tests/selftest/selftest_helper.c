/* What the self-test's refusal table needs of a Windows program:
 *   selftest_helper hold <base folder> <path in a station> <ms>
 *     holds a file of a station as a virus scanner does: waits until the
 *     base folder, or some folder below it, holds the path, opens that file so that it may
 *     be read and written but not removed, prints "held <file>", keeps it
 *     open for <ms> milliseconds and ends (1 when no such file appears
 *     within a minute);
 *   selftest_helper raw
 *     starts the command line in RAW_COMMAND_LINE exactly as it stands, as
 *     cmd.exe starts what an administrator typed (Wine's own start quotes
 *     every argument anew), and ends with its exit status. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static HANDLE Hold(const char *base, const char *inside)
{
    char pattern[MAX_PATH], path[MAX_PATH];
    WIN32_FIND_DATAA found;
    HANDLE hFind, hFile = INVALID_HANDLE_VALUE;
    snprintf(path, sizeof path, "%s\\%s", base, inside);
    hFile = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    if (hFile != INVALID_HANDLE_VALUE) {
        printf("held %s\n", path);
        return hFile;
    }
    snprintf(pattern, sizeof pattern, "%s\\*", base);
    hFind = FindFirstFileA(pattern, &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return hFile;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || found.cFileName[0] == '.')
            continue;
        snprintf(path, sizeof path, "%s\\%s\\%s", base, found.cFileName, inside);
        hFile = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
        if (hFile != INVALID_HANDLE_VALUE)
            printf("held %s\n", path);
    } while (hFile == INVALID_HANDLE_VALUE && FindNextFileA(hFind, &found));
    FindClose(hFind);
    return hFile;
}

static int HoldFile(const char *base, const char *inside, DWORD ms)
{
    HANDLE hFile = INVALID_HANDLE_VALUE;
    int tries;
    for (tries = 0; tries < 3000 && hFile == INVALID_HANDLE_VALUE; ++tries) {
        hFile = Hold(base, inside);
        if (hFile == INVALID_HANDLE_VALUE)
            Sleep(20);
    }
    if (hFile == INVALID_HANDLE_VALUE)
        return 1;
    fflush(stdout);
    Sleep(ms);
    CloseHandle(hFile);
    return 0;
}

static int RunRaw(void)
{
    static char line[32768];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    DWORD status = 1;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!GetEnvironmentVariableA("RAW_COMMAND_LINE", line, sizeof line) ||
        !CreateProcessA(0, line, 0, 0, TRUE, 0, 0, 0, &startup, &process)) {
        fprintf(stderr, "cannot start [%s] (error %lu)\n", line, GetLastError());
        return 99;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    return (int)status;
}

int main(int argc, char *argv[])
{
    if (argc == 5 && strcmp(argv[1], "hold") == 0)
        return HoldFile(argv[2], argv[3], (DWORD)atol(argv[4]));
    if (argc == 2 && strcmp(argv[1], "raw") == 0)
        return RunRaw();
    fprintf(stderr, "usage: selftest_helper hold <base folder> <path in a station> <ms> | raw\n");
    return 2;
}
