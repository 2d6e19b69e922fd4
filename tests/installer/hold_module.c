// Keeps a DLL loaded until its standard input ends, as the Java application
// keeps the install directory's nodeflags.dll while it runs, so that the
// installer's refusal to change a running module can be tested. The folder
// given first is searched for the DLL's own imports (the stand-in ovw.dll).
// With "short" it loads the DLL by its short path, as a process manager
// given the folder's short name would. Prints "loaded <path>" once the DLL
// is loaded.
//   hold_module <folder of its imports> <dll> [short]
#include <windows.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    char path[MAX_PATH];
    if (argc < 3 || argc > 4 || (argc == 4 && strcmp(argv[3], "short") != 0)) {
        fprintf(stderr, "usage: hold_module <folder of its imports> <dll> [short]\n");
        return 2;
    }
    snprintf(path, sizeof path, "%s", argv[2]);
    if (argc == 4 && GetShortPathNameA(argv[2], path, sizeof path) == 0) {
        fprintf(stderr, "hold_module: no short path of %s: error %lu\n", argv[2], GetLastError());
        return 1;
    }
    SetDllDirectoryA(argv[1]);
    if (LoadLibraryA(path) == NULL) {
        fprintf(stderr, "hold_module: cannot load %s: error %lu\n", path, GetLastError());
        return 1;
    }
    printf("loaded %s\n", path);
    fflush(stdout);
    while (getchar() != EOF) {
    }
    return 0;
}
