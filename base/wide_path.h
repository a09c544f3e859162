// Paths from outside (environment, registry, file system, the executable's own path) are read
// in their wide form, then handed to the runtime as ANSI text. A character the ANSI code page
// lacks is never handed on in the system's best-fit form (Ł as L), which names another file or
// folder: the path's short (8.3) form takes its place, or else text that names nothing. A UTF-8
// code page counts as holding ASCII only: Java 8 and 17.0.4, among others, read the options in
// the system locale's legacy code page.
#pragma once

#include <string>

// The two halves of a character beyond U+FFFF in UTF-16; either alone is no character.
inline bool highSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool lowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The ANSI bytes of text, when the code page holds every character of it (a UTF-8 one: ASCII).
bool exactAnsi(const std::wstring& text, std::string& ansi);
// The same for a listed file or folder name, in one conversion into ansi's own storage, which a
// scan reuses from name to name. False when the code page lacks a character: ansi then holds
// nothing of use.
bool exactAnsiName(const wchar_t* name, std::string& ansi);
// The wide form of ANSI text (of text that exactAnsi or ansiPath produced, the path it came from).
std::wstring widenAnsi(const std::string& ansi);

// The path without the "\\?\" that lets the wide file functions pass the system's length limit:
// the runtime takes paths as text, where it would name a server "?". "\\?\C:\Apps" gives "C:\Apps",
// "\\?\UNC\srv\share" gives "\\srv\share"; other such paths stay as they are. Every path text
// below is built from this form.
std::wstring withoutLongPathPrefix(const std::wstring& path);

// Its exact ANSI bytes, else its short form when that is plain ANSI (short names may be off, or
// the path may not exist); false when neither can be had, and ansi is left as it was.
bool heldAnsiPath(const std::wstring& path, std::string& ansi);
// heldAnsiPath's text, else, in a UTF-8 code page, the path's UTF-8 bytes (false at a lone
// surrogate, which has none).
bool ansiPath(const std::wstring& path, std::string& ansi);
// Like ansiPath, but a path that cannot be expressed becomes text that names nothing: each lost
// character turns into "?", which no file or folder name holds.
std::string ansiPathOrNothing(const std::wstring& path);

// An environment variable's whole value; false when it is unset.
bool readEnvironment(const wchar_t* name, std::wstring& value);
