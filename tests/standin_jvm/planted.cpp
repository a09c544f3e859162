// A DLL that tests copy into places the launcher must never load from (its start folder,
// the current directory). Being loaded is all it does, and it says so in two places: the
// trace, and a separate mark file that still works when the trace is not set up.
#include <windows.h>

#include "standin_common.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        std::string line = "PLANTED " + standin::utf8(standin::modulePath(instance));
        bool present = false;
        std::wstring trace = standin::envVar(L"KORVO_STANDIN_TRACE", &present);
        if (!trace.empty()) standin::appendLine(trace, line);
        std::wstring mark = standin::envVar(L"KORVO_PLANTED_MARK", &present);
        if (!mark.empty()) standin::appendLine(mark, line);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) int KorvoStandinPlanted(void) { return 1; }
// What the stand-ins import from msvcr71.dll, winmm.dll and psapi.dll, so a copy planted
// under one of those names gets loaded.
extern "C" __declspec(dllexport) int KorvoStandinMsvcr71(void) { return 71; }
extern "C" __declspec(dllexport) DWORD WINAPI timeGetTime(void) { return 0; }
extern "C" __declspec(dllexport) BOOL WINAPI EnumProcesses(DWORD*, DWORD, DWORD*) { return FALSE; }
