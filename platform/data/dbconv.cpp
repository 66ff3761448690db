#include "dbconv.h"

#include <cctype>
#include <string>
#include <vector>

#include "formatsettings.h"
#include "text.h"

namespace {

bool ReadNumbers(std::string_view s, char sep, std::vector<int>& out, int maxDigits) {
  out.clear();
  size_t i = 0;
  while (i <= s.size()) {
    size_t start = i;
    long long v = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
      v = v * 10 + (s[i] - '0');
      if (int(i - start) >= maxDigits) return false;
      ++i;
    }
    if (i == start) return false;
    out.push_back(int(v));
    if (i == s.size()) return true;
    if (s[i] != sep) return false;
    ++i;
  }
  return false;
}

}  // namespace

bool TryTextToDate(std::string_view Text, TDateTime& Value) {
  std::string s = Trim(Text);
  const TFormatSettings& fs = FormatSettings();
  std::vector<int> n;
  if (!ReadNumbers(s, fs.DateSeparator, n, 4) || n.size() < 2 || n.size() > 3) return false;
  // Order of day, month and year in the short date format.
  std::string fmt = LowerCase(fs.ShortDateFormat);
  size_t pd = fmt.find('d'), pm = fmt.find('m'), py = fmt.find('y');
  if (pd == std::string::npos) pd = 0;
  if (pm == std::string::npos) pm = 1;
  if (py == std::string::npos) py = 2;
  int year = 0, month = 0, day = 0;
  if (n.size() == 2) {
    int y, dummy;
    DecodeDate(::Date(), y, dummy, dummy);
    year = y;
    if (pd < pm) {
      day = n[0];
      month = n[1];
    } else {
      month = n[0];
      day = n[1];
    }
  } else {
    struct Part { size_t pos; int* target; } parts[3] = {{pd, &day}, {pm, &month}, {py, &year}};
    // Sort the three parts by their position in the format.
    for (int a = 0; a < 3; ++a)
      for (int b = a + 1; b < 3; ++b)
        if (parts[b].pos < parts[a].pos) std::swap(parts[a], parts[b]);
    for (int k = 0; k < 3; ++k) *parts[k].target = n[size_t(k)];
    size_t yearDigits = 0;
    {
      // Count the digits the year was written with.
      int idx = 0;
      for (int k = 0; k < 3; ++k)
        if (parts[k].target == &year) idx = k;
      std::vector<std::string> pieces;
      std::string cur;
      for (char c : s) {
        if (c == fs.DateSeparator) {
          pieces.push_back(cur);
          cur.clear();
        } else {
          cur += c;
        }
      }
      pieces.push_back(cur);
      yearDigits = pieces[size_t(idx)].size();
    }
    if (yearDigits <= 2) year += 2000;
  }
  return TryEncodeDate(year, month, day, Value);
}

bool TryTextToTime(std::string_view Text, TDateTime& Value) {
  std::string s = Trim(Text);
  const TFormatSettings& fs = FormatSettings();
  int pmShift = -1;  // -1 none, 0 AM, 12 PM
  auto endsWith = [&](const std::string& suffix) {
    return !suffix.empty() && s.size() >= suffix.size() &&
           SameText(std::string_view(s).substr(s.size() - suffix.size()), suffix);
  };
  for (const auto& [text, shift] : {std::pair{fs.TimeAMString, 0}, std::pair{fs.TimePMString, 12},
                                    std::pair{std::string("AM"), 0}, std::pair{std::string("PM"), 12}}) {
    if (endsWith(text)) {
      pmShift = shift;
      s = TrimRight(std::string_view(s).substr(0, s.size() - text.size()));
      break;
    }
  }
  int msec = 0;
  size_t dot = s.find('.');
  if (dot == std::string::npos && fs.DecimalSeparator != '.') dot = s.find(fs.DecimalSeparator);
  if (dot != std::string::npos) {
    std::string frac = s.substr(dot + 1);
    s.resize(dot);
    if (frac.empty() || frac.size() > 3) return false;
    for (char c : frac)
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    while (frac.size() < 3) frac += '0';
    msec = std::stoi(frac);
  }
  std::vector<int> n;
  if (!ReadNumbers(s, fs.TimeSeparator, n, 2) || n.empty() || n.size() > 3) return false;
  if (n.size() == 1 && pmShift < 0) return false;  // a bare number is no time
  int hour = n[0], minute = n.size() > 1 ? n[1] : 0, second = n.size() > 2 ? n[2] : 0;
  if (pmShift >= 0) {
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + pmShift;
  }
  return TryEncodeTime(hour, minute, second, msec, Value);
}

bool TryTextToDateTime(std::string_view Text, TDateTime& Value) {
  std::string s = Trim(Text);
  if (TryTextToDate(s, Value)) return true;
  size_t blank = s.find(' ');
  if (blank != std::string::npos) {
    TDateTime d, t;
    if (TryTextToDate(std::string_view(s).substr(0, blank), d) &&
        TryTextToTime(std::string_view(s).substr(blank + 1), t)) {
      Value = ComposeDateTime(d, t);
      return true;
    }
  }
  return TryTextToTime(s, Value);
}

TDateTime TextToDate(std::string_view Text) {
  TDateTime v;
  if (!TryTextToDate(Text, v)) throw EConvertError("'" + std::string(Text) + "' is not a valid date");
  return v;
}

TDateTime TextToTime(std::string_view Text) {
  TDateTime v;
  if (!TryTextToTime(Text, v)) throw EConvertError("'" + std::string(Text) + "' is not a valid time");
  return v;
}

TDateTime TextToDateTime(std::string_view Text) {
  TDateTime v;
  if (!TryTextToDateTime(Text, v))
    throw EConvertError("'" + std::string(Text) + "' is not a valid date and time");
  return v;
}

