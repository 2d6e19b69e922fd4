/* Takes FindWindowA from USER32.dll through a delay import, as the daemon
 * once did: the check of the shipped binaries must refuse such a program. */
#include <windows.h>

int main(void)
{
    return FindWindowA(0, "no such window") != 0;
}
