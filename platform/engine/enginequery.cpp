#include "enginequery.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "dbconv.h"
#include "dospath.h"
#include "engineimpl.h"
#include "numbers.h"
#include "text.h"

namespace fs = std::filesystem;
using namespace engine_impl;

namespace {

[[noreturn]] void Bad(const std::string& what) { throw EEngineError(what, EEngineError::ecInvalidQuery); }

std::string QuoteIdent(const std::string& s) { return Quote(s, '"'); }

bool IsIdentStart(unsigned char c) { return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80; }
bool IsIdentChar(unsigned char c) { return IsIdentStart(c) || (c >= '0' && c <= '9') || c == '$'; }

// The identifiers of an SQL text (bare and quoted), for finding the tables it names.
// Refuses "--" comments.
std::vector<std::string> Identifiers(const std::string& sql) {
  std::vector<std::string> out;
  size_t i = 0;
  const size_t n = sql.size();
  auto quoted = [&](char close) {
    std::string id;
    ++i;
    while (i < n) {
      if (sql[i] == close) {
        if (close != ']' && i + 1 < n && sql[i + 1] == close) {
          id += close;
          i += 2;
          continue;
        }
        ++i;
        return id;
      }
      id += sql[i++];
    }
    Bad("Unterminated quote in the query");
  };
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(sql[i]);
    if (c == '\'') {
      quoted('\'');
    } else if (c == '"' || c == '`') {
      out.push_back(quoted(char(c)));
    } else if (c == '[') {
      out.push_back(quoted(']'));
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      Bad("A query may not hold \"--\" comments: its lines are joined into one");
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      const size_t end = sql.find("*/", i + 2);
      i = end == std::string::npos ? n : end + 2;
    } else if (IsIdentStart(c)) {
      const size_t from = i;
      while (i < n && IsIdentChar(static_cast<unsigned char>(sql[i]))) ++i;
      out.push_back(sql.substr(from, i - from));
    } else if (c >= '0' && c <= '9') {
      while (i < n && (IsIdentChar(static_cast<unsigned char>(sql[i])) || sql[i] == '.')) ++i;
    } else {
      ++i;
    }
  }
  return out;
}

// A new, empty file for an answer in the temporary folder, made exclusively under a name
// nobody can foresee and readable by this user only: a file or link that stands in that
// shared folder is never taken for an answer nor written through.
std::string NewAnswerFile() {
  std::error_code ec;
  fs::path dir = fs::temp_directory_path(ec);
  if (ec) dir = ".";
  std::string path = (dir / "zelkor-answer-XXXXXX.db").string();
  const int fd = mkostemps(path.data(), 3, O_CLOEXEC);
  if (fd < 0) throw EEngineError("Cannot create an answer file in " + dir.string() + ": " + std::strerror(errno));
  ::close(fd);
  return path;
}

// What the values of one answer column were.
struct TColumnSeen {
  bool Int = false, Real = false, Text = false, Blob = false;
  bool Wide = false;  // an integer beyond 32 bits
  size_t MaxChars = 0;
};

}  // namespace

struct TEngineQuery::TSource {
  std::string Path;
  std::string Schema;  // the attached database's name
  std::vector<TEngineFieldDef> Fields;
};

TEngineQuery::TEngineQuery(const std::string& Folder, TEngineQueryLanguage Language)
    : FFolder(Folder), FLanguage(Language),
      FWait(std::make_unique<TEngineBusyWait>(TEngineBusyWait{TEngineTable::DefaultBusyTimeout(), {}})) {
  if (Language != qlQBE && Language != qlSQL) Bad("Unknown query language " + std::to_string(int(Language)));
}

TEngineQuery::~TEngineQuery() { Close(); }

void TEngineQuery::Close() {
  if (FStmt) sqlite3_finalize(FStmt);
  FStmt = nullptr;
  if (FDb) sqlite3_close_v2(FDb);
  FDb = nullptr;
  FSources.clear();
}

TEngineQuery::TFolderFiles TEngineQuery::FolderFiles() const {
  const std::string folder = FFolder.empty() ? std::string(".") : MapDosPath(FFolder);
  TFolderFiles files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file(ec)) files.emplace(AnsiLowerCase(it->path().filename().string()), it->path().string());
  return files;
}

std::string TEngineQuery::ResolveTable(const TFolderFiles& Files, const std::string& Name) {
  if (Name.empty()) return {};
  std::string wanted = AnsiLowerCase(Name);
  if (fs::path(Name).extension().empty()) wanted += EngineDefaultExtension;
  const auto it = Files.find(wanted);
  return it == Files.end() ? std::string() : it->second;
}

const TEngineQuery::TSource& TEngineQuery::Attach(const std::string& Path) {
  for (const auto& s : FSources)
    if (s->Path == Path) return *s;
  auto src = std::make_unique<TSource>();
  src->Path = Path;
  src->Schema = "t" + std::to_string(FSources.size() + 1);
  {
    TEngineTable table(Path, true);  // checks that it is a table of ours
    src->Fields = table.FieldDefs();
  }
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(FDb, ("ATTACH DATABASE ? AS " + src->Schema).c_str(), -1, &st, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_text(st, 1, Path.c_str(), -1, SQLITE_TRANSIENT);
    rc = sqlite3_step(st);
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_OK && rc != SQLITE_DONE) Bad("Cannot use table " + Path + " in a query: " + sqlite3_errmsg(FDb));
  FSources.push_back(std::move(src));
  return *FSources.back();
}

void TEngineQuery::Prepare(const std::string& Text) {
  Close();
  std::vector<TEngineValue> params;
  const std::string sql = FLanguage == qlQBE ? TranslateQbe(Text, params) : Text;
  PrepareSql(sql, params);
}

void TEngineQuery::PrepareSql(const std::string& Sql, const std::vector<TEngineValue>& Params) {
  const std::vector<std::string> names = Identifiers(Sql);
  const TFolderFiles files = FolderFiles();
  FDb = OpenDb(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, FWait.get());
  std::map<std::string, bool> viewed;  // views made, by lower-case name
  for (const auto& name : names) {
    const std::string key = LowerCase(name);
    if (viewed.count(key)) continue;
    const std::string path = ResolveTable(files, name);
    viewed[key] = true;
    if (path.empty()) continue;
    const TSource* src;
    try {
      src = &Attach(path);
    } catch (const EEngineError& e) {
      if (e.Code() == EEngineError::ecNotATable) continue;  // a file of the same name that is no table
      throw;
    }
    std::string view = "CREATE TEMP VIEW " + QuoteIdent(name) + " AS SELECT ";
    for (size_t i = 0; i < src->Fields.size(); ++i) {
      const auto& f = src->Fields[i];
      view += (i ? ", " : "") + Column(int(i));
      if (f.Type == TEngineFieldType::String) view += std::string(" COLLATE ") + EngineCollationName;
      view += " AS " + QuoteIdent(f.Name);
    }
    view += " FROM " + src->Schema + ".data";
    char* err = nullptr;
    if (sqlite3_exec(FDb, view.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err ? err : "";
      sqlite3_free(err);
      Bad("Cannot use table " + name + " in a query: " + msg);
    }
  }
  ExecOn(FDb, "PRAGMA query_only = 1", "query");
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v2(FDb, Sql.c_str(), int(Sql.size()), &FStmt, &tail);
  if (rc != SQLITE_OK) Bad("Invalid query: " + std::string(sqlite3_errmsg(FDb)));
  if (!FStmt) Bad("The query is empty");
  for (; tail && *tail; ++tail)
    if (*tail != ' ' && *tail != '\t' && *tail != '\r' && *tail != '\n' && *tail != ';')
      Bad("A query is one statement");
  if (!sqlite3_stmt_readonly(FStmt) || sqlite3_column_count(FStmt) == 0) Bad("A query must select rows");
  if (sqlite3_bind_parameter_count(FStmt) != int(Params.size())) Bad("The query has parameters");
  for (size_t i = 0; i < Params.size(); ++i) {
    const TEngineValue& v = Params[i];
    const int p = int(i) + 1;
    if (auto n = std::get_if<int64_t>(&v)) sqlite3_bind_int64(FStmt, p, *n);
    else if (auto d = std::get_if<double>(&v)) sqlite3_bind_double(FStmt, p, *d);
    else if (auto s = std::get_if<std::string>(&v)) sqlite3_bind_text64(FStmt, p, s->data(), s->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    else sqlite3_bind_null(FStmt, p);
  }
}

std::unique_ptr<TEngineTable> TEngineQuery::Execute() {
  if (!FStmt) Bad("The query is not prepared");
  const int columns = sqlite3_column_count(FStmt);
  const std::string path = NewAnswerFile();
  sqlite3* answer = nullptr;
  auto cleanup = [&] {
    if (answer) sqlite3_close_v2(answer);
    answer = nullptr;
    std::error_code ec;
    fs::remove(path, ec);
    fs::remove(path + "-journal", ec);
  };
  std::vector<TEngineFieldDef> fields{size_t(columns)};
  try {
    answer = OpenDb(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, FWait.get());
    ExecOn(answer, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN", path);
    std::string staging = "CREATE TABLE staging(", insert = "INSERT INTO staging VALUES(";
    for (int i = 0; i < columns; ++i) {
      staging += (i ? ", c" : "c") + std::to_string(i);
      insert += i ? ", ?" : "?";
    }
    ExecOn(answer, staging + ")", path);
    sqlite3_stmt* ins = nullptr;
    if (sqlite3_prepare_v2(answer, (insert + ")").c_str(), -1, &ins, nullptr) != SQLITE_OK)
      Bad("Cannot write the answer: " + std::string(sqlite3_errmsg(answer)));
    std::vector<TColumnSeen> seen{size_t(columns)};
    // One read transaction over every table of the query.
    ExecOn(FDb, "BEGIN", "query");
    int rc;
    try {
      while ((rc = sqlite3_step(FStmt)) == SQLITE_ROW) {
        for (int i = 0; i < columns; ++i) {
          TColumnSeen& s = seen[size_t(i)];
          switch (sqlite3_column_type(FStmt, i)) {
            case SQLITE_INTEGER: {
              s.Int = true;
              const sqlite3_int64 v = sqlite3_column_int64(FStmt, i);
              if (v < INT32_MIN || v > INT32_MAX) s.Wide = true;
              break;
            }
            case SQLITE_FLOAT: s.Real = true; break;
            case SQLITE_TEXT: {
              s.Text = true;
              const char* t = reinterpret_cast<const char*>(sqlite3_column_text(FStmt, i));
              s.MaxChars = std::max(s.MaxChars, Utf8Length(std::string_view(t, size_t(sqlite3_column_bytes(FStmt, i)))));
              break;
            }
            case SQLITE_BLOB: s.Blob = true; break;
            default: break;
          }
          sqlite3_bind_value(ins, i + 1, sqlite3_column_value(FStmt, i));
        }
        const int w = sqlite3_step(ins);
        sqlite3_reset(ins);
        if (w != SQLITE_DONE) Bad("Cannot write the answer: " + std::string(sqlite3_errmsg(answer)));
      }
    } catch (...) {
      sqlite3_finalize(ins);
      sqlite3_reset(FStmt);
      sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
    sqlite3_finalize(ins);
    const std::string err = rc == SQLITE_DONE ? std::string() : sqlite3_errmsg(FDb);
    sqlite3_reset(FStmt);
    sqlite3_exec(FDb, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_DONE) Bad("The query failed: " + err);

    // The answer's fields.
    for (int i = 0; i < columns; ++i) {
      TEngineFieldDef& f = fields[size_t(i)];
      const char* name = sqlite3_column_name(FStmt, i);
      f.Name = name && *name ? name : "Field" + std::to_string(i + 1);
      const char* schema = sqlite3_column_database_name(FStmt, i);
      const char* origin = sqlite3_column_origin_name(FStmt, i);
      const TEngineFieldDef* from = nullptr;
      if (schema && origin && origin[0] == 'f')
        for (const auto& src : FSources)
          if (src->Schema == schema) {
            const int pos = std::atoi(origin + 1) - 1;
            if (pos >= 0 && size_t(pos) < src->Fields.size()) from = &src->Fields[size_t(pos)];
          }
      const TColumnSeen& s = seen[size_t(i)];
      if (from) {
        f.Type = from->Type == TEngineFieldType::AutoInc ? TEngineFieldType::Integer : from->Type;
        f.Size = from->Size;
        f.Precision = from->Precision;
      } else if (s.Blob) {
        f.Type = TEngineFieldType::Blob;
      } else if (s.Text || (!s.Int && !s.Real)) {
        size_t size = std::max<size_t>(s.MaxChars, 1);
        for (const auto& src : FSources)
          for (const auto& g : src->Fields)
            if (g.Type == TEngineFieldType::String && SameName(g.Name, f.Name)) size = std::max(size, size_t(g.Size));
        f.Type = size > 255 ? TEngineFieldType::Memo : TEngineFieldType::String;
        f.Size = f.Type == TEngineFieldType::Memo ? 1 : int(size);
      } else if (s.Real) {
        f.Type = TEngineFieldType::Float;
      } else {
        f.Type = s.Wide ? TEngineFieldType::Largeint : TEngineFieldType::Integer;
      }
    }
    // Column names must be unique fields.
    for (size_t i = 0; i < fields.size(); ++i) {
      const std::string base = fields[i].Name;
      for (int k = 1;; ++k) {
        bool clash = false;
        for (size_t j = 0; j < i; ++j) clash = clash || SameName(fields[j].Name, fields[i].Name);
        if (!clash) break;
        fields[i].Name = base + "_" + std::to_string(k);
      }
    }
    BuildSchema(answer, path, fields, {});
    std::string copy = "INSERT INTO data(";
    std::string from;
    for (int i = 0; i < columns; ++i) {
      copy += (i ? ", " : "") + Column(i);
      from += (i ? ", c" : "c") + std::to_string(i);
    }
    ExecOn(answer, copy + ") SELECT " + from + " FROM staging ORDER BY rowid; DROP TABLE staging; COMMIT", path);
    sqlite3_close_v2(answer);
    answer = nullptr;
    auto table = std::make_unique<TEngineTable>(path, true);
    table->FDeleteOnClose = true;
    return table;
  } catch (...) {
    cleanup();
    throw;
  }
}

// ---- QBE ------------------------------------------------------------------------------------

namespace {

std::vector<std::string> SplitCells(const std::string& line) {
  std::vector<std::string> cells;
  std::string cur;
  bool inQuote = false;
  for (char c : line) {
    if (c == '"') inQuote = !inQuote;
    if (c == '|' && !inQuote) {
      cells.push_back(Trim(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!Trim(cur).empty() || cells.empty()) cells.push_back(Trim(cur));
  return cells;
}

const char* const kUnsupportedWords[] = {
    "blank", "not", "today", "like", "calc", "as", "or", "changeto", "delete", "insert", "set", "find",
    "groupby", "count", "sum", "average", "min", "max", "only", "every", "exactly", "no",
};

enum TMark { mkNone, mkCheck, mkCheckPlus, mkCheckDescending };

TEngineValue QbeValue(const std::string& text, const TEngineFieldDef& f) {
  auto fail = [&]() -> TEngineValue {
    Bad("QBE: '" + text + "' is not a valid value for field " + f.Name);
  };
  try {
    switch (f.Type) {
      case TEngineFieldType::String: case TEngineFieldType::Memo: return text;
      case TEngineFieldType::Smallint: case TEngineFieldType::Integer: case TEngineFieldType::Word:
      case TEngineFieldType::Largeint: case TEngineFieldType::AutoInc: return StrToInt64(text);
      case TEngineFieldType::Float: case TEngineFieldType::Currency: case TEngineFieldType::BCD: return StrToFloat(text);
      case TEngineFieldType::Date: return TextToDate(text);
      case TEngineFieldType::Time: return TextToTime(text);
      case TEngineFieldType::DateTime: return TextToDateTime(text);
      case TEngineFieldType::Boolean: {
        const std::string t = LowerCase(text);
        if (t == "true" || t == "t") return int64_t(1);
        if (t == "false" || t == "f") return int64_t(0);
        return fail();
      }
      default: Bad("QBE: field " + f.Name + " cannot take a condition");
    }
  } catch (const EConvertError&) {
    return fail();
  }
}

}  // namespace

std::string TEngineQuery::TranslateQbe(const std::string& Text, std::vector<TEngineValue>& Params) {
  std::vector<std::string> lines;
  {
    std::string cur;
    for (char c : Text + "\n") {
      if (c == '\n' || c == '\r') {
        if (!Trim(cur).empty()) lines.push_back(Trim(cur));
        cur.clear();
      } else {
        cur += c;
      }
    }
  }
  if (lines.empty() || !SameText(lines.front(), "Query")) Bad("QBE: a query begins with the line Query");
  if (lines.size() < 2 || !SameText(lines.back(), "EndQuery")) Bad("QBE: a query ends with the line EndQuery");
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  for (size_t i = 1; i + 1 < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (SameText(line.substr(0, 7), "ANSWER:")) continue;
    if (line.find('|') == std::string::npos) Bad("QBE: not supported: " + line);
    std::vector<std::string> cells = SplitCells(line);
    if (!cells[0].empty()) {
      if (!header.empty()) Bad("QBE: a query of one table only");
      header = cells;
    } else {
      if (header.empty()) Bad("QBE: a row before the table's line");
      rows.push_back(cells);
    }
  }
  if (header.size() < 2) Bad("QBE: no table and fields");
  if (rows.empty()) Bad("QBE: no query row");
  const std::string path = ResolveTable(FolderFiles(), header[0]);
  if (path.empty()) Bad("QBE: no table " + header[0]);
  std::vector<TEngineFieldDef> defs;
  {
    TEngineTable table(path, true);
    defs = table.FieldDefs();
  }
  const size_t width = header.size() - 1;
  std::vector<int> field(width);
  for (size_t k = 0; k < width; ++k) {
    field[k] = FieldPos(defs, header[k + 1]);
    if (field[k] < 0) Bad("QBE: table " + header[0] + " has no field " + header[k + 1]);
  }
  std::vector<TMark> marks;
  std::string where;
  for (size_t r = 0; r < rows.size(); ++r) {
    const auto& row = rows[r];
    if (row.size() - 1 > width) Bad("QBE: a row has more cells than the table line");
    std::vector<TMark> rowMarks(width, mkNone);
    std::string conds;
    for (size_t k = 0; k < width; ++k) {
      std::string cell = k + 1 < row.size() ? row[k + 1] : std::string();
      const std::string word = LowerCase(cell.substr(0, cell.find(' ')));
      if (word == "check") rowMarks[k] = mkCheck;
      else if (word == "checkplus") rowMarks[k] = mkCheckPlus;
      else if (word == "checkdescending") rowMarks[k] = mkCheckDescending;
      else if (word.rfind("check", 0) == 0) Bad("QBE: not supported: " + word);
      if (rowMarks[k] != mkNone) cell = Trim(cell.substr(word.size()));
      if (cell.empty()) continue;
      std::string op = "=";
      for (const char* o : {"<=", ">=", "<>", "<", ">", "="})
        if (cell.rfind(o, 0) == 0) {
          op = o;
          cell = Trim(cell.substr(std::string(o).size()));
          break;
        }
      std::string value;
      if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"' &&
          cell.find('"', 1) == cell.size() - 1) {
        value = cell.substr(1, cell.size() - 2);
      } else {
        if (cell.empty()) Bad("QBE: an operator without a value");
        if (cell.find(',') != std::string::npos) Bad("QBE: one condition per field: " + cell);
        if (cell.find('"') != std::string::npos) Bad("QBE: unbalanced quotes: " + cell);
        if (cell[0] == '_') Bad("QBE: example elements are not supported: " + cell);
        if (cell.find("..") != std::string::npos) Bad("QBE: wildcards are not supported: " + cell);
        const std::string first = LowerCase(cell.substr(0, cell.find(' ')));
        for (const char* w : kUnsupportedWords)
          if (first == w) Bad("QBE: not supported: " + cell);
        value = cell;
      }
      const TEngineFieldDef& f = defs[size_t(field[k])];
      Params.push_back(QbeValue(value, f));
      conds += (conds.empty() ? "" : " AND ") + QuoteIdent(f.Name) + " " + op + " ?";
    }
    if (r == 0) marks = rowMarks;
    else if (rowMarks != marks) Bad("QBE: every row must carry the same check marks");
    where += std::string(r ? " OR " : "") + "(" + (conds.empty() ? "1" : conds) + ")";
  }
  const bool plus = std::count(marks.begin(), marks.end(), mkCheckPlus) > 0;
  const bool sorted = std::count(marks.begin(), marks.end(), mkCheck) + std::count(marks.begin(), marks.end(), mkCheckDescending) > 0;
  if (!plus && !sorted) Bad("QBE: no field is checked");
  if (plus && sorted) Bad("QBE: CheckPlus cannot be mixed with Check or CheckDescending");
  std::string select, order;
  for (size_t k = 0; k < width; ++k) {
    if (marks[k] == mkNone) continue;
    const std::string col = QuoteIdent(defs[size_t(field[k])].Name);
    select += (select.empty() ? "" : ", ") + col;
    if (marks[k] != mkCheckPlus) order += (order.empty() ? "" : ", ") + col + (marks[k] == mkCheckDescending ? " DESC" : "");
  }
  return std::string("SELECT ") + (plus ? "" : "DISTINCT ") + select + " FROM " + QuoteIdent(header[0]) + " WHERE " +
         where + (order.empty() ? "" : " ORDER BY " + order);
}
