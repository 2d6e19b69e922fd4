/* A program that crashes as soon as it runs, with an access violation: the
 * self-test's refusal table puts it in a release as imdaemon.exe, which must
 * be named as a crash. The pointer is volatile, so the compiler cannot see
 * that it is null and make the store into another fault. */
int main(void)
{
    int *volatile nowhere = 0;
    *nowhere = 1;
    return 0;
}
