#include "oclconv.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "classes.h"
#include "numbers.h"
#include "streams.h"
#include "text.h"

TTraceProc TraceProc = nullptr;

int CTypeSize(SQLSMALLINT CType) {
  switch (CType) {
    case SQL_C_CHAR:
    case SQL_C_BINARY: return 256;
    case SQL_C_FLOAT:
    case SQL_C_SLONG:
    case SQL_C_ULONG: return 4;
    case SQL_C_DOUBLE:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: return 8;
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME: return 6;
    case SQL_C_TYPE_TIMESTAMP: return 16;
    case SQL_C_BIT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT: return 1;
    case SQL_C_SSHORT:
    case SQL_C_USHORT: return 2;
    default: return 0;
  }
}

SQLSMALLINT CTypeToSQLType(SQLSMALLINT CType) {
  switch (CType) {
    case SQL_C_CHAR: return SQL_CHAR;
    case SQL_C_FLOAT: return SQL_REAL;
    case SQL_C_DOUBLE: return SQL_DOUBLE;
    case SQL_C_TYPE_DATE: return SQL_TYPE_DATE;
    case SQL_C_TYPE_TIME: return SQL_TYPE_TIME;
    case SQL_C_TYPE_TIMESTAMP: return SQL_TYPE_TIMESTAMP;
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT: return SQL_TINYINT;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: return SQL_BIGINT;
    case SQL_C_SLONG:
    case SQL_C_ULONG: return SQL_INTEGER;
    case SQL_C_SSHORT:
    case SQL_C_USHORT: return SQL_SMALLINT;
    case SQL_C_BIT: return SQL_BIT;
    case SQL_C_BINARY: return SQL_BINARY;
    default: return 99;
  }
}

namespace {

template <class T>
T Load(const void* Buffer) {
  T v;
  std::memcpy(&v, Buffer, sizeof v);
  return v;
}

template <class T>
void Store(void* Buffer, T v) {
  std::memcpy(Buffer, &v, sizeof v);
}

// Unsigned decimal without sign or blanks, the whole text (Val would also take a sign, blanks
// and hexadecimal, none of which belongs in a date field).
bool ParseDigits(std::u32string_view s, uint64_t& v) {
  if (s.empty() || s.size() > 18) return false;
  v = 0;
  for (char32_t c : s) {
    if (c < U'0' || c > U'9') return false;
    v = v * 10 + (c - U'0');
  }
  return true;
}

std::u32string Chars(std::string_view s) {
  std::u32string out;
  for (size_t i = 0; i < s.size();) out.push_back(Utf8Next(s, i));
  return out;
}

// Integer text by Val, then checked against [lo, hi]; false stores 0.
template <class T>
bool StoreInteger(std::string_view text, void* Buffer, int64_t lo, int64_t hi) {
  int64_t v = 0;
  if (ValInt64(text, v) != 0 || v < lo || v > hi) {
    Store<T>(Buffer, T(0));
    return false;
  }
  Store<T>(Buffer, static_cast<T>(v));
  return true;
}

bool StoreUBigInt(std::string_view text, void* Buffer) {
  // Unsigned 64-bit values above the signed range: parse the digits directly.
  std::string_view t = text;
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  uint64_t v = 0;
  bool ok = !t.empty() && t.size() <= 20;
  for (char c : t) {
    if (!ok) break;
    if (c < '0' || c > '9') { ok = false; break; }
    const uint64_t d = uint64_t(c - '0');
    if (v > (std::numeric_limits<uint64_t>::max() - d) / 10) { ok = false; break; }
    v = v * 10 + d;
  }
  Store<uint64_t>(Buffer, ok ? v : 0);
  return ok;
}

bool TextToDateParts(std::u32string_view c, void* Buffer, bool withTime, bool timeOnly) {
  uint64_t v = 0;
  auto field = [&](size_t pos1, size_t len) { return ParseDigits(c.substr(pos1 - 1, len), v); };
  if (timeOnly) {
    if (c.size() < 8) return false;
    if (!field(1, 2)) return false;
    Store<SQLUSMALLINT>(OffsetPtr(Buffer, offsetof(SQL_TIME_STRUCT, hour)), SQLUSMALLINT(v));
    if (!field(4, 2)) return false;
    Store<SQLUSMALLINT>(OffsetPtr(Buffer, offsetof(SQL_TIME_STRUCT, minute)), SQLUSMALLINT(v));
    if (!field(7, 2)) return false;
    Store<SQLUSMALLINT>(OffsetPtr(Buffer, offsetof(SQL_TIME_STRUCT, second)), SQLUSMALLINT(v));
    return true;
  }
  if (c.size() < (withTime ? 21u : 10u)) return false;
  // SQL_DATE_STRUCT and SQL_TIMESTAMP_STRUCT share the layout of year, month and day.
  if (!field(1, 4)) return false;
  Store<SQLSMALLINT>(OffsetPtr(Buffer, offsetof(SQL_TIMESTAMP_STRUCT, year)), SQLSMALLINT(v));
  if (!field(6, 2)) return false;
  Store<SQLUSMALLINT>(OffsetPtr(Buffer, offsetof(SQL_TIMESTAMP_STRUCT, month)), SQLUSMALLINT(v));
  if (!field(9, 2)) return false;
  Store<SQLUSMALLINT>(OffsetPtr(Buffer, offsetof(SQL_TIMESTAMP_STRUCT, day)), SQLUSMALLINT(v));
  if (!withTime) return true;
  if (!field(12, 2)) return false;
  Store<SQLUSMALLINT>(OffsetPtr(Buffer, offsetof(SQL_TIMESTAMP_STRUCT, hour)), SQLUSMALLINT(v));
  if (!field(15, 2)) return false;
  Store<SQLUSMALLINT>(OffsetPtr(Buffer, offsetof(SQL_TIMESTAMP_STRUCT, minute)), SQLUSMALLINT(v));
  if (!field(18, 2)) return false;
  Store<SQLUSMALLINT>(OffsetPtr(Buffer, offsetof(SQL_TIMESTAMP_STRUCT, second)), SQLUSMALLINT(v));
  // The fraction is a decimal fraction of a second: ".5" is half a second.
  const std::u32string_view frac = c.substr(20);
  if (frac.size() > 9 || !ParseDigits(frac, v)) return false;
  for (size_t i = frac.size(); i < 9; ++i) v *= 10;
  Store<SQLUINTEGER>(OffsetPtr(Buffer, offsetof(SQL_TIMESTAMP_STRUCT, fraction)), SQLUINTEGER(v));
  return true;
}

size_t BoundedLength(const void* Buffer, size_t Capacity) {
  const void* z = std::memchr(Buffer, 0, Capacity == SIZE_MAX ? std::strlen(static_cast<const char*>(Buffer)) + 1 : Capacity);
  return z ? size_t(static_cast<const char*>(z) - static_cast<const char*>(Buffer)) : Capacity;
}

[[noreturn]] void RangeError(const std::string& value, const char* target) {
  throw EConvertError("Value " + value + " is out of range for " + target);
}

int64_t RoundChecked(double v, const char* target) {
  // Only values that round into the 64-bit range may reach the conversion.
  if (!std::isfinite(v) || v >= 9223372036854775808.0 || v < -9223372036854775808.0)
    RangeError(FloatToStr(v), target);
  return Round(v);
}

int32_t To32(int64_t v, const std::string& text) {
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    RangeError(text, "a 32-bit integer");
  return int32_t(v);
}

}  // namespace

bool TextToBuffer(std::string_view Text, void* Buffer, size_t Capacity, SQLSMALLINT CType,
                  TStringTrimming Trimming) {
  const size_t need = CType == SQL_C_CHAR || CType == SQL_C_BINARY ? 0 : size_t(CTypeSize(CType));
  if (CTypeSize(CType) == 0 || Buffer == nullptr || Capacity < need) return false;
  const std::string text = TrimString(Text, Trimming);
  switch (CType) {
    case SQL_C_CHAR:
      if (text.size() + 1 > Capacity) return false;
      std::memcpy(Buffer, text.data(), text.size());
      static_cast<char*>(Buffer)[text.size()] = 0;
      return true;
    case SQL_C_BINARY:
      if (text.size() > Capacity) return false;
      std::memcpy(Buffer, text.data(), text.size());
      return true;
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE: {
      double v = 0;
      bool ok = ValFloat(text, v) == 0 && std::isfinite(v);
      if (CType == SQL_C_FLOAT) {
        if (ok && std::fabs(v) > double(std::numeric_limits<float>::max())) ok = false;
        Store<float>(Buffer, ok ? float(v) : 0.0f);
      } else {
        Store<double>(Buffer, ok ? v : 0.0);
      }
      return ok;
    }
    case SQL_C_BIT: return StoreInteger<uint8_t>(text, Buffer, 0, 1);
    case SQL_C_STINYINT: return StoreInteger<int8_t>(text, Buffer, -128, 127);
    case SQL_C_UTINYINT: return StoreInteger<uint8_t>(text, Buffer, 0, 255);
    case SQL_C_SSHORT: return StoreInteger<int16_t>(text, Buffer, -32768, 32767);
    case SQL_C_USHORT: return StoreInteger<uint16_t>(text, Buffer, 0, 65535);
    case SQL_C_SLONG:
      return StoreInteger<int32_t>(text, Buffer, std::numeric_limits<int32_t>::min(),
                                   std::numeric_limits<int32_t>::max());
    case SQL_C_ULONG: return StoreInteger<uint32_t>(text, Buffer, 0, 4294967295LL);
    case SQL_C_SBIGINT:
      return StoreInteger<int64_t>(text, Buffer, std::numeric_limits<int64_t>::min(),
                                   std::numeric_limits<int64_t>::max());
    case SQL_C_UBIGINT: return StoreUBigInt(text, Buffer);
    case SQL_C_TYPE_DATE: return TextToDateParts(Chars(text), Buffer, false, false);
    case SQL_C_TYPE_TIME: return TextToDateParts(Chars(text), Buffer, false, true);
    case SQL_C_TYPE_TIMESTAMP: return TextToDateParts(Chars(text), Buffer, true, false);
    default: return false;
  }
}

std::string BufferToText(const void* Buffer, SQLSMALLINT CType, TStringTrimming Trimming,
                         size_t Capacity) {
  std::string s;
  if (Buffer == nullptr) return s;
  switch (CType) {
    case SQL_C_CHAR: s.assign(static_cast<const char*>(Buffer), BoundedLength(Buffer, Capacity)); break;
    case SQL_C_FLOAT: s = StrFloat(Load<float>(Buffer), 23); break;
    case SQL_C_DOUBLE: s = StrFloat(Load<double>(Buffer), 23); break;
    case SQL_C_UTINYINT:
    case SQL_C_BIT: s = std::to_string(Load<uint8_t>(Buffer)); break;
    case SQL_C_USHORT: s = std::to_string(Load<uint16_t>(Buffer)); break;
    case SQL_C_ULONG: s = std::to_string(Load<uint32_t>(Buffer)); break;
    case SQL_C_STINYINT: s = std::to_string(Load<int8_t>(Buffer)); break;
    case SQL_C_SSHORT: s = std::to_string(Load<int16_t>(Buffer)); break;
    case SQL_C_SLONG: s = std::to_string(Load<int32_t>(Buffer)); break;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: s = std::to_string(Load<int64_t>(Buffer)); break;
    case SQL_C_TYPE_DATE: {
      const auto d = Load<SQL_DATE_STRUCT>(Buffer);
      s = IntToStrZero(d.year, 1) + "-" + IntToStrZero(d.month, 1) + "-" + IntToStrZero(d.day, 1);
      break;
    }
    case SQL_C_TYPE_TIME: {
      const auto t = Load<SQL_TIME_STRUCT>(Buffer);
      s = IntToStrZero(t.hour, 1) + ":" + IntToStrZero(t.minute, 1) + ":" + IntToStrZero(t.second, 1);
      break;
    }
    case SQL_C_TYPE_TIMESTAMP: {
      const auto t = Load<SQL_TIMESTAMP_STRUCT>(Buffer);
      s = IntToStrZero(t.year, 1) + "-" + IntToStrZero(t.month, 1) + "-" + IntToStrZero(t.day, 1) +
          " " + IntToStrZero(t.hour, 1) + ":" + IntToStrZero(t.minute, 1) + ":" +
          IntToStrZero(t.second, 1) + "." + IntToStrZero(t.fraction, 8);
      break;
    }
    default: break;
  }
  return TrimString(s, Trimming);
}

double BufferToDouble(const void* Buffer, SQLSMALLINT CType, size_t Capacity) {
  if (Buffer == nullptr) return 0;
  switch (CType) {
    case SQL_C_CHAR: {
      double v = 0;
      return ValFloat(BufferToText(Buffer, CType, stTrimBoth, Capacity), v) == 0 ? v : 0;
    }
    case SQL_C_FLOAT: return Load<float>(Buffer);
    case SQL_C_DOUBLE: return Load<double>(Buffer);
    case SQL_C_BIT:
    case SQL_C_UTINYINT: return Load<uint8_t>(Buffer);
    case SQL_C_STINYINT: return Load<int8_t>(Buffer);
    case SQL_C_SSHORT: return Load<int16_t>(Buffer);
    case SQL_C_USHORT: return Load<uint16_t>(Buffer);
    case SQL_C_SLONG: return Load<int32_t>(Buffer);
    case SQL_C_ULONG: return Load<uint32_t>(Buffer);
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: return double(Load<int64_t>(Buffer));
    default: return 0;
  }
}

int32_t BufferToInteger(const void* Buffer, SQLSMALLINT CType, size_t Capacity) {
  if (Buffer == nullptr) return 0;
  switch (CType) {
    case SQL_C_CHAR: {
      const std::string t = BufferToText(Buffer, CType, stTrimBoth, Capacity);
      int64_t v = 0;
      if (ValInt64(t, v) != 0) return 0;
      return To32(v, t);
    }
    case SQL_C_FLOAT:
    case SQL_C_DOUBLE: {
      const double d = CType == SQL_C_FLOAT ? double(Load<float>(Buffer)) : Load<double>(Buffer);
      const int64_t v = RoundChecked(d, "a 32-bit integer");
      return To32(v, std::to_string(v));
    }
    case SQL_C_BIT:
    case SQL_C_UTINYINT: return Load<uint8_t>(Buffer);
    case SQL_C_STINYINT: return Load<int8_t>(Buffer);
    case SQL_C_SSHORT: return Load<int16_t>(Buffer);
    case SQL_C_USHORT: return Load<uint16_t>(Buffer);
    case SQL_C_SLONG: return Load<int32_t>(Buffer);
    case SQL_C_ULONG: {
      const uint32_t v = Load<uint32_t>(Buffer);
      return To32(int64_t(v), std::to_string(v));
    }
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: {
      const int64_t v = Load<int64_t>(Buffer);
      return To32(v, std::to_string(v));
    }
    default: return 0;
  }
}

int64_t BufferToInt64(const void* Buffer, SQLSMALLINT CType, size_t Capacity) {
  if (Buffer == nullptr) return 0;
  switch (CType) {
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: return Load<int64_t>(Buffer);
    case SQL_C_ULONG: return Load<uint32_t>(Buffer);
    case SQL_C_FLOAT: return RoundChecked(double(Load<float>(Buffer)), "a 64-bit integer");
    case SQL_C_DOUBLE: return RoundChecked(Load<double>(Buffer), "a 64-bit integer");
    case SQL_C_CHAR: {
      int64_t v = 0;
      return ValInt64(BufferToText(Buffer, CType, stTrimBoth, Capacity), v) == 0 ? v : 0;
    }
    default: return BufferToInteger(Buffer, CType, Capacity);
  }
}

std::string TimestampText(const SQL_TIMESTAMP_STRUCT& Stamp, SQLSMALLINT CType) {
  // A year of fewer digits would move every later field from the place TextToBuffer reads it.
  const std::string date = IntToStrZero(Stamp.year, 3) + "-" + IntToStrZero(Stamp.month, 1) + "-" +
                           IntToStrZero(Stamp.day, 1);
  const std::string time = IntToStrZero(Stamp.hour, 1) + ":" + IntToStrZero(Stamp.minute, 1) + ":" +
                           IntToStrZero(Stamp.second, 1);
  if (CType == SQL_C_TYPE_DATE) return date;
  if (CType == SQL_C_TYPE_TIME) return time;
  return date + " " + time + "." + IntToStrZero(Stamp.fraction, 8);
}

std::string CTypeName(SQLSMALLINT CType) {
  switch (CType) {
    case SQL_C_CHAR: return "SQL_C_CHAR";
    case SQL_C_BINARY: return "SQL_C_BINARY";
    case SQL_C_FLOAT: return "SQL_C_FLOAT";
    case SQL_C_DOUBLE: return "SQL_C_DOUBLE";
    case SQL_C_BIT: return "SQL_C_BIT";
    case SQL_C_STINYINT: return "SQL_C_STINYINT";
    case SQL_C_UTINYINT: return "SQL_C_UTINYINT";
    case SQL_C_SSHORT: return "SQL_C_SSHORT";
    case SQL_C_USHORT: return "SQL_C_USHORT";
    case SQL_C_SLONG: return "SQL_C_SLONG";
    case SQL_C_ULONG: return "SQL_C_ULONG";
    case SQL_C_SBIGINT: return "SQL_C_SBIGINT";
    case SQL_C_UBIGINT: return "SQL_C_UBIGINT";
    case SQL_C_TYPE_DATE: return "SQL_C_TYPE_DATE";
    case SQL_C_TYPE_TIME: return "SQL_C_TYPE_TIME";
    case SQL_C_TYPE_TIMESTAMP: return "SQL_C_TYPE_TIMESTAMP";
    default: return "C type " + std::to_string(CType);
  }
}

SQL_TIMESTAMP_STRUCT& BufferToTimestamp(const void* Buffer, SQLSMALLINT CType,
                                        SQL_TIMESTAMP_STRUCT& Stamp) {
  ClearTimestamp(Stamp);
  if (Buffer == nullptr) return Stamp;
  switch (CType) {
    case SQL_C_TYPE_DATE: DateToTimestamp(Load<SQL_DATE_STRUCT>(Buffer), Stamp); break;
    case SQL_C_TYPE_TIME: TimeToTimestamp(Load<SQL_TIME_STRUCT>(Buffer), Stamp); break;
    case SQL_C_TYPE_TIMESTAMP: Stamp = Load<SQL_TIMESTAMP_STRUCT>(Buffer); break;
    default: break;
  }
  return Stamp;
}

bool TextToTimestamp(std::string_view Text, SQL_TIMESTAMP_STRUCT& Stamp) {
  ClearTimestamp(Stamp);
  size_t i = 0;
  // Exactly Width digits at i.
  auto number = [&](size_t Width, int& Value) {
    if (i + Width > Text.size()) return false;
    Value = 0;
    for (size_t k = 0; k < Width; ++k) {
      const char c = Text[i + k];
      if (c < '0' || c > '9') return false;
      Value = Value * 10 + (c - '0');
    }
    i += Width;
    return true;
  };
  auto separator = [&](char C) { return i < Text.size() && Text[i++] == C; };
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  if (!number(4, y) || !separator('-') || !number(2, mo) || !separator('-') || !number(2, d)) return false;
  if (mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo)) return false;
  Stamp.year = SQLSMALLINT(y);
  Stamp.month = SQLUSMALLINT(mo);
  Stamp.day = SQLUSMALLINT(d);
  if (i == Text.size()) return true;
  if (Text[i] != ' ' && Text[i] != 'T') return false;
  ++i;
  if (!number(2, h) || !separator(':') || !number(2, mi)) return false;
  if (i < Text.size() && !(separator(':') && number(2, sec))) return false;
  if (h > 23 || mi > 59 || sec > 59) return false;
  uint32_t fraction = 0;
  if (i < Text.size()) {
    if (Text[i++] != '.') return false;
    const size_t digits = Text.size() - i;
    if (digits < 1 || digits > 9) return false;
    for (size_t k = 0; k < 9; ++k) {
      const char c = k < digits ? Text[i + k] : '0';
      if (c < '0' || c > '9') return false;
      fraction = fraction * 10 + uint32_t(c - '0');
    }
  }
  Stamp.hour = SQLUSMALLINT(h);
  Stamp.minute = SQLUSMALLINT(mi);
  Stamp.second = SQLUSMALLINT(sec);
  Stamp.fraction = fraction;
  return true;
}

TDateTime TimestampToDateTime(const SQL_TIMESTAMP_STRUCT& Stamp) {
  // Composed rather than added, so that a stamp before 1899-12-30 keeps its time of day.
  return ComposeDateTime(EncodeDate(Stamp.year, Stamp.month, Stamp.day),
                         EncodeTime(Stamp.hour, Stamp.minute, Stamp.second,
                                    int(Stamp.fraction / 1000000)));
}

SQL_TIMESTAMP_STRUCT& DateTimeToTimestamp(SQL_TIMESTAMP_STRUCT& Stamp, TDateTime Value) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  DecodeDate(Value, y, mo, d);
  DecodeTime(Value, h, mi, s, ms);
  Stamp.year = SQLSMALLINT(y);
  Stamp.month = SQLUSMALLINT(mo);
  Stamp.day = SQLUSMALLINT(d);
  Stamp.hour = SQLUSMALLINT(h);
  Stamp.minute = SQLUSMALLINT(mi);
  Stamp.second = SQLUSMALLINT(s);
  Stamp.fraction = SQLUINTEGER(ms) * 1000000u;
  return Stamp;
}

SQL_TIMESTAMP_STRUCT& ClearTimestamp(SQL_TIMESTAMP_STRUCT& Stamp) {
  Stamp = SQL_TIMESTAMP_STRUCT{};
  Stamp.year = 1899;
  Stamp.month = 12;
  Stamp.day = 30;
  return Stamp;
}

SQL_DATE_STRUCT& TimestampToDate(const SQL_TIMESTAMP_STRUCT& Stamp, SQL_DATE_STRUCT& Date) {
  Date.year = Stamp.year;
  Date.month = Stamp.month;
  Date.day = Stamp.day;
  return Date;
}

SQL_TIME_STRUCT& TimestampToTime(const SQL_TIMESTAMP_STRUCT& Stamp, SQL_TIME_STRUCT& Time) {
  Time.hour = Stamp.hour;
  Time.minute = Stamp.minute;
  Time.second = Stamp.second;
  return Time;
}

SQL_TIMESTAMP_STRUCT& DateToTimestamp(const SQL_DATE_STRUCT& Date, SQL_TIMESTAMP_STRUCT& Stamp) {
  ClearTimestamp(Stamp);
  Stamp.year = Date.year;
  Stamp.month = Date.month;
  Stamp.day = Date.day;
  return Stamp;
}

SQL_TIMESTAMP_STRUCT& TimeToTimestamp(const SQL_TIME_STRUCT& Time, SQL_TIMESTAMP_STRUCT& Stamp) {
  ClearTimestamp(Stamp);
  Stamp.hour = Time.hour;
  Stamp.minute = Time.minute;
  Stamp.second = Time.second;
  return Stamp;
}

std::string ShortestDoubleText(double Value) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, Value);
  return std::string(buf, r.ptr);
}

namespace {

// Aggregates that fold the rows of a select list into one (or one per group).
bool IsAggregateName(std::string_view Upper) {
  static const char* const names[] = {
      "COUNT", "SUM", "AVG", "MIN", "MAX", "TOTAL", "GROUP_CONCAT", "EVERY", "BOOL_AND", "BOOL_OR",
      "BIT_AND", "BIT_OR", "BIT_XOR", "STDDEV", "STDDEV_POP", "STDDEV_SAMP", "VARIANCE", "VAR_POP",
      "VAR_SAMP", "MEDIAN", "MODE", "PERCENTILE_CONT", "PERCENTILE_DISC", "CORR", "COVAR_POP",
      "COVAR_SAMP", "LISTAGG", "XMLAGG", "JSON_GROUP_ARRAY", "JSON_GROUP_OBJECT"};
  for (const char* n : names)
    if (Upper == n) return true;
  // STRING_AGG, ARRAY_AGG, JSON_AGG, JSONB_OBJECT_AGG, ... and the REGR_ family.
  return (Upper.size() > 4 && Upper.ends_with("_AGG")) || Upper.starts_with("REGR_");
}

bool IsWordChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

}  // namespace

std::string CountStatementText(std::string_view Sql, bool& Shaped) {
  Shaped = false;
  // The top level: upper case, with literals, quoted names and parenthesised parts blanked, and
  // separators as blanks; padded so that every word stands between blanks. Function calls of
  // the top level are noted by where their name ends.
  std::string t(Sql.size() + 2, ' ');
  std::vector<std::pair<size_t, std::string>> calls;
  int depth = 0;
  char quote = 0;
  for (size_t i = 0; i < Sql.size(); ++i) {
    const char c = Sql[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
      continue;
    }
    if (c == '(') {
      if (depth++ == 0) {
        size_t e = i;
        while (e > 0 && (Sql[e - 1] == ' ' || Sql[e - 1] == '\t' || Sql[e - 1] == '\r' || Sql[e - 1] == '\n')) --e;
        size_t b = e;
        while (b > 0 && IsWordChar(Sql[b - 1])) --b;
        if (b < e) calls.emplace_back(e, UpperCase(Sql.substr(b, e - b)));
      }
      continue;
    }
    if (c == ')') {
      if (depth > 0) --depth;
      continue;
    }
    if (depth > 0 || c == '\r' || c == '\n' || c == '\t' || c == ',' || c == ';') continue;
    t[i + 1] = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
  }
  auto word = [&t](const char* W) { return t.find(std::string(" ") + W + " "); };
  const size_t first = t.find_first_not_of(' ');
  if (first == std::string::npos || t.compare(first, 7, "SELECT ") != 0) return {};
  const size_t from = word("FROM");
  if (from == std::string::npos) return {};
  for (const auto& [end, name] : calls)
    if (end < from && IsAggregateName(name)) Shaped = true;
  for (const char* w : {"LIMIT", "OFFSET", "TOP", "FETCH"})
    if (word(w) != std::string::npos) Shaped = true;
  if (Shaped) return {};
  for (const char* w : {"DISTINCT", "GROUP", "HAVING", "UNION", "INTERSECT", "EXCEPT"})
    if (word(w) != std::string::npos) return {};
  // A word found at p in t (the blank before it) starts at p in Sql: t is one character ahead.
  const size_t order = word("ORDER");
  const size_t end = order == std::string::npos ? Sql.size() : order;
  return "SELECT Count(*) " + std::string(Sql.substr(from, end - from));
}

std::string TrimString(std::string_view Text, TStringTrimming Trimming) {
  switch (Trimming) {
    case stTrimTrailing: return TrimRight(Text);
    case stTrimLeading: return TrimLeft(Text);
    case stTrimBoth: return Trim(Text);
    default: return std::string(Text);
  }
}

std::string QuoteIdentifier(std::string_view Identifier) {
  const std::string up = UpperCase(Identifier);
  if (up.find(" AS ") != std::string::npos) return std::string(Identifier);
  if (up.find("{FN ") != std::string::npos || Identifier.find('"') != std::string_view::npos)
    return std::string(Identifier);
  if (Identifier.find_first_of(" $") != std::string_view::npos)
    return "\"" + std::string(Identifier) + "\"";
  return std::string(Identifier);
}

std::string IntToStrZero(int64_t Value, int Width) {
  std::string s = std::to_string(Value);
  if (Width < 0 || s.size() > size_t(Width)) return s;
  // Zeros go after a minus sign, so that the digits stay one number.
  const size_t sign = Value < 0 ? 1 : 0;
  s.insert(sign, size_t(Width) + 1 - s.size(), '0');
  return s;
}

int IndexOfText(std::string_view Text, const TStrings* List) {
  if (List == nullptr) return -1;
  for (int i = 0; i < List->Count(); ++i)
    if (SameText(List->Get(i), Text)) return i;
  return -1;
}

std::string StreamToString(const TMemoryStream* Stream) {
  if (Stream == nullptr || Stream->Size() == 0 || Stream->Memory() == nullptr) return {};
  const char* p = static_cast<const char*>(Stream->Memory());
  const size_t n = size_t(Stream->Size());
  const void* z = std::memchr(p, 0, n);
  return std::string(p, z ? size_t(static_cast<const char*>(z) - p) : n);
}
