#pragma once
// Queries over the tables of a folder, in SQL or in a subset of QBE. The answer is a table of
// the result rows in their order, read-only, kept in a temporary file that is removed when
// the answer table closes; a cursor over it moves both ways and keeps bookmarks.
//
// SQL: one SELECT (or WITH ... SELECT) statement in SQLite's dialect. A table is named by its
// file in the folder, with or without the ".db" extension, bare or in double quotes
// ("Articles.db"); its fields by their names. Text fields compare and sort in the engine's
// collation (EngineCompareText: case-insensitive, Č after C), so ORDER BY Name gives the
// Slovenian order and Name = 'abc' matches 'ABC' too. "--" comments are refused: query lines
// are joined with blanks, so such a comment would swallow the lines after it. At most ten
// tables take part in one query.
//
// Answer fields: a column taken straight from a field keeps that field's type, size and
// precision; a text column computed or given a collation keeps the text type with the size of
// its longest value (at least the size of a text field of the same name); other computed
// columns get the type of their values (integer, largeint, float, text, blob). Duplicate
// column names get "_1", "_2", ... appended.
//
// QBE: the single-table subset
//     Query
//     ANSWER: <ignored; the answer is always a temporary table>
//     <table> | <field> | <field> | ...
//             | <cell>  | <cell>  | ...       one or more rows, joined with OR
//     EndQuery
// Each cell: an optional check mark (Check: the field is in the answer, duplicates are
// removed and the answer is sorted by the checked fields; CheckDescending: the same, sorted
// descending by that field; CheckPlus: in the answer, duplicates kept, unsorted) followed by
// at most one condition: an optional operator (= < > <= >= <>) and a value, plain or in
// double quotes, read by the field's type with the program's format settings (a value that
// holds a comma, such as a number under a decimal comma, goes in quotes). A row's
// conditions are joined with AND. Every row carries the same check marks. Not supported (a
// clear EEngineError): several tables, example elements (_x), several conditions in a cell,
// wildcards (..), and the words BLANK, NOT, TODAY, LIKE, CALC, AS, OR, CHANGETO, DELETE,
// INSERT, SET, FIND, GROUPBY, COUNT, SUM, AVERAGE, MIN, MAX, ONLY, EVERY, EXACTLY, NO.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine.h"

enum TEngineQueryLanguage { qlQBE = 1, qlSQL = 2 };

class TEngineQuery : public TObject {
public:
  // Folder: the database's folder ("" the working folder).
  TEngineQuery(const std::string& Folder, TEngineQueryLanguage Language);
  ~TEngineQuery() override;
  TEngineQuery(const TEngineQuery&) = delete;
  TEngineQuery& operator=(const TEngineQuery&) = delete;

  TEngineQueryLanguage Language() const { return FLanguage; }
  // Checks the text against the folder's tables; EEngineError (ecInvalidQuery) for a text
  // the engine cannot run, with SQLite's or the QBE reader's reason.
  void Prepare(const std::string& Text);
  // Runs the prepared query; the answer table (read-only).
  std::unique_ptr<TEngineTable> Execute();
  ZEL_CLASS(TEngineQuery, TObject)

private:
  struct TSource;
  void Close();
  void PrepareSql(const std::string& Sql, const std::vector<TEngineValue>& Params);
  std::string TranslateQbe(const std::string& Text, std::vector<TEngineValue>& Params);
  // The folder's files by lower-case name, listed once for all the names of a query.
  using TFolderFiles = std::map<std::string, std::string>;
  TFolderFiles FolderFiles() const;
  // The table file a name in a query stands for, or "" when the folder has none.
  static std::string ResolveTable(const TFolderFiles& Files, const std::string& Name);
  const TSource& Attach(const std::string& Path);

  std::string FFolder;
  TEngineQueryLanguage FLanguage;
  std::unique_ptr<TEngineBusyWait> FWait;
  sqlite3* FDb = nullptr;
  sqlite3_stmt* FStmt = nullptr;
  std::vector<std::unique_ptr<TSource>> FSources;
};
