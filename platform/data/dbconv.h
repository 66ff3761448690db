#pragma once
// Text to date-time conversions of the data-set framework, by the program's format settings.
#include <string_view>

#include "datetime.h"

// A date in the short date format's order of day, month and year, separated by the date
// separator; two numbers are day and month of the current year. Two-digit years are 20yy.
bool TryTextToDate(std::string_view Text, TDateTime& Value);
// h[:n[:s[.zzz]]] with the time separator, optionally followed by AM or PM.
bool TryTextToTime(std::string_view Text, TDateTime& Value);
// A date, a time, or a date followed by a blank and a time.
bool TryTextToDateTime(std::string_view Text, TDateTime& Value);
// The conversions that raise EConvertError "'x' is not a valid date" (time, date and time).
TDateTime TextToDate(std::string_view Text);
TDateTime TextToTime(std::string_view Text);
TDateTime TextToDateTime(std::string_view Text);
