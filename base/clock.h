// The clock of the session log's and the trace's time stamps, and the stamp's text.
#pragma once

#include <ctime>
#include <string>

// The clock the session log's time stamp is read from: 100-nanosecond intervals since
// 1601-01-01 UTC, as the system keeps them. Tests may put another date in its place.
extern unsigned long long (*sessionLogClock)();
// The local date and time of such a count, through the system's time zone conversion; all
// zero when the system cannot convert it.
std::tm localTimeFields(unsigned long long utcTicks);
// "Www Mmm dd hh:mm:ss yyyy" (24 characters), the asctime layout with a zero-padded day.
std::string formatTimeStamp(const std::tm& when);
