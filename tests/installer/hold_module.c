// Keeps a DLL loaded until its standard input ends, as the Java application
// keeps the install directory's nodeflags.dll while it runs, so that the
// installer's refusal to change a running module can be tested. The folder
// given first is searched for the DLL's own imports (the stand-in ovw.dll).
// Prints "loaded" once the DLL is loaded.
//   hold_module <folder of its imports> <dll>
#include <windows.h>

#include <stdio.h>

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: hold_module <folder of its imports> <dll>\n");
        return 2;
    }
    SetDllDirectoryA(argv[1]);
    if (LoadLibraryA(argv[2]) == NULL) {
        fprintf(stderr, "hold_module: cannot load %s: error %lu\n", argv[2], GetLastError());
        return 1;
    }
    printf("loaded\n");
    fflush(stdout);
    while (getchar() != EOF) {
    }
    return 0;
}
