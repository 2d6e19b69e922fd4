// The Java application's use of nodeflags, played without a JVM.
#ifndef SIM_JAVAAPP_BRIDGE_CLIENT_H
#define SIM_JAVAAPP_BRIDGE_CLIENT_H

#include <string>

// Loads nodeflags.dll from the current directory and, through a minimal JNI
// environment, calls InitializeDB, UpdateMenu for each line "<host> <field>
// <true|false>" of callsPath, then UninitializeDB. Each call and its result
// goes to record(key, value).
void RunBridgeCalls(const std::string &callsPath, void (*record)(const char *, const std::string &));

#endif
