#pragma once
// Fixed-width field formatting of the export files: every field, tags and fillers included,
// goes through FixLengthStrL or FixLengthStrR so that it has exactly its width in characters.
// Amounts go through TMain::FormatNumber, which builds on FloatToStrSQL.
#include <string>

// C repeated Count times; empty for a Count of 0 or less.
std::string ReplicateStr(char32_t C, int Count);

// S right-aligned in Width characters, padded with Pad on the left. A longer S keeps its first
// Width characters when Cut is set (also a number: its end is lost), else it becomes Width Pads.
std::string FixLengthStrR(const std::string& S, int Width, char32_t Pad, bool Cut);
// S left-aligned in Width characters, padded with Pad on the right; too long as above.
std::string FixLengthStrL(const std::string& S, int Width, char32_t Pad, bool Cut);

// The number in general format (up to 15 significant digits) with a point as decimal separator,
// whatever the program's decimal separator is.
std::string FloatToStrSQL(double Value);

// Dividend / Divisor, or 0 when Divisor is 0.
double DivT(double Dividend, double Divisor);
