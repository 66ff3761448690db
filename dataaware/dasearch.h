#pragma once
// The search and locate helpers: the next (or first) record of a data set whose field matches
// a text exactly (match type 0), by its beginning (1) or anywhere (2), with or without regard
// to case.
//
// A table's current index serves when the field is its first field (FindKey for an exact
// match, FindNearest for a beginning); the data set's Locate when asked to; otherwise the
// records are scanned: a field of the engine's records is read straight from the engine's
// cursor (honouring the engine's filters and the data set's own record filter) and the hit is
// positioned by its bookmark, any other field by moving the data set. Memo fields compare
// their whole text (a rich-text memo its plain text, dartf.h); floating-point fields with an
// exact match compare as numbers; a date-time field compares by its date text; small integers
// read signed. When nothing matches the data set stands where it stood.
#include <string>
#include <vector>

#include "db.h"
#include "engine.h"

class TTable;

// The result: whether a record was found (the data set then stands on it). A field the data
// set does not have shows "Field <name> not found." and answers false. An exception passes on
// after the position, the screen cursor and the controls were restored.
bool FindText(bool FromFirst, TDataSet* DataSet, const std::string& FieldName, bool UseLocate, bool CaseSensitive,
              int MatchType, const std::string& SearchText);
// True at once when the current record's field already holds SearchValue (ignoring case unless
// CaseSensitive); otherwise FindText from the first record.
bool FindRecordByField(TDataSet* DataSet, const std::string& SearchValue, const std::string& FieldName,
                       bool CaseSensitive, int MatchType);
// Value against SearchText (which the caller upper-cased for a search that ignores case):
// equal (0), beginning (1), anywhere (2). An empty SearchText matches only an empty value with
// type 0.
bool TextMatches(const std::string& Value, const std::string& SearchText, int MatchType, bool CaseSensitive);
// The same for a memo field's text; RichText reads it as RTF.
bool MemoMatches(TField* Field, const std::string& SearchText, bool RichText, bool CaseSensitive, int MatchType);
// The text of an engine value of the field, as the search compares it.
std::string EngineFieldText(TField* Field, const TEngineValue& Value);
// FindKey (or FindNearest) with the key given as the texts of the first index fields, as a
// user types them: an empty text is no value, a text the field cannot take raises
// EConvertError (the table is then back in browse mode, where it stood).
bool FindKeyTexts(TTable* Table, const std::vector<std::string>& Texts, bool Nearest);
// Whether the table's current index tells case apart (false without an index).
bool CurrentIndexCaseSensitive(TTable* Table);
// Whether the first field of the table's current index is a field of the table.
bool CurrentIndexFieldExists(TTable* Table);
