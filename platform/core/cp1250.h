#pragma once
// Windows-1250, the code page of the export files. Text inside the program is UTF-8.
#include <string>
#include <string_view>

// A character without a Windows-1250 form, and every invalid UTF-8 byte, becomes "?".
std::string Utf8ToCp1250(std::string_view utf8);
// The same without replacement: false (out unspecified) when utf8 is not valid UTF-8 or holds a
// character without a Windows-1250 form.
bool TryUtf8ToCp1250(std::string_view utf8, std::string& out);
// The five byte values that the code page leaves unassigned (0x81, 0x83, 0x88, 0x90, 0x98)
// become "?".
std::string Cp1250ToUtf8(std::string_view bytes);
// The character a byte stands for; 0 for an unassigned byte.
char32_t Cp1250ToChar(unsigned char b);
// The byte for a character; -1 when the code page has no form for it.
int CharToCp1250(char32_t c);
