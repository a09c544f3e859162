#include "base/clock.h"

#include <windows.h>

namespace {

// Appends value as exactly width decimal digits (leading zeros; higher digits dropped).
void appendDigits(std::string& text, unsigned long value, int width) {
    char digits[16];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    text.append(digits, width);
}

unsigned long field(int value, int limit) {
    return value >= 0 ? static_cast<unsigned long>(value % limit) : 0;
}

unsigned long long systemClock() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

}  // namespace

unsigned long long (*sessionLogClock)() = systemClock;

std::tm localTimeFields(unsigned long long utcTicks) {
    // The system's own conversion works on 64-bit counts: no year 2038 limit, whatever the
    // width of the C library's time_t. The time zone's rules are those in force on that date.
    FILETIME utc;
    utc.dwLowDateTime = static_cast<DWORD>(utcTicks & 0xFFFFFFFFull);
    utc.dwHighDateTime = static_cast<DWORD>(utcTicks >> 32);
    SYSTEMTIME universal, fields;
    std::tm when = {};
    if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &fields))
        return when;
    when.tm_year = fields.wYear - 1900;
    when.tm_mon = fields.wMonth - 1;
    when.tm_mday = fields.wDay;
    when.tm_wday = fields.wDayOfWeek;
    when.tm_hour = fields.wHour;
    when.tm_min = fields.wMinute;
    when.tm_sec = fields.wSecond;
    return when;
}

std::string formatTimeStamp(const std::tm& when) {
    static const char kDays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int day = when.tm_wday >= 0 && when.tm_wday < 7 ? when.tm_wday : 0;
    const int month = when.tm_mon >= 0 && when.tm_mon < 12 ? when.tm_mon : 0;
    std::string text = kDays[day];
    text += ' ';
    text += kMonths[month];
    text += ' ';
    appendDigits(text, field(when.tm_mday, 100), 2);
    text += ' ';
    appendDigits(text, field(when.tm_hour, 100), 2);
    text += ':';
    appendDigits(text, field(when.tm_min, 100), 2);
    text += ':';
    appendDigits(text, field(when.tm_sec, 100), 2);
    text += ' ';
    const int year = when.tm_year > 10000 ? 10000 : when.tm_year;  // no overflow adding 1900
    appendDigits(text, field(year + 1900, 10000), 4);
    return text;
}
