#pragma once
// Date and time: TDateTime is days since 1899-12-30 00:00 as a double, the fraction being the
// time of day. For a value before that day the integer part (toward zero) is the day and the
// fraction's magnitude the time: -1.25 is 1899-12-29 06:00, and -0.5 is 1899-12-30 12:00
// (the same moment as 0.5). Formatting uses the program's format settings, never the C locale.
#include <string>
#include <string_view>

#include "exceptions.h"

using TDateTime = double;

struct TTimeStamp {
  int Time = 0;  // milliseconds since midnight
  int Date = 0;  // days, 1 being 0001-01-01 (so 693594 is 1899-12-30)
};

inline constexpr int DateDelta = 693594;
inline constexpr int MSecsPerDay = 86400000;

bool IsLeapYear(int year);
// 0 for a month outside 1..12.
int DaysInMonth(int year, int month);

// Raises EConvertError "Invalid argument to date encode" outside 0001-01-01..9999-12-31.
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeDate(int year, int month, int day, TDateTime& value);
// The time as a fraction of a day; EConvertError "Invalid argument to time encode" unless
// hour < 24, minute < 60, second < 60, msec < 1000.
TDateTime EncodeTime(int hour, int minute, int second, int msec);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value);
// Date plus time of day for any date: before 1899-12-30 the time is subtracted, so that the
// result decodes to the same date and time (EncodeDate + EncodeTime would not).
TDateTime ComposeDateTime(TDateTime date, TDateTime time);

// Year, month and day are 0 for a value before 0001-01-01 or after 9999-12-31.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);
// 1 = Sunday .. 7 = Saturday.
int DayOfWeek(TDateTime value);

// Milliseconds are rounded; EConvertError for a value that is not finite or out of range.
TTimeStamp DateTimeToTimeStamp(TDateTime value);
TDateTime TimeStampToDateTime(const TTimeStamp& stamp);

TDateTime Now();   // local date and time, millisecond resolution
TDateTime Date();  // local date, time 00:00
TDateTime Time();  // local time of day

// Patterns (letters in any case): d dd ddd dddd ddddd (short date) dddddd (long date),
// m mm mmm mmmm (minutes right after h/hh), yy yyyy, h hh, n nn, s ss, z zzz, am/pm a/p ampm,
// c (short date and, when not midnight, long time), t (short time), tt (long time),
// "/" the date separator, ":" the time separator, "..." and '...' literals.
// An empty pattern is "c".
std::string FormatDateTime(std::string_view format, TDateTime value);
std::string DateTimeToStr(TDateTime value);  // FormatDateTime("c")
std::string DateToStr(TDateTime value);      // ShortDateFormat
std::string TimeToStr(TDateTime value);      // LongTimeFormat
