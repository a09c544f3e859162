// Stand-in for the runtime's C library, which the launcher loads before jvm.dll.
// It only records that it was loaded, and from where.
#include <windows.h>

#include "standin_common.h"

// Built under the names of later runtimes' C libraries too (msvcr100, vcruntime140).
#ifndef STANDIN_CLIB_NAME
#define STANDIN_CLIB_NAME "msvcr71"
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        standin::traceAttach(instance, STANDIN_CLIB_NAME);
    }
    return TRUE;
}

// A DLL with no export at all is unusual; give it one harmless entry.
extern "C" __declspec(dllexport) int KorvoStandinMsvcr71(void) { return 71; }
