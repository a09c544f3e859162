#include "launcher/guard.h"

const char kInstanceMutexName[] = "Korvo.jar";
HANDLE instanceMutex = nullptr;

namespace {

DWORD WINAPI runnableThreadStart(LPVOID parameter) {
    static_cast<IRunnable*>(parameter)->run();
    return 0;
}

}  // namespace

void MutexRunnable::run() {
    Sleep(kGuardPeriodMs);
    ReleaseMutex(instanceMutex);
    CloseHandle(instanceMutex);
}

RunnableThread::RunnableThread(IRunnable* runnable) : runnable_(runnable) {
    DWORD threadId = 0;
    CreateThread(nullptr, 0, runnableThreadStart, runnable_, 0, &threadId);
}

bool acquireInstanceGuard() {
    instanceMutex = CreateMutexA(nullptr, TRUE, kInstanceMutexName);
    if (GetLastError() == ERROR_ALREADY_EXISTS) return false;
    // Both live until the process ends; the thread is never joined.
    new RunnableThread(new MutexRunnable);
    return true;
}
