// Stand-ins for what a later runtime ships in bin besides jvm.dll and its C library, each
// recording its loading:
//   korvocrt.dll  what the C library imports in turn from its own folder (as vcruntime140.dll
//                 imports ucrtbase.dll and the api-ms-win-* files on older Windows)
//   verify.dll    (STANDIN_BIN_VERIFY) and java.dll, which the runtime loads by full path inside
//                 JNI_CreateJavaVM; java.dll imports verify.dll, the C library and a system
//                 library, as a real one does.
//   korvoapi.dll  (STANDIN_BIN_API) what Java 11 and later's jvm.dll imports from bin beyond its
//                 C library: the api-ms-win-crt-* forwarders and ucrtbase.dll they ship for
//                 Windows 7 and 8.1. Those names cannot serve here: Wine resolves api-ms-win-*
//                 as API sets to its own ucrtbase.dll, which its user32.dll loads into every
//                 process at start, so a bin copy of either is never searched for.
//   awt.dll       (STANDIN_BIN_DESKTOP) a desktop library, which the application's main has the
//                 runtime load by full path; it imports korvofont.dll (STANDIN_BIN_FONT), found
//                 only in bin, as the runtime's font library imports the font engine it ships.
#include <windows.h>

#include "standin_common.h"

#if defined(STANDIN_BIN_CRT)
#define STANDIN_WHAT "korvocrt"
extern "C" __declspec(dllexport) int KorvoStandinCrt(void) { return 140; }
#elif defined(STANDIN_BIN_API)
#define STANDIN_WHAT "korvoapi"
extern "C" __declspec(dllexport) int KorvoStandinApi(void) { return 3; }
#elif defined(STANDIN_BIN_FONT)
#define STANDIN_WHAT "korvofont"
extern "C" __declspec(dllexport) int KorvoStandinFont(void) { return 2; }
#elif defined(STANDIN_BIN_DESKTOP)
#define STANDIN_WHAT "awt"
extern "C" __declspec(dllimport) int KorvoStandinFont(void);
extern "C" __declspec(dllexport) int KorvoStandinDesktop(void) { return KorvoStandinFont(); }
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
