#pragma once
// The filter-expression emitter and filter installation of the extended table: writes the
// parser's tree as the engine's filter-expression blob (enginefilter.h) and installs it on a
// table's cursor, installs a per-record callback filter, or hands a filter text to the other
// vendor's table driver (drivermodules.h).
//
// Constants are written by the kind the parser gave them (the field on the left of their
// operator): text in Windows-1250 with a NUL; floating point by the program's decimal
// separator; date, time and date-time texts by the program's date and time formats (a
// date-time text with a blank is a date and a time, otherwise a date alone); logical as -1
// when the text begins with T or t, else 0; integers as 32 bits; small integers as 16 bits;
// BCD with 32 digits and the field's decimal places. A constant that does not convert, does
// not fit its field's type (70000 for a Smallint) or holds a character that Windows-1250
// has not raises EConvertError; nothing is installed or dropped then.
#include <cstdint>
#include <string>
#include <vector>

#include "dafilterparser.h"
#include "dbtables.h"
#include "engine.h"

// The fields of a data set, in field order, as the parser sees a table.
class TDataSetFilterFields : public TFilterFieldSource {
 public:
  explicit TDataSetFilterFields(TDataSet* DataSet) : FDataSet(DataSet) {}
  int FilterFieldCount() const override;
  std::string FilterFieldName(int Index) const override;
  TFieldType FilterFieldType(int Index) const override;
  int FilterFieldSize(int Index) const override;

 private:
  TDataSet* FDataSet;
};

// The blob of Text parsed against FilterTable, in the emitter's buffer (10 + 14 N + 1000
// bytes, zero-filled; the header's total size tells how much of it is the blob); none when the
// parse fails, when anything but blanks follows the parsed expression, when the literals need
// more than the pool's 1000 bytes or the blob more than 65535 bytes. The buffer stays until
// FreeFilterBuffer or the next CompileFilter.
const std::vector<std::uint8_t>* CompileFilter(const std::string& Text);
void FreeFilterBuffer();
// Writes Node's subtree, operands first, into the buffer of the running CompileFilter; false
// when the pool has no room or no compile runs.
bool EmitFilterNode(TNode* Node);

// Installs Text as Table's filter expression, replacing the one of FilterHandle; True on
// success. A table that is not active and not forced keeps no filter: handle 0, True. An
// empty text drops the filter. A text that does not compile leaves the filter before and its
// handle as they were (False); a blob the engine refuses leaves no filter (handle 0, False).
// Table types from 5 on go to the other vendor's driver: the text (at most 256 bytes in
// Windows-1250) is handed to the first loaded of the modules "SDE32", "SDE3032", "SDE2532"
// (drivermodules.h), an empty text too, which removes the driver's filter of an active table;
// with no module loaded, False and nothing is called. An active table is refreshed.
// Reread false leaves the table's records as they were read (for a change made while the
// table is in the middle of a read).
bool SetFilterExpression(const std::string& Text, TTable* Table, TEngineFilterHandle& FilterHandle, bool Force,
                         bool Reread = true);
// Removes the filter of the handle from the table's cursor (an unknown one harmlessly); 0.
void DropFilter(TTable* Table, TEngineFilterHandle& FilterHandle);
// Installs Callback as a per-record filter with the table as its client value, replacing the
// one of FilterHandle; with no callback only removes it. False when the table has no cursor
// or the engine refuses. An active table is read again, unless Reread is false.
bool SetFilterCallback(TEngineFilterCallback Callback, TTable* Table, TEngineFilterHandle& FilterHandle,
                       bool Reread = true);

// The modules of the other vendor's table driver, in the order they are looked for.
inline constexpr const char* TableDriverModuleNames[] = {"SDE32", "SDE3032", "SDE2532"};
