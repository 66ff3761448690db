#include "datetime.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "formatsettings.h"
#include "numbers.h"

namespace {

// Days from 1970-01-01 in the proleptic Gregorian calendar.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (m <= 2));
}

const long long kEpoch = DaysFromCivil(1899, 12, 30);  // day 0 of TDateTime
constexpr int kMaxDate = 3652059;                      // 9999-12-31 as a time stamp date

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& value) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  value = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpoch);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime v = 0;
  if (!TryEncodeDate(year, month, day, v)) throw EConvertError("Invalid argument to date encode");
  return v;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& value) {
  if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60 || second < 0 || second >= 60 || msec < 0 ||
      msec >= 1000)
    return false;
  value = (((hour * 60 + minute) * 60 + second) * 1000.0 + msec) / MSecsPerDay;
  return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  TDateTime v = 0;
  if (!TryEncodeTime(hour, minute, second, msec, v)) throw EConvertError("Invalid argument to time encode");
  return v;
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
  return date < 0 ? date - std::fabs(time) : date + std::fabs(time);
}

TTimeStamp DateTimeToTimeStamp(TDateTime value) {
  // Beyond this the day no longer fits the stamp; real dates stay far inside.
  if (!std::isfinite(value) || std::fabs(value) > 1.0e9) throw EConvertError("Invalid date and time value");
  const int64_t ms = Round(value * MSecsPerDay);
  TTimeStamp ts;
  ts.Date = DateDelta + static_cast<int>(ms / MSecsPerDay);
  ts.Time = static_cast<int>((ms < 0 ? -ms : ms) % MSecsPerDay);
  return ts;
}

TDateTime TimeStampToDateTime(const TTimeStamp& stamp) {
  const double days = static_cast<double>(stamp.Date) - DateDelta;
  const double t = static_cast<double>(stamp.Time) / MSecsPerDay;
  return days < 0 ? days - t : days + t;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  const TTimeStamp ts = DateTimeToTimeStamp(value);
  if (ts.Date < 1 || ts.Date > kMaxDate) {
    year = month = day = 0;
    return;
  }
  CivilFromDays(static_cast<long long>(ts.Date) - DateDelta + kEpoch, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec) {
  const int t = DateTimeToTimeStamp(value).Time;
  hour = t / 3600000;
  minute = t / 60000 % 60;
  second = t / 1000 % 60;
  msec = t % 1000;
}

int DayOfWeek(TDateTime value) {
  const int d = DateTimeToTimeStamp(value).Date;
  return ((d % 7) + 7) % 7 + 1;
}

TDateTime Now() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t secs = system_clock::to_time_t(now);
  const int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm tm{};
  localtime_r(&secs, &tm);
  return EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) +
         EncodeTime(tm.tm_hour, tm.tm_min, std::min(tm.tm_sec, 59), ms < 0 ? 0 : ms);
}

TDateTime Date() { return std::trunc(Now()); }

TDateTime Time() {
  const TDateTime n = Now();
  return n - std::trunc(n);
}

// --- formatting ------------------------------------------------------------------------------

namespace {

char Up(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool StartsWithNoCase(std::string_view s, size_t i, std::string_view what) {
  if (i + what.size() > s.size()) return false;
  for (size_t k = 0; k < what.size(); ++k)
    if (Up(s[i + k]) != Up(what[k])) return false;
  return true;
}

std::string Pad(int v, int width) {
  std::string s = std::to_string(v);
  while (static_cast<int>(s.size()) < width) s.insert(s.begin(), '0');
  return s;
}

// True when the pattern asks for a 12-hour clock.
bool UsesAmPm(std::string_view f) {
  char quote = 0;
  for (size_t i = 0; i < f.size(); ++i) {
    if (quote) {
      if (f[i] == quote) quote = 0;
    } else if (f[i] == '"' || f[i] == '\'') {
      quote = f[i];
    } else if (StartsWithNoCase(f, i, "am/pm") || StartsWithNoCase(f, i, "a/p") ||
               StartsWithNoCase(f, i, "ampm")) {
      return true;
    }
  }
  return false;
}

void Format(std::string& out, std::string_view f, TDateTime value, int depth) {
  const TFormatSettings& fs = FormatSettings();
  int y, mo, d, h, mi, s, ms;
  DecodeDate(value, y, mo, d);
  DecodeTime(value, h, mi, s, ms);
  const bool ampm = UsesAmPm(f);
  const int h12 = h % 12 == 0 ? 12 : h % 12;
  char lastLetter = 0;
  for (size_t i = 0; i < f.size();) {
    const char c = f[i];
    const char u = Up(c);
    size_t n = 1;
    while (i + n < f.size() && Up(f[i + n]) == u) ++n;
    switch (u) {
      case '"':
      case '\'': {
        const size_t end = f.find(c, i + 1);
        const size_t stop = end == std::string_view::npos ? f.size() : end;
        out.append(f.substr(i + 1, stop - i - 1));
        i = end == std::string_view::npos ? f.size() : end + 1;
        continue;
      }
      case '/':
        out += fs.DateSeparator;
        i += 1;
        continue;
      case ':':
        out += fs.TimeSeparator;
        i += 1;
        continue;
      case 'Y':
        out += n <= 2 ? Pad(y % 100, 2) : Pad(y, 4);
        break;
      case 'M':
        if (lastLetter == 'H') {
          out += Pad(mi, n >= 2 ? 2 : 1);
        } else if (n <= 2) {
          out += Pad(mo, static_cast<int>(n));
        } else if (mo >= 1) {
          out += n == 3 ? fs.ShortMonthNames[static_cast<size_t>(mo - 1)] : fs.LongMonthNames[static_cast<size_t>(mo - 1)];
        }
        break;
      case 'D':
        if (n <= 2) {
          out += Pad(d, static_cast<int>(n));
        } else if (n <= 4) {
          const auto dow = static_cast<size_t>(DayOfWeek(value) - 1);
          out += n == 3 ? fs.ShortDayNames[dow] : fs.LongDayNames[dow];
        } else if (depth < 2) {
          Format(out, n == 5 ? fs.ShortDateFormat : fs.LongDateFormat, value, depth + 1);
        }
        break;
      case 'H':
        out += Pad(ampm ? h12 : h, n >= 2 ? 2 : 1);
        break;
      case 'N':
        out += Pad(mi, n >= 2 ? 2 : 1);
        break;
      case 'S':
        out += Pad(s, n >= 2 ? 2 : 1);
        break;
      case 'Z':
        out += Pad(ms, n >= 2 ? 3 : 1);
        break;
      case 'T':
        if (depth < 2) Format(out, n == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, value, depth + 1);
        break;
      case 'C':
        if (depth < 2) {
          Format(out, fs.ShortDateFormat, value, depth + 1);
          if (h != 0 || mi != 0 || s != 0 || ms != 0) {
            out += ' ';
            Format(out, fs.LongTimeFormat, value, depth + 1);
          }
        }
        n = 1;
        break;
      case 'A':
        if (StartsWithNoCase(f, i, "am/pm")) {
          out += h < 12 ? std::string(f.substr(i, 2)) : std::string(f.substr(i + 3, 2));
          n = 5;
        } else if (StartsWithNoCase(f, i, "a/p")) {
          out += h < 12 ? f[i] : f[i + 2];
          n = 3;
        } else if (StartsWithNoCase(f, i, "ampm")) {
          out += h < 12 ? fs.TimeAMString : fs.TimePMString;
          n = 4;
        } else {
          out.append(f.substr(i, n));
        }
        break;
      default:
        out.append(f.substr(i, n));
        i += n;
        continue;  // literals leave the hour context alone
    }
    lastLetter = u;
    i += n;
  }
}

}  // namespace

std::string FormatDateTime(std::string_view format, TDateTime value) {
  std::string out;
  Format(out, format.empty() ? std::string_view("c") : format, value, 0);
  return out;
}

std::string DateTimeToStr(TDateTime value) { return FormatDateTime("c", value); }
std::string DateToStr(TDateTime value) { return FormatDateTime(FormatSettings().ShortDateFormat, value); }
std::string TimeToStr(TDateTime value) { return FormatDateTime(FormatSettings().LongTimeFormat, value); }
