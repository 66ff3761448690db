#pragma once
// Value buffers by ODBC C type: sizes, text in and out, numbers, the ODBC timestamp and its
// date-time conversions; small text helpers shared by the components; the trace hook.
// Nothing here depends on the C locale: numbers always use a point.
#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "datetime.h"

class TStrings;
class TMemoryStream;

enum TStringTrimming { stTrimNone, stTrimTrailing, stTrimLeading, stTrimBoth };

// Bytes of one value of the C type (256 for character and binary buffers, 0 for an unknown
// type).
int CTypeSize(SQLSMALLINT CType);
// The SQL type a parameter of the C type is bound as; 99 for an unknown type.
SQLSMALLINT CTypeToSQLType(SQLSMALLINT CType);

// Trims Text, converts it by C type and stores it in Buffer, which holds Capacity bytes.
// True when the whole text converted. Numbers: a failed parse stores 0 and gives False; a
// number outside the C type's range gives False. Date, time and timestamp texts are read by
// character position (the separators are not looked at): yyyy-mm-dd, hh:mm:ss and
// yyyy-mm-dd hh:mm:ss.f with a decimal fraction of a second of 1 to 9 digits; the parts before
// a bad field are stored. A value that does not fit Capacity, and an unknown C type, give False
// with the buffer untouched.
bool TextToBuffer(std::string_view Text, void* Buffer, size_t Capacity, SQLSMALLINT CType,
                  TStringTrimming Trimming);
// The value as text, then trimmed. Character buffers are read up to the first zero byte (and at
// most Capacity bytes). Reals: scientific form right-aligned in 23 characters. Dates, times and
// stamps: yyyy-mm-dd hh:mm:ss.fffffffff, each part at least two digits. Binary: "".
std::string BufferToText(const void* Buffer, SQLSMALLINT CType, TStringTrimming Trimming,
                         size_t Capacity = SIZE_MAX);
// Character buffers are parsed (0 when not a number); date, time, binary and unknown types
// give 0.
double BufferToDouble(const void* Buffer, SQLSMALLINT CType, size_t Capacity = SIZE_MAX);
// Reals are rounded half to even. A value outside the 32-bit range raises EConvertError.
int32_t BufferToInteger(const void* Buffer, SQLSMALLINT CType, size_t Capacity = SIZE_MAX);
// Reals are rounded half to even; a real outside the 64-bit range raises EConvertError.
int64_t BufferToInt64(const void* Buffer, SQLSMALLINT CType, size_t Capacity = SIZE_MAX);
// The stamp as the text TextToBuffer reads for the C type: yyyy-mm-dd for a date, hh:mm:ss for
// a time, yyyy-mm-dd hh:mm:ss.fffffffff otherwise; the year always in four digits.
std::string TimestampText(const SQL_TIMESTAMP_STRUCT& Stamp, SQLSMALLINT CType);
// The C type's name for messages ("SQL_C_SLONG"), or its number.
std::string CTypeName(SQLSMALLINT CType);
// Day zero with the date, the time or the whole stamp of the buffer.
SQL_TIMESTAMP_STRUCT& BufferToTimestamp(const void* Buffer, SQLSMALLINT CType,
                                        SQL_TIMESTAMP_STRUCT& Stamp);

// A date or date-time text: yyyy-mm-dd, then optionally a blank or "T", hh:mm, :ss and a decimal
// fraction of 1 to 9 digits. True when the whole text is such a value of the calendar (month 13,
// day 45 or hour 24 are not); Stamp is day zero with what was read otherwise.
bool TextToTimestamp(std::string_view Text, SQL_TIMESTAMP_STRUCT& Stamp);
// Sub-millisecond parts are dropped. EConvertError when the date or time is out of range.
TDateTime TimestampToDateTime(const SQL_TIMESTAMP_STRUCT& Stamp);
SQL_TIMESTAMP_STRUCT& DateTimeToTimestamp(SQL_TIMESTAMP_STRUCT& Stamp, TDateTime Value);
// Day zero: 1899-12-30 00:00:00.
SQL_TIMESTAMP_STRUCT& ClearTimestamp(SQL_TIMESTAMP_STRUCT& Stamp);
SQL_DATE_STRUCT& TimestampToDate(const SQL_TIMESTAMP_STRUCT& Stamp, SQL_DATE_STRUCT& Date);
SQL_TIME_STRUCT& TimestampToTime(const SQL_TIMESTAMP_STRUCT& Stamp, SQL_TIME_STRUCT& Time);
SQL_TIMESTAMP_STRUCT& DateToTimestamp(const SQL_DATE_STRUCT& Date, SQL_TIMESTAMP_STRUCT& Stamp);
SQL_TIMESTAMP_STRUCT& TimeToTimestamp(const SQL_TIME_STRUCT& Time, SQL_TIMESTAMP_STRUCT& Stamp);

// The shortest decimal text that reads back as the same double: at most 17 significant digits,
// exponent form where that is shorter ("1e+20"). Always a point.
std::string ShortestDoubleText(double Value);
// The "SELECT Count(*) FROM ..." text that counts the rows of a SELECT text (its FROM clause up
// to ORDER BY), or "" when only reading the rows counts them: a text that is no plain SELECT with
// FROM, or that has DISTINCT, GROUP BY, HAVING or a set operation at its top level. Shaped is set
// when the text itself folds or limits its rows (an aggregate in the select list, LIMIT, OFFSET,
// TOP or FETCH), where neither a count text nor a cursor row count can be trusted. Literals,
// quoted names and what stands in parentheses are not looked into.
std::string CountStatementText(std::string_view Sql, bool& Shaped);

// Removes characters up to blank (code 32 and below) from the ends the setting names.
std::string TrimString(std::string_view Text, TStringTrimming Trimming);
// Wraps an identifier holding a blank or "$" in double quotes, unless it is an alias
// expression (" AS "), an escape ("{fn ") or already holds a double quote.
std::string QuoteIdentifier(std::string_view Identifier);
// Decimal text with zeros in front up to Width + 1 characters; a longer text stays as it is.
std::string IntToStrZero(int64_t Value, int Width);
// Index of the first line equal to Text (ASCII case-insensitive), -1 when none.
int IndexOfText(std::string_view Text, const TStrings* List);
// The stream's bytes up to the first zero byte (all when none); position and size unchanged.
std::string StreamToString(const TMemoryStream* Stream);

inline void* OffsetPtr(void* Address, std::ptrdiff_t Offset) {
  return static_cast<char*>(Address) + Offset;
}
inline const void* OffsetPtr(const void* Address, std::ptrdiff_t Offset) {
  return static_cast<const char*>(Address) + Offset;
}
// Address of row Row (1-based) in an array of RowSize-byte rows.
inline void* RowPtr(void* Base, size_t Row, size_t RowSize) {
  return static_cast<char*>(Base) + RowSize * (Row - 1);
}

// The trace hook: every method of the connection and statement components calls Trace first
// with level 1 and "Class.Method"; the data set's methods with level 2. It does nothing unless
// a tracer is installed.
using TTraceProc = void (*)(int Level, const char* Text);
extern TTraceProc TraceProc;
inline void Trace(int Level, const char* Text) {
  if (TraceProc != nullptr) TraceProc(Level, Text);
}
