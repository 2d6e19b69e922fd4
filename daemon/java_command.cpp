// The command line the Java launcher is given, built from the install
// directory's contents. It only reads the directory, so a program that must
// start nothing (imcheck) can link it without the launcher.
#include <windows.h>

#include "install_path.h"
#include "jvm.h"

std::string ListInstallFiles(const std::string &pattern, const std::string &dir)
{
    std::string sList;
    WIN32_FIND_DATAA findData;
    HANDLE hFind = FindFirstFileA(pattern.c_str(), &findData);
    if (hFind == INVALID_HANDLE_VALUE)
        return sList;
    do {
        sList += "\"" + dir + findData.cFileName + "\";";
    } while (FindNextFileA(hFind, &findData));
    FindClose(hFind);
    return sList;
}

std::string JavaCommandLine()
{
    std::string sJars = ListInstallFiles(sInstallPath + "*.jar", sInstallPath);
    std::string sDlls = ListInstallFiles(sInstallPath + "*.dll", sInstallPath);
    return "-Djava.library.path=\"" + sInstallPath + ";\" -classpath " + sJars + sDlls + "  " +
           "quorel.im.vesk.Quorel";
}
