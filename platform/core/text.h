#pragma once
// Text helpers on UTF-8 std::string. Counting and cutting work in characters and never split
// one; case mapping covers ASCII ("UpperCase") or the Latin-1 and Latin Extended-A letters,
// which include every letter of Windows-1250 ("AnsiUpperCase"). Nothing here depends on the C locale.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// --- characters --------------------------------------------------------------------------
// Number of characters. An invalid byte counts as one character.
size_t Utf8Length(std::string_view s);
// The first n characters (whole text when shorter).
std::string Utf8Left(std::string_view s, size_t n);
// count characters from the 1-based character position start1 (start1 < 1 is treated as 1).
std::string Utf8Copy(std::string_view s, long long start1, long long count);
// 1-based character position of sub in s; 0 when absent or sub is empty.
size_t Utf8Pos(std::string_view sub, std::string_view s);
// Byte length of the first n characters.
size_t Utf8ByteOffset(std::string_view s, size_t n);
// Decodes one character at s[i] (i < s.size()), advancing i. An invalid sequence yields U+FFFD
// and advances one byte.
char32_t Utf8Next(std::string_view s, size_t& i);
// Appends the UTF-8 form of c.
void Utf8Append(std::string& out, char32_t c);
// True when s is well-formed UTF-8 throughout (no overlong forms, surrogates or cut sequences).
bool IsValidUtf8(std::string_view s);

// --- case ----------------------------------------------------------------------------------
std::string UpperCase(std::string_view s);      // ASCII letters only
std::string LowerCase(std::string_view s);      // ASCII letters only
std::string AnsiUpperCase(std::string_view s);  // Latin letters incl. č, š, ž, ć, đ, ...
std::string AnsiLowerCase(std::string_view s);
char32_t AnsiUpperChar(char32_t c);
char32_t AnsiLowerChar(char32_t c);

// --- comparison ----------------------------------------------------------------------------
bool SameText(std::string_view a, std::string_view b);      // ASCII case-insensitive
bool AnsiSameText(std::string_view a, std::string_view b);  // Latin case-insensitive
// ASCII case-insensitive ordering: < 0, 0, > 0.
int CompareText(std::string_view a, std::string_view b);
// Case-sensitive byte ordering: < 0, 0, > 0.
int CompareStr(std::string_view a, std::string_view b);
// Latin case-insensitive ordering by character code after lower-casing.
int AnsiCompareText(std::string_view a, std::string_view b);

// --- trimming and search -----------------------------------------------------------------
// Strip bytes up to and including blank (<= 0x20) from both ends / the start / the end.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// 1-based byte position of sub in s; 0 when absent or sub is empty. Equals the character
// position when s is ASCII up to the match; see Utf8Pos otherwise.
size_t Pos(std::string_view sub, std::string_view s);
// The pieces of s between any of the bytes in delimiters (ASCII); empty pieces are dropped.
std::vector<std::string> SplitNonEmpty(std::string_view s, std::string_view delimiters);

// --- building --------------------------------------------------------------------------------
using TReplaceFlags = int;  // bitwise-or of TReplaceFlag values
inline constexpr TReplaceFlags rfReplaceAll = 1;
inline constexpr TReplaceFlags rfIgnoreCase = 2;
std::string StringReplace(std::string_view s, std::string_view oldPattern,
                          std::string_view newPattern, TReplaceFlags flags);
// Wraps s in single quotes, doubling any quote inside.
std::string QuotedStr(std::string_view s);
// Upper-case hexadecimal, at least digits wide (two's complement for negatives).
std::string IntToHex(int64_t value, int digits);
// n copies of c.
std::string StringOfChar(char c, long long n);
