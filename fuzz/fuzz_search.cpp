// Fuzzes the search helpers with the texts a user types: every match type (and one beyond
// them), every field type of the engine's tables, with and without regard to case, from the
// first record or the next, through the table's index, its Locate and the scan. A search never
// raises; it finds a record or leaves the table where it stood.
//
// Input: a byte for the field, one for the match type, one of flags (case, from first, use
// Locate, the index, the starting record), then the search text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dasearch.h"
#include "datable.h"
#include "datetime.h"
#include "dialogs.h"
#include "dospath.h"
#include "engine.h"
#include "formatsettings.h"
#include "forms.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

const char* const Fields[] = {"Str", "Int", "Small", "W", "Big", "Flt", "Cur", "Bcd",
                              "Dat", "Tim", "Stamp", "Flag", "Memo"};
const char* const Indexes[] = {"", "ixStr", "ixStrCS", "ixSmall", "ixFlt", "ixDat", "ixStamp", "ixFlag"};

struct TSearchTable {
  TRecordingUiService Ui;
  TdaTable Table{nullptr};
  TSearchTable() {
    char folder[] = "/tmp/zelkor-fuzz-search-XXXXXX";
    Check(mkdtemp(folder) != nullptr);
    setenv("ZELKOR_ROOT", folder, 1);
    FormatSettings().DecimalSeparator = ',';
    FormatSettings().DateSeparator = '.';
    FormatSettings().ShortDateFormat = "d.m.yyyy";
    const std::string file = MapDosPath("c:\\Search.db");
    using FT = TEngineFieldType;
    TEngineTable::Create(file,
                         {{"Str", FT::String, 20}, {"Int", FT::Integer}, {"Small", FT::Smallint}, {"W", FT::Word},
                          {"Big", FT::Largeint}, {"Flt", FT::Float}, {"Cur", FT::Currency}, {"Bcd", FT::BCD, 2, 10},
                          {"Dat", FT::Date}, {"Tim", FT::Time}, {"Stamp", FT::DateTime}, {"Flag", FT::Boolean},
                          {"Memo", FT::Memo}},
                         {{"", "Int", eioPrimary | eioUnique},
                          {"ixStr", "Str", eioCaseInsensitive},
                          {"ixStrCS", "Str", 0},
                          {"ixSmall", "Small", 0},
                          {"ixFlt", "Flt", 0},
                          {"ixDat", "Dat", 0},
                          {"ixStamp", "Stamp", 0},
                          {"ixFlag", "Flag", 0}});
    TEngineTable t(file);
    const TEngineValue n;
    auto s = [](const char* v) { return TEngineValue(std::string(v)); };
    const std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 \\'8eelje\\par}";
    t.InsertRecord({s("Čebula"), int64_t(1), int64_t(-5), int64_t(65535), int64_t(-9000000000), 1.5, 2.25, 1.05,
                    double(EncodeDate(2024, 5, 1)), 0.5, EncodeDate(2024, 5, 1) + 0.25, int64_t(1), s("rdeča")});
    t.InsertRecord({n, int64_t(2), n, n, n, n, n, n, n, n, n, n, n});
    t.InsertRecord({s(""), int64_t(-2147483647 - 1), int64_t(32767), int64_t(0), int64_t(INT64_MAX), -1e300, -0.0001,
                    -99999999.99, double(EncodeDate(1, 1, 1)), 0.999988, -693593.5, int64_t(0), TEngineValue(rtf)});
    t.InsertRecord({s("zelje ŽELJE"), int64_t(4), int64_t(0), int64_t(1), int64_t(0), 1e-300, 922337203685477.0, 0.0,
                    double(EncodeDate(9999, 12, 31)), 0.0, 2958465.9999, int64_t(1), s("")});
    Table.SetTableName("c:\\Search.db");
    Table.Open();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TSearchTable* fixture = new TSearchTable;
  if (size < 3) return 0;
  TdaTable& t = fixture->Table;
  const char* field = Fields[data[0] % (sizeof Fields / sizeof *Fields)];
  const int matchType = data[1] % 4;
  const std::uint8_t flags = data[2];
  const bool caseSensitive = flags & 1, fromFirst = flags & 2, useLocate = flags & 4;
  const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);
  try {
    t.SetIndexName(Indexes[(flags >> 3) % (sizeof Indexes / sizeof *Indexes)]);
    if (flags & 0x40) t.Last(); else t.First();
    const std::int32_t before = t.FieldByName("Int")->AsInteger();
    const bool found = FindText(fromFirst, &t, field, useLocate, caseSensitive, matchType, text);
    if (!found) Check(t.FieldByName("Int")->AsInteger() == before);
    if (matchType == 3) Check(!found);
    Check(Screen->Cursor() == crDefault);
    Check(!t.ControlsDisabled());
    (void)FindRecordByField(&t, text, field, caseSensitive, matchType);
  } catch (...) {
    std::abort();  // bad input is "not found", never an exception
  }
  Check(fixture->Ui.Messages.empty());
  return 0;
}
