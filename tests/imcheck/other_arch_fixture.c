/* A 32-bit program, and with -DLIBRARY a 32-bit library: fixtures whose PE
   headers imcheck reads. They are never run. */
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
