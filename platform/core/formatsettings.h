#pragma once
// The program's own number and date format settings. Conversions read these, never the C
// locale. The initial values are fixed (they do not follow the environment) so that a run
// behaves the same everywhere; the program sets what it needs at start-up, tests set their own.
//
// Initial values: DecimalSeparator '.', ThousandSeparator ',', DateSeparator '/',
// TimeSeparator ':', ShortDateFormat "m/d/yyyy", LongDateFormat "dddd, mmmm d, yyyy",
// ShortTimeFormat "h:nn", LongTimeFormat "h:nn:ss", TimeAMString "AM", TimePMString "PM",
// CurrencyString "$", CurrencyDecimals 2, English month and day names.
#include <array>
#include <string>

struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  char DateSeparator = '/';
  char TimeSeparator = ':';
  char ListSeparator = ',';
  std::string ShortDateFormat = "m/d/yyyy";
  std::string LongDateFormat = "dddd, mmmm d, yyyy";
  std::string ShortTimeFormat = "h:nn";
  std::string LongTimeFormat = "h:nn:ss";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::string CurrencyString = "$";
  int CurrencyDecimals = 2;
  std::array<std::string, 12> ShortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> LongMonthNames{"January", "February", "March",     "April",
                                             "May",     "June",     "July",      "August",
                                             "September", "October", "November", "December"};
  // Sunday first.
  std::array<std::string, 7> ShortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 7> LongDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};
};

// The process-wide settings (user-interface thread only). Assign TFormatSettings{} to return
// to the initial values.
TFormatSettings& FormatSettings();
