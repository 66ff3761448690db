// The search helpers over the articles table, and the RTF reader they use for rich-text memos.
#include "dasearch.h"

#include <iterator>
#include <map>
#include <random>

#include "artikli.h"
#include "dartf.h"
#include "datable.h"
#include "forms.h"
#include "numbers.h"
#include "text.h"

namespace {

struct SearchFixture : ArticleTables {
  TdaTable t{nullptr};
  void SetUp() override {
    ArticleTables::SetUp();
    t.SetName("Artikli");
    t.SetTableName("c:\\Data\\Artikli.db");
    t.Open();
  }
  std::string Current() { return t.FieldByName("Sifra")->AsString(); }
  void GoTo(const std::string& Sifra) { ASSERT_TRUE(t.Locate("Sifra", Variant(Sifra), {})) << Sifra; }
};

}  // namespace

TEST_F(SearchFixture, FindTextCases) {
  struct Case {
    const char* What;
    std::string Index;  // the table's index ("" the primary one on Sifra)
    const char* Start;  // the record the search starts from
    bool FromFirst;
    const char* Field;
    bool CaseSensitive;
    int MatchType;
    const char* Text;
    const char* Found;  // "" for a miss
  };
  const std::vector<Case> cases = {
      {"exact, ignoring case", "", "B1", true, "Naziv", false, 0, "čebula", "A1"},
      {"exact, case told apart", "", "B1", true, "Naziv", true, 0, "čebula", ""},
      {"exact, same case", "", "B1", true, "Naziv", true, 0, "Čebula", "A1"},
      {"beginning", "", "A1", true, "Naziv", false, 1, "žeb", "A2"},
      {"beginning, not a middle", "", "A1", true, "Naziv", false, 1, "blji", ""},
      {"anywhere", "", "A1", true, "Naziv", false, 2, "BLJI", "A2"},
      {"anywhere, case told apart", "", "A1", true, "Naziv", true, 2, "elj", "B1"},
      {"empty text matches no beginning", "", "A1", true, "Naziv", false, 1, "", ""},
      {"float as a number", "", "B1", true, "Cena", false, 0, "1,50", "A1"},
      {"float that is no number", "", "B1", true, "Cena", false, 0, "1,5x", ""},
      {"float: a number for 63 characters, then not", "", "B1", true, "Cena", false, 0,
       "1,5000000000000000000000000000000000000000000000000000000000000x", ""},
      {"float beginning compares text", "", "B1", true, "Cena", false, 1, "1,50", ""},
      {"float beginning as text", "", "B1", true, "Cena", false, 1, "2,2", "A2"},
      {"date-time by its date", "", "A1", true, "Datum", false, 0, "2.5.2024", "A2"},
      {"date-time with a time matches nothing", "", "A1", true, "Datum", false, 0, "2.5.2024 8:30", ""},
      {"rich-text memo", "", "A1", true, "Opis", false, 2, "žalec", "A2"},
      {"rich-text font table is no text", "", "A1", true, "Opis", false, 2, "arial", ""},
      {"plain memo", "", "A1", false, "Opis", false, 1, "BELA", "A4"},
      {"negative small integer", "", "A1", true, "Kolicina", false, 0, "-5", "A2"},
      {"next equal record", "", "A1", false, "Naziv", false, 0, "Čebula", "A4"},
      {"next equal record, none after", "", "A4", false, "Naziv", false, 0, "čebula", ""},
      {"index: exact key", "", "A1", true, "Sifra", true, 0, "A3", "A3"},
      {"index: missing key", "", "A2", true, "Sifra", true, 0, "A9", ""},
      {"index: beginning", "", "A1", true, "Sifra", true, 1, "B", "B1"},
      {"index: nearest that does not begin", "", "A2", true, "Sifra", true, 1, "A5", ""},
      {"index: sorts before the current", "", "A3", false, "Sifra", true, 1, "A1", ""},
      {"case-insensitive index, exact", "ixNaziv", "B1", true, "Naziv", false, 0, "ČEBULA", "A1"},
      {"case-insensitive index, beginning", "ixNaziv", "cesta", true, "Naziv", false, 1, "ŽE", "A2"},
      {"collation: ž after z", "ixNaziv", "Zelje", false, "Naziv", false, 1, "Ž", "A2"},
      {"collation, not bytes: č before z", "ixNaziv", "Zelje", false, "Naziv", false, 1, "Č", ""},
      {"index: next one that begins", "ixNaziv", "A1", false, "Naziv", false, 1, "čeb", "A4"},
      {"index: a text the integer key cannot hold", "ixSkupina", "A1", true, "Skupina", false, 0, "abc", ""},
      {"index: beyond the integer key's range", "ixSkupina", "A1", true, "Skupina", false, 0, "99999999999", ""},
      {"index: an integer key", "ixSkupina", "A1", true, "Skupina", false, 0, "9", "B1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    t.SetIndexName(c.Index);
    if (c.Index.empty()) {
      GoTo(c.Start);
    } else if (std::string(c.Start).size() > 2) {
      ASSERT_TRUE(t.Locate("Naziv", Variant(std::string(c.Start)), {}));
    } else {
      GoTo(c.Start);
    }
    const std::string before = Current();
    const bool found = FindText(c.FromFirst, &t, c.Field, false, c.CaseSensitive, c.MatchType, c.Text);
    EXPECT_EQ(found, *c.Found != 0);
    EXPECT_EQ(Current(), *c.Found ? c.Found : before) << "a miss leaves the position";
    EXPECT_EQ(Screen->Cursor(), crDefault);
    EXPECT_FALSE(t.ControlsDisabled());
  }
  EXPECT_TRUE(ui.Messages.empty());
  // An unknown field: its message, no move.
  t.SetIndexName("");
  GoTo("A2");
  EXPECT_FALSE(FindText(true, &t, "Nic", false, false, 0, "x"));
  ASSERT_EQ(ui.Messages.size(), 1u);
  EXPECT_EQ(ui.Messages[0].Text, "Field Nic not found.");
  EXPECT_EQ(ui.Messages[0].DlgType, mtWarning);
  EXPECT_EQ(Current(), "A2");
}

// Searches with texts made from the records' own values and bent out of shape (case, parts,
// other number forms, garbage), on every kind of scanned field, against a model of the
// matching rules: the first matching record from the start, or where the table stood.
TEST_F(SearchFixture, RandomTextsAgainstAModel) {
  struct Rec {
    std::string Sifra;
    std::map<std::string, std::string> Text;  // the text a field compares by
    double Cena;
  };
  std::vector<Rec> recs;
  for (t.First(); !t.Eof(); t.Next())
    recs.push_back({Current(),
                    {{"Naziv", t.FieldByName("Naziv")->AsString()},
                     {"Cena", t.FieldByName("Cena")->AsString()},
                     {"Kolicina", t.FieldByName("Kolicina")->AsString()},
                     {"Datum", DateToStr(t.FieldByName("Datum")->AsDateTime())}},
                    t.FieldByName("Cena")->AsFloat()});
  const auto matches = [](const Rec& r, const std::string& field, const std::string& search, int type, bool cs) {
    if (field == "Cena" && type == 0 && !search.empty()) {
      double v = 0;
      return TryStrToFloat(search, v) && v == r.Cena;
    }
    const std::string v = cs ? r.Text.at(field) : AnsiUpperCase(r.Text.at(field));
    const std::string s = cs ? search : AnsiUpperCase(search);
    switch (type) {
      case 0: return v == s;
      case 1: return !s.empty() && v.compare(0, s.size(), s) == 0;
      case 2: return !s.empty() && v.find(s) != std::string::npos;
      default: return false;
    }
  };
  const char* const fields[] = {"Naziv", "Cena", "Kolicina", "Datum"};
  const char* const garbage[] = {"", " ", "x", "Č", "ž", "\xff", ",", "1,", "-", "e5", "0x10", "..", "1.5.2024"};
  std::mt19937 rng(2405);
  auto pick = [&](size_t n) { return size_t(rng() % n); };
  for (int i = 0; i < 1500; ++i) {
    const std::string field = fields[pick(4)];
    std::string text = recs[pick(recs.size())].Text.at(field);
    switch (pick(8)) {
      case 0: text = AnsiUpperCase(text); break;
      case 1: text = AnsiLowerCase(text); break;
      case 2: text = Utf8Left(text, pick(4)); break;
      case 3: text = Utf8Copy(text, 2, (long long)pick(4)); break;
      case 4: text += garbage[pick(std::size(garbage))]; break;
      case 5: text = garbage[pick(std::size(garbage))] + text; break;
      case 6: text += std::string(text.size() < 64 ? 64 - text.size() : 0, '0') + "x"; break;  // a number for 64
      default: break;
    }
    const int type = int(pick(4));
    const bool cs = pick(2), fromFirst = pick(2);
    const size_t start = pick(recs.size());
    SCOPED_TRACE(field + " / " + text + " / type " + std::to_string(type) + (cs ? " cs" : "") +
                 (fromFirst ? " from first" : " from " + recs[start].Sifra));
    GoTo(recs[start].Sifra);
    std::string expected;
    for (size_t r = fromFirst ? 0 : start + 1; r < recs.size() && expected.empty(); ++r)
      if (matches(recs[r], field, text, type, cs)) expected = recs[r].Sifra;
    bool found = false;
    ASSERT_NO_THROW(found = FindText(fromFirst, &t, field, false, cs, type, text));
    EXPECT_EQ(found, !expected.empty());
    EXPECT_EQ(Current(), expected.empty() ? recs[start].Sifra : expected);
  }
  EXPECT_TRUE(ui.Messages.empty());
}

TEST_F(SearchFixture, ScansHonourTheDataSetsOwnFilterAndTheEngineFilters) {
  t.SetOnFilterRecord([](TDataSet* ds, bool& accept) { accept = ds->FieldByName("Sifra")->AsString() != "A1"; });
  t.SetFiltered(true);
  EXPECT_TRUE(FindText(true, &t, "Naziv", false, false, 0, "čebula"));
  EXPECT_EQ(Current(), "A4");
  t.SetFiltered(false);
  TStringList lines{"Skupina <> 1"};
  t.SetdaFilter(&lines);
  GoTo("A2");
  EXPECT_FALSE(FindText(true, &t, "Naziv", false, false, 0, "čebula"));
  EXPECT_EQ(Current(), "A2");
}

TEST_F(SearchFixture, AThrowingHandlerRestoresPositionCursorAndControls) {
  // A calculated field: the scan moves the data set with its controls disabled.
  t.Close();
  CreatePersistentFields(t);
  TField* calc = AddCalcField(t, "Velika");
  bool armed = false, calcArmed = false;
  t.OnCalcFields = [&](TDataSet* ds) {
    const std::string sifra = ds->FieldByName("Sifra")->AsString();
    if (calcArmed && sifra == "A3") throw EDatabaseError("calc failed");
    ds->FieldByName("Velika")->SetAsString(AnsiUpperCase(ds->FieldByName("Naziv")->AsString()));
  };
  t.Open();
  GoTo("A2");
  calcArmed = true;
  EXPECT_THROW(FindText(false, &t, "Velika", false, false, 0, "ZELJE"), EDatabaseError);
  calcArmed = false;
  EXPECT_EQ(Current(), "A2");
  EXPECT_EQ(calc->AsString(), "ŽEBLJIČKI");
  EXPECT_FALSE(t.ControlsDisabled());
  EXPECT_EQ(Screen->Cursor(), crDefault);
  // The engine scan: a record filter that raises on the way.
  t.SetOnFilterRecord([&](TDataSet* ds, bool&) {
    if (armed && ds->FieldByName("Sifra")->AsString() == "A4") throw EDatabaseError("filter failed");
  });
  t.SetFiltered(true);
  GoTo("A2");
  armed = true;
  EXPECT_THROW(FindText(false, &t, "Naziv", false, false, 0, "zelje"), EDatabaseError);
  armed = false;
  EXPECT_EQ(Current(), "A2");
  t.Next();  // the data set and its cursor agree again
  EXPECT_EQ(Current(), "A3");
  EXPECT_EQ(Screen->Cursor(), crDefault);
  // Found afterwards, without the fault.
  EXPECT_TRUE(FindText(false, &t, "Naziv", false, false, 0, "zelje"));
  EXPECT_EQ(Current(), "B1");
}

TEST_F(SearchFixture, FindRecordByFieldAndTheTextRules) {
  GoTo("A1");
  ui.Cursors.clear();
  EXPECT_TRUE(FindRecordByField(&t, "ČEBULA", "Naziv", false, 0));  // the current record already
  EXPECT_TRUE(ui.Cursors.empty()) << "no search ran";
  EXPECT_TRUE(FindRecordByField(&t, "zelje", "Naziv", false, 0));
  EXPECT_EQ(Current(), "B1");
  EXPECT_FALSE(FindRecordByField(&t, "zelje", "Naziv", true, 0));
  EXPECT_EQ(Current(), "B1");

  struct Text {
    const char *Value, *Search;
    int Type;
    bool CaseSensitive, Match;
  };
  for (const Text& c : {Text{"", "", 0, false, true}, Text{"", "", 1, false, false}, Text{"", "", 2, false, false},
                        Text{"Čebula", "ČEBULA", 0, false, true}, Text{"Čebula", "čebula", 0, true, false},
                        Text{"Čebula", "ČEB", 1, false, true}, Text{"Čebula", "BUL", 2, false, true},
                        Text{"Čebula", "BUL", 1, false, false}, Text{"Čebula", "Čebula", 3, true, false}})
    EXPECT_EQ(TextMatches(c.Value, c.Search, c.Type, c.CaseSensitive), c.Match) << c.Value << " / " << c.Search;
}

TEST(Rtf, PlainTextOfRichText) {
  struct Case {
    const char *Rtf, *Text;
  };
  for (const Case& c : {
           Case{RtfNote, "Hmelj iz Žalca\r\nPridelal Žalec"},
           Case{"{\\rtf1 a\\tab b\\line c}", "a\tb\r\nc"},
           Case{"{\\rtf1 \\{x\\} \\\\ y}", "{x} \\ y"},
           Case{"{\\rtf1\\uc2 \\u269\\'e8\\'e8x}", "čx"},
           Case{"{\\rtf1 \\u-10179?\\u-8704?}", "\xEF\xBF\xBD\xEF\xBF\xBD"},
           Case{"{\\rtf1{\\info{\\title Naslov}}{\\*\\unknown skrito}vidno}", "vidno"},
           Case{"{\\rtf1 a\\bin2 XYc}", "ac"},
           Case{"{\\rtf1 \\'9a\\'9e\\'e6\\'f0\\'8a}", "šžćđŠ"},
           Case{"{\\rtf1 cut\\'", "cut"},
           Case{"{\\rtf1 nested {\\b bold} }}}}", "nested bold "},
           Case{"", ""},
       })
    EXPECT_EQ(RtfToPlainText(c.Rtf), c.Text) << c.Rtf;
  EXPECT_TRUE(LooksLikeRtf("{\\rtf1"));
  EXPECT_FALSE(LooksLikeRtf(" {\\rtf1"));
}
