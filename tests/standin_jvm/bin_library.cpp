// Stand-ins for what a later runtime ships in bin besides jvm.dll and its C library, each
// recording its loading:
//   korvocrt.dll  what the C library imports in turn from its own folder (as vcruntime140.dll
//                 imports ucrtbase.dll and the api-ms-win-* files on older Windows)
//   verify.dll    (STANDIN_BIN_VERIFY) and java.dll, which the runtime loads by full path inside
//                 JNI_CreateJavaVM; java.dll imports verify.dll, the C library and a system
//                 library, as a real one does.
#include <windows.h>

#include "standin_common.h"

#if defined(STANDIN_BIN_CRT)
#define STANDIN_WHAT "korvocrt"
extern "C" __declspec(dllexport) int KorvoStandinCrt(void) { return 140; }
#elif defined(STANDIN_BIN_VERIFY)
#define STANDIN_WHAT "verify"
extern "C" __declspec(dllexport) int KorvoStandinVerify(void) { return 1; }
#else
#define STANDIN_WHAT "java"
#define STANDIN_SYSTEM_IMPORT L"psapi.dll"
extern "C" __declspec(dllimport) int KorvoStandinVerify(void);
extern "C" __declspec(dllimport) int KorvoStandinMsvcr71(void);
extern "C" __declspec(dllimport) BOOL WINAPI EnumProcesses(DWORD*, DWORD, DWORD*);
extern "C" __declspec(dllexport) int KorvoStandinJava(void) {
    DWORD ids[1], got = 0;
    return KorvoStandinVerify() + KorvoStandinMsvcr71() + EnumProcesses(ids, sizeof ids, &got);
}
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        standin::traceAttach(instance, STANDIN_WHAT);
#ifdef STANDIN_SYSTEM_IMPORT
        standin::traceSystemImport(STANDIN_SYSTEM_IMPORT);
#endif
    }
    return TRUE;
}
