// Floor for the launch benchmark: a GUI program that starts and exits.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
