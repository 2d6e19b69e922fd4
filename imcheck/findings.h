// The findings about what the daemon reads and starts: the install
// directory, java_file.dat, the launcher, the bridge, imdaemon.exe, the
// class path, the libraries each process would load, the command line, and
// listener windows already open.
#ifndef IMCHECK_FINDINGS_H
#define IMCHECK_FINDINGS_H

#include "facts.h"
#include "objects.h"

void CheckInstallDir(const Facts &f);
void CheckJavaFile(const Facts &f);
void CheckLauncher(const Facts &f, const Model &m);
void CheckBridge(const Facts &f);
void CheckDaemon(const Facts &f);
void CheckEntryNames(const Facts &f);
void CheckLibraries(const Model &m);
void CheckCommandLine(const Facts &f);
void CheckListenerWindows();

#endif
