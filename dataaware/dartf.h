#pragma once
// The plain text of a rich-text (RTF) value, for the searches over memo fields that hold one.
// Read: groups, control words, \'hh escapes (Windows-1250 bytes), \uN with its \ucN fallback
// characters, the escaped \ \{ \}, \par and \line (CR LF), \tab, the usual quotes and dashes;
// skipped: the destination groups that hold no text of the document (font, colour and style
// tables, document information, pictures, objects, headers and footers, field instructions,
// and every {\* ...} group) and \binN data. Other characters are taken as they stand (UTF-8).
// Line breaks at the end are dropped. Never raises: malformed input gives what could be read.
#include <string>
#include <string_view>

std::string RtfToPlainText(std::string_view Rtf);

// Whether Value begins as a rich-text document does ("{\rtf").
bool LooksLikeRtf(std::string_view Value);
