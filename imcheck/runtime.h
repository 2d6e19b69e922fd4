// The Java runtime as a launcher finds it: its home is the parent of the
// launcher's real folder, whatever that folder is named (a launcher at a
// drive's root has the drive as its home), and the runtime lies there or
// in a development kit's jre folder below it.
#ifndef IMCHECK_RUNTIME_H
#define IMCHECK_RUNTIME_H

#include <string>

struct Runtime {
    std::wstring home;    // the launcher's home, with its separator
    std::wstring folder;  // the runtime's folder: home, or home's jre; empty when not found
    std::wstring jvm;     // its bin\server\jvm.dll or bin\client\jvm.dll
    std::wstring classes; // its lib\modules (Java 9 and later) or lib\rt.jar (Java 8)
};

// Where the launcher whose real path is given finds its runtime.
Runtime FindRuntime(const std::wstring &realLauncher);

// What a launcher looks for below home, for a report.
std::wstring LookedFor(const std::wstring &home);

#endif
