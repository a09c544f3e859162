// Stand-in for the runtime's C library, which the launcher loads before jvm.dll.
// It only records that it was loaded, and from where.
#include <windows.h>

#include "standin_common.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        standin::traceAttach(instance, "msvcr71");
    }
    return TRUE;
}

// A DLL with no export at all is unusual; give it one harmless entry.
extern "C" __declspec(dllexport) int KorvoStandinMsvcr71(void) { return 71; }
