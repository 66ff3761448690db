#pragma once
// The extended table (unit DaTable): a table of the local engine with five additions.
//   Query          SQL or QBE lines that replace the table by the query's answer (read-only).
//                  A first word "query" (any case) means QBE, whose lines are joined with CR
//                  LF; anything else is SQL, joined with blanks.
//   daFilter       filter-expression lines (dafilterparser.h), joined with AND and installed
//                  on the cursor; OnFilter a per-record handler installed as a callback filter.
//   PictureMasks   checked before every post (dahelpers.h), with the pictures kept with the
//                  table's file when it is a Paradox table (a ".db" name or TableType
//                  ttParadox).
//   LookupFields   calculated fields filled from lookup tables; one line per field, items
//                  separated by ";": the calculated field, the lookup table's database and
//                  table name, the lookup field whose value is copied, then with fewer than
//                  six items the index name of the lookup table; with six or more, item 4 is
//                  not used, the index field names are item 5 (and items 6 to the last but one
//                  with eight or more) and the last item is a flag: "N" cuts the table name at
//                  its first ".".
//   LookupLinks    the line of the same index: pairs of field names, master field then lookup
//                  field, one to six pairs.
//   and a key search over several lookup values (FindKeyByLookupValues).
// Without Query lines, daFilter lines, an OnFilter handler, picture masks or lookup lines it
// behaves exactly as TTable.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "dahelpers.h"
#include "dbtables.h"

class TdaTable;
using TdaTableFilterEvent = std::function<void(TdaTable* Table, bool& Accept)>;

class TdaTable : public TTable {
public:
  explicit TdaTable(TComponent* AOwner);
  ~TdaTable() override;

  // The list properties: the setters copy the lines (Assign).
  TStrings* LookupFields() const { return FLookupFields.get(); }
  void SetLookupFields(TStrings* Value);
  TStrings* LookupLinks() const { return FLookupLinks.get(); }
  void SetLookupLinks(TStrings* Value);
  TStrings* ControlType() const { return FControlType.get(); }
  void SetControlType(TStrings* Value);
  TStrings* PictureMasks() const { return FPictureMasks.get(); }
  void SetPictureMasks(TStrings* Value);
  // On an open table the new filter text is installed at once; a text that cannot be
  // installed shows "Fail to set filter" (the lines stay). Opening with lines that cannot be
  // installed says so too and opens unfiltered by them; an OnFilter handler is installed all
  // the same, and the message names the lines.
  TStrings* daFilter() const { return FdaFilter.get(); }
  void SetdaFilter(TStrings* Value);
  // Closes an open table; lines clear TableName and IndexFieldNames.
  TStrings* Query() const { return FQuery.get(); }
  void SetQuery(TStrings* Value);
  // A name that is not empty clears the Query lines.
  void SetTableName(const std::string& Value) override;

  bool SyncSQLByRange() const { return FSyncSQLByRange; }
  void SetSyncSQLByRange(bool Value) { FSyncSQLByRange = Value; }
  bool NarrowSearch() const { return FNarrowSearch; }
  void SetNarrowSearch(bool Value) { FNarrowSearch = Value; }
  std::uint16_t NarrowSearchUpperChar() const { return FNarrowSearchUpperChar; }  // kept, not used
  void SetNarrowSearchUpperChar(std::uint16_t Value) { FNarrowSearchUpperChar = Value; }
  bool ValidateWithMask() const { return FValidateWithMask; }
  void SetValidateWithMask(bool Value) { FValidateWithMask = Value; }
  TdaInvalidValueEvent OnInvalidValue;

  // The per-record filter: called for each record the table reads, reading it through the
  // fields; Accept false drops it. Assigning or clearing it re-reads an open table. Assigned
  // or cleared by a handler (or daFilter changed) while the table reads for it, the change
  // takes effect once that read ends, for the records read after it; the records already read
  // stay as they are.
  const TdaTableFilterEvent& OnFilter() const { return FOnFilterPending ? FPendingOnFilter : FOnFilter; }
  void SetOnFilter(TdaTableFilterEvent Value);
  // Fired when Escape stopped the filtering (ofoCancelOnEscape).
  TDataSetNotifyEvent OnFilterEscape;
  // ofoEnabled: OnFilter is asked; ofoShowHourGlass: the hourglass shows while records are
  // dropped; ofoCancelOnEscape: every hundredth record a pending Escape switches filtering off.
  // Switching ofoEnabled re-reads an open table, except from inside the filter, where the
  // setting is only stored.
  TdaOnFilterOptions OnFilterOptions() const { return FOnFilterOptions; }
  void SetOnFilterOptions(TdaOnFilterOptions Value);

  // "SQL" or "QBE" once a cursor was opened with Query lines.
  const std::string& QueryLanguage() const { return FQueryLanguage; }
  // The daFilter lines without trailing blanks and tabs, empty ones left out: the first as it
  // stands, each further one as " AND (" line ")".
  std::string BuildFilterText() const;

  // Finds the record whose first Last + 1 index fields hold Values (compared ignoring case for
  // the record already current): with NarrowSearch the range is cancelled first. False for a
  // table without index fields; more values than index fields show a warning.
  bool FindKeyByLookupValues(const std::vector<std::string>& Values, int Last);
  // The index whose fields are Fields (";"-separated, ignoring case), case-insensitive ones
  // first, then one whose fields begin with them; "?" when none.
  std::string FindIndexForFields(const std::string& Fields);
  bool IsParadoxTable() const;
  // The picture kept with the table's file for the field (exact name); empty when none or not
  // a Paradox table. The pictures are read once per table file, also while the table is closed.
  std::string GetParadoxPicture(const std::string& FieldName);

  // The lookup step's tables and, on each of them, its state.
  const std::vector<TdaTable*>& LookupTables() const { return FLookupTables; }
  std::vector<TdaTable*>& LookupTables() { return FLookupTables; }
  bool LookupVisited() const { return FLookupVisited; }
  void SetLookupVisited(bool Value) { FLookupVisited = Value; }
  bool LookupFound() const { return FLookupFound; }
  void SetLookupFound(bool Value) { FLookupFound = Value; }
  const std::string& LookupLinkText() const { return FLookupLinkText; }
  void SetLookupLinkText(const std::string& Value) { FLookupLinkText = Value; }
  bool LookupSearchActive() const { return FLookupSearchActive; }
  void SetLookupSearchActive(bool Value) { FLookupSearchActive = Value; }
  // Keys of the LookupFields lines whose table could not be opened since the cursor opened.
  std::set<std::string>& FailedLookups() { return FFailedLookups; }

  // The installed filters' engine handles (0: none).
  TEngineFilterHandle FilterHandle() const { return FFilterHandle; }
  TEngineFilterHandle FilterCallbackHandle() const { return FFilterCallbackHandle; }

  bool IsSequenced() override;
  void DataEvent(TDataEvent Event, std::intptr_t Info) override;
  ZEL_CLASS(TdaTable, TTable)

protected:
  void OpenCursor(bool InfoQuery) override;
  std::unique_ptr<TEngineTable> CreateHandle() override;
  void PrepareCursor() override;
  void CloseCursor() override;
  void DoBeforePost() override;
  void DoOnCalcFields() override;
  int GetNextRecords() override;

private:
  std::unique_ptr<TEngineTable> OpenQueryCursor();
  bool InstallFilter();
  bool FilterRecordCallback(const TEngineRecord& Record);
  bool InstallCallback(bool Reread = true);
  void ScheduleFilterChange();
  void ApplyFilterChanges();
  // The handler assigned while the callback ran becomes the handler; false when there is none.
  bool TakePendingOnFilter();
  void RestoreFilterCursor();
  void LoadParadoxPictures();
  void FreeLookupTables();

  std::unique_ptr<TStringList> FLookupFields, FLookupLinks, FControlType, FdaFilter, FQuery, FPictureMasks;
  std::vector<TdaTable*> FLookupTables;
  std::set<std::string> FFailedLookups;
  bool FSyncSQLByRange = false;
  bool FNarrowSearch = false;
  std::unique_ptr<TStringList> FParadoxPictures;
  bool FValidateWithMask = true;
  bool FParadoxPicturesPending = true;
  std::uint16_t FNarrowSearchUpperChar = 255;
  TdaOnFilterOptions FOnFilterOptions{ofoEnabled, ofoShowHourGlass};
  TdaTableFilterEvent FOnFilter;

  std::string FQueryLanguage;
  TEngineFilterHandle FFilterHandle = 0;
  TEngineFilterHandle FFilterCallbackHandle = 0;
  bool FInPrepareCursor = false;
  bool FInFilterEvent = false;   // the handler runs
  bool FInFilterCallback = false;  // the whole callback runs
  // Filter changes made while the callback ran, for the end of the engine's read.
  TdaTableFilterEvent FPendingOnFilter;
  bool FOnFilterPending = false;
  bool FExpressionPending = false;
  bool FFilterChangeScheduled = false;
  bool FHourGlassShown = false;
  std::int32_t FFilterCallCount = 0;

  bool FLookupVisited = false;
  bool FLookupFound = false;
  std::string FLookupLinkText;
  bool FLookupSearchActive = false;
};
