// Keeps one hidden window open for the length of a test run, so Wine's desktop (and with it
// real message boxes) stays up between launches. Ended by the test script's wineserver -k.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "KorvoTestDesktopKeeper";
    RegisterClassA(&windowClass);
    CreateWindowA(windowClass.lpszClassName, "", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr,
                  instance, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
