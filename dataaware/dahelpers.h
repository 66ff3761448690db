#pragma once
// Helpers shared by the data-aware data sets (the extended table, the ODBC data set with
// control types and masks) and the search helpers: the lists and options a data set publishes,
// picture masks of fields and their check before a post, lookup fields filled from lookup
// tables, class tests by name, rich-text memo fields and query lines.
//
// A data set takes part by publishing properties of these names (read and written through the
// published-property table, so any data set that publishes them is served; one that does not
// is passed over):
//   PictureMasks     string list; a line per field: field name TAB mask TAB flag TAB flag,
//                    each flag "T" or "F" (a flag that is missing reads as False). Field names
//                    match ignoring case. The mask is a picture mask (dapicturevalidator.h).
//   ControlType      string list; a line per field: field name ";" control kind ...; a line
//                    that begins with the field name and ";RichEdit" (exact case) marks a
//                    rich-text memo field.
//   OnFilterOptions  a set of TdaOnFilterOption (identifiers below).
// The extended table also keeps LookupFields and LookupLinks (formats in datable.h).
#include <functional>
#include <string>
#include <vector>

#include "classes.h"
#include "component.h"
#include "db.h"

class TdaTable;

enum TdaOnFilterOption { ofoEnabled, ofoShowHourGlass, ofoCancelOnEscape };
using TdaOnFilterOptions = TSmallSet<TdaOnFilterOption>;
inline constexpr const char* OnFilterOptionNames[] = {"ofoEnabled", "ofoShowHourGlass", "ofoCancelOnEscape"};

// Called for a field whose value breaks its picture mask, before the post is refused.
using TdaInvalidValueEvent = std::function<void(TDataSet* DataSet, TField* Field)>;

// The published PictureMasks / ControlType list of the data set; none when there is no data
// set or it publishes no such list.
TStrings* GetPictureMasks(TDataSet* DataSet);
TStrings* GetControlTypes(TDataSet* DataSet);

// The published OnFilterOptions; without that property [ofoEnabled] when the data set is
// Filtered, else the empty set.
TdaOnFilterOptions GetFilterOptions(TDataSet* DataSet);
// Adds or removes ofoEnabled through the property's setter; nothing without the property.
void SetFilterEnabled(TDataSet* DataSet, bool Enabled);
// Takes a pending Escape key press out of the key queue (keyqueue.h; every other key stays
// where it was): then filtering is switched off (SetFilterEnabled) and the answer is true.
bool EscapePressed(TDataSet* DataSet);

// The picture mask of a field and its two flags: from the data set's PictureMasks line for the
// field (none: an empty mask and both flags true); with UseTablePictures, an extended table's
// picture kept with its table file wins over the line's mask and is written into the line.
void GetFieldMask(TDataSet* DataSet, const std::string& FieldName, bool UseTablePictures, std::string& Mask,
                  bool& Flag1, bool& Flag2);
// Writes the field's PictureMasks line (nothing when the data set has no such list). An
// extended table's picture for the field replaces Mask. An existing line keeps its mask and
// flags where the matching Keep... is false; an empty mask deletes the line; a new line is
// added only for a non-empty mask.
void SetFieldMask(TDataSet* DataSet, const std::string& FieldName, const std::string& Mask, bool Flag1, bool Flag2,
                  bool KeepMask, bool KeepFlag1, bool KeepFlag2);
// The check before a post: the first field (in field order) whose non-empty mask refuses its
// text, and that is not read-only, gets the focus, OnInvalidValue is called once, and
// EDatabaseError "Invalid characters. Field : " (the global texts' PictureValidateError) and
// the field's display name is raised. A read-only field that fails is passed over.
void ValidateMasks(TDataSet* DataSet, const TdaInvalidValueEvent& OnInvalidValue);
// True for an empty value; otherwise whether the value matches the whole mask (no auto-fill).
bool MaskAccepts(const std::string& Mask, const std::string& Value);

// The lookup-field step of the extended table's calculated fields (formats in datable.h).
// Deletes each LookupFields line (with its LookupLinks line of the same index) and each
// ControlType line whose field the table does not have. A LookupFields line without its
// LookupLinks line raises the list's index error.
void PruneLookupLists(TdaTable* Table, TStrings* LookupFields, TStrings* LookupLinks, TStrings* ControlTypes);
// Fills every LookupFields line's calculated field from its lookup table: tables are opened on
// first need (read-only, owned by Table, kept in LookupTables until its cursor closes) and
// shared by lines that name the same database, table and link line, which are searched once
// per pass. A table that cannot be opened leaves its field unset, is freed at once and its
// line is not tried again until the cursor closes. A link field that Table does not have hides
// the line's calculated field and ends the pass. A search that raises leaves the tables'
// search flags and visited marks cleared.
void FillLookupFields(TdaTable* Table, TStrings* LookupFields, TStrings* LookupLinks,
                      std::vector<TdaTable*>& LookupTables);
// Finds the lookup table's record for the master's current link values: by the lookup
// table's index (FindKeyByLookupValues, one to six pairs of link items), or without an index
// by the first record whose field (link item 1) equals the master's value (link item 0),
// ignoring case.
bool FindLookupRecord(TdaTable* Lookup, TdaTable* Master, const std::vector<std::string>& LinkItems);

// Whether Object is a data set with a field of that name (ignoring case).
bool HasField(TObject* Object, const std::string& Name);
// Whether the object's class or one of its ancestors has that name (ignoring case).
bool InheritsFromName(const TObject* Object, const std::string& ClassName);
// A calculated or lookup field, or a field of a data set that does not read the engine's
// records (not a TBDEDataSet).
bool IsNonEngineField(TField* Field);
// A blob field marked RichEdit by its data set's ControlType lines, or (with ReadContents)
// whose value begins with "{\rtf".
bool IsRichEditField(TField* Field, bool ReadContents);
// The contents half of that: whether a blob field's value begins with "{\rtf".
bool BlobHoldsRtf(TField* Field);
// An extended table with at least one Query line.
bool HasQueryLines(TDataSet* DataSet);
// The lines in order, separated by one blank (BlankSeparated) or by CR LF.
std::string JoinQueryLines(const TStrings& Lines, bool BlankSeparated);
