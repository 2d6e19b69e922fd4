/* A program that never ends by itself: the self-test's refusal table puts it
 * in a release as imcheck.exe, which must be called hung once the self-test
 * has waited its minute, and ended. */
#include <windows.h>

int main(void)
{
    Sleep(INFINITE);
    return 0;
}
