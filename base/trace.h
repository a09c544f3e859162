// The launch trace, for whoever supports a user: with the environment variable KORVO_TRACE set
// to anything but empty or "0", every step of the launch is appended to
// %USERPROFILE%\Logs\Korvo Launch Trace.txt, one line each, starting with the milliseconds
// since the process started. Off, it costs one environment read. On, it never changes what the
// launch does; a file that cannot be written only means no trace.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>

// Reads the switch; when it is on, opens the file and writes the header.
void traceStart();
// True once the switch is on and the file is open.
bool traceEnabled();
// One line, the pieces joined, after the milliseconds.
void traceLine(std::initializer_list<std::string_view> pieces);
// The values the launch reads from the environment.
void traceEnvironment();
// Ends the current phase with a line giving its duration.
void tracePhase(const char* name);

// Call-site helpers: each traces what it is given and hands the result back unchanged. Switched
// off, none of them does any work, so call sites hand them raw values, never text built for the
// trace. Switched on, each keeps the caller's last error. Every value shown has its control
// characters (below 0x20, and 0x7F) as \u00XX, so no value can end a line or forge one.
bool traceGuard(bool acquired, const char* mutexName);
// The exit code as the trace's last line; the trace is switched off afterwards.
int traceExit(int code);
bool traceCandidate(const char* what, const char* path, bool exists);
// Reads the error code first, so it must be called right after the load.
HMODULE traceLoad(const char* path, HMODULE module);
void traceRegistryOpen(const char* path, HKEY key, LONG status);
void traceRegistryRead(HKEY key, const char* name, LONG status, DWORD type, const char* data, DWORD size);
void traceRegistryRead(HKEY key, const char* name, LONG status, DWORD type, const std::wstring& value);
// what, the path as the trace shows a value read in its wide form (quoted, a character the ANSI
// code page lacks as \uXXXX, then the short form or UTF-8 bytes it was handed on in, when it had
// to be), outcome.
void tracePath(const char* what, const std::wstring& path, std::string_view outcome);
void traceNumber(const char* what, long value);
void traceOption(int index, const std::string& text);

// Milliseconds with two decimals (cut, not rounded) in ticks of a counter of the given frequency
// (ticks per second), "0.00" without one; exact for any span and frequency.
std::string durationText(unsigned long long ticks, unsigned long long frequency);

// Pure helpers over bytes read from files and resources.
// The machine field of a PE file's header; false when the bytes are not the start of one.
bool peMachineType(const unsigned char* bytes, size_t size, unsigned& machine);
// "x86-64 (64-bit)", "i386 (32-bit)", ...; "unknown (0x....)" for the rest.
std::string machineTypeName(unsigned machine);
// "a.b.c.d" from the fixed part of a version record; empty when there is none.
std::string fixedFileVersion(const unsigned char* record, size_t size);
