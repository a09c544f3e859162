// Single-instance guard: the named mutex "Korvo.jar" is held for 30 seconds after a launch
// starts, so a second start within that time is refused.
#pragma once

#include <windows.h>

class IRunnable {
public:
    virtual void run() = 0;
};

// Sleeps through the guard period, then gives up the mutex so the name is free again.
class MutexRunnable : public IRunnable {
public:
    void run() override;
};

// Starts an operating-system thread on a runnable as soon as it is constructed.
class RunnableThread {
public:
    explicit RunnableThread(IRunnable* runnable);

private:
    IRunnable* runnable_;
};

constexpr DWORD kGuardPeriodMs = 30000;
extern const char kInstanceMutexName[];
extern HANDLE instanceMutex;

// Takes the mutex and starts the guard thread. False when another launch holds the name.
bool acquireInstanceGuard();
