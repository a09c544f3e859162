// Stand-in for the runtime's C library, which the launcher loads before jvm.dll.
// It only records that it was loaded, and from where.
#include <windows.h>

#include "standin_common.h"

// Built under the names of later runtimes' C libraries too (msvcr100, vcruntime140); like
// theirs, those import a library of their own, which lies beside them.
#ifdef STANDIN_CLIB_NAME
#define STANDIN_CLIB_IMPORTS_CRT
#else
#define STANDIN_CLIB_NAME "msvcr71"
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        standin::traceAttach(instance, STANDIN_CLIB_NAME);
    }
    return TRUE;
}

#ifdef STANDIN_CLIB_IMPORTS_CRT
extern "C" __declspec(dllimport) int KorvoStandinCrt(void);
extern "C" __declspec(dllexport) int KorvoStandinMsvcr71(void) { return KorvoStandinCrt(); }
#else
// A DLL with no export at all is unusual; give it one harmless entry.
extern "C" __declspec(dllexport) int KorvoStandinMsvcr71(void) { return 71; }
#endif
