/* A program, and with -DLIBRARY a library, for the other Windows
   architecture than the build's: fixtures whose PE headers imcheck reads.
   They are never run. */
#ifdef LIBRARY
__declspec(dllexport) int Fixture(void)
{
    return 0;
}
#else
int main(void)
{
    return 0;
}
#endif
