// Stand-in for an application's native library and its own dependency: korvojni.dll, which a
// runtime loads by full path from java.library.path, imports korvodep.dll (built from this file
// with STANDIN_JNI_DEPENDENCY), which only the system's search can find. Each records its loading.
#include <windows.h>

#include "standin_common.h"

#ifdef STANDIN_JNI_DEPENDENCY
#define STANDIN_WHAT "jnidep"
extern "C" __declspec(dllexport) int KorvoStandinDependency(void) { return 2; }
#else
#define STANDIN_WHAT "jni"
extern "C" __declspec(dllimport) int KorvoStandinDependency(void);
extern "C" __declspec(dllexport) int KorvoStandinJni(void) { return KorvoStandinDependency(); }
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        standin::traceAttach(instance, STANDIN_WHAT);
    }
    return TRUE;
}
