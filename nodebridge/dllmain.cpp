// Library entry of nodeflags.dll: no work of its own. Loading and unloading
// never touch the database.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
    case DLL_PROCESS_DETACH:
        return TRUE;
    default:
        return FALSE;
    }
}
