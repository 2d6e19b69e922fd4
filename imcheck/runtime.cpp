#include "runtime.h"

#include <windows.h>

#include "win_path.h"

// A runtime in folder: a JVM library and its class library.
static bool RuntimeIn(const std::wstring &folder, Runtime &runtime)
{
    for (const wchar_t *jvm : {L"bin\\server\\jvm.dll", L"bin\\client\\jvm.dll"}) {
        if (!IsFile(folder + jvm))
            continue;
        for (const wchar_t *classes : {L"lib\\modules", L"lib\\rt.jar"})
            if (IsFile(folder + classes)) {
                runtime.folder = folder;
                runtime.jvm = folder + jvm;
                runtime.classes = folder + classes;
                return true;
            }
    }
    return false;
}

Runtime FindRuntime(const std::wstring &realLauncher)
{
    Runtime runtime;
    std::wstring bin = FolderOf(realLauncher);
    std::vector<std::wstring> above = FoldersAbove(bin);
    runtime.home = above.empty() ? bin : above.front();
    if (!RuntimeIn(runtime.home, runtime))
        RuntimeIn(runtime.home + L"jre\\", runtime);
    return runtime;
}

std::wstring LookedFor(const std::wstring &home)
{
    return L"bin\\server\\jvm.dll or bin\\client\\jvm.dll with lib\\modules or lib\\rt.jar in \"" + home +
           L"\" or in \"" + home + L"jre\\\"";
}
