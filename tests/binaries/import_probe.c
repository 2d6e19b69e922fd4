/* Takes Beep from KERNEL32.dll, which no shipped binary imports: the check
 * of the shipped binaries must refuse a system function its table of
 * imports does not list. */
#include <windows.h>

int main(int argc, char **argv)
{
    (void)argv;
    return Beep(440, (DWORD)argc) ? 0 : 1;
}
