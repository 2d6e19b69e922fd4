/* A launcher that imports a library of its own folder, as java.exe imports
   jli.dll, and that library; only their headers are read. */
#ifdef LIBRARY
__declspec(dllexport) int JLI_Launch(void)
{
    return 0;
}
#else
__declspec(dllimport) int JLI_Launch(void);
int main(void)
{
    return JLI_Launch();
}
#endif
