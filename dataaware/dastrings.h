#pragma once
// String helpers of the data-aware library: item extraction, splitting, trimming, comparison
// and the float test of the incremental search.
#include <string>
#include <string_view>

class TStrings;
class TStringList;

// Takes the item that starts at the 1-based byte position Position and ends before Delimiter.
// A one-character delimiter is found as written; a longer one (a word such as AND) is padded
// with one blank on each side and found ignoring ASCII case. Position then points past the
// delimiter, or becomes -1 when the item ran to the end of Text. Position <= 0 gives an empty
// item and stays; a Position past the end gives an empty item and -1.
std::string ExtractItem(std::string_view Text, std::string_view Delimiter, int& Position);

// Clears List and adds the pieces of Text between separators. After a separator found, one
// character is skipped. An empty Text gives one empty item; a trailing separator a final
// empty item.
void SplitToList(std::string_view Text, std::string_view Separator, TStrings* List);

// Removes characters from the end of Text while they are among Chars (a list of characters).
void StripTrailingChars(std::string& Text, std::string_view Chars);

// The setter of a list property: Lines takes a copy of Value's lines; none clears it, its own
// lines leave it as it is.
void AssignLines(TStringList& Lines, TStrings* Value);

// Equal after upper-casing both (letters of the Windows-1250 repertoire included).
bool TextsEqualIgnoreCase(std::string_view A, std::string_view B);

// True for the empty text; otherwise whether the first 63 characters read as a floating-point
// number with the program's decimal separator.
bool IsValidFloat(std::string_view Text);
