// The data-set helpers: published lists and options, picture masks and their check before a
// post, lookup fields, class and field tests, query lines.
#include "dahelpers.h"

#include "artikli.h"
#include "datable.h"
#include "fakekeyqueue.h"
#include "focuslink.h"

namespace {

struct MaskFixture : ArticleTables {
  TdaTable t{nullptr};
  void SetUp() override {
    ArticleTables::SetUp();
    using FT = TEngineFieldType;
    TEngineTable::Create(File("Maske.db"), {{"Sifra", FT::String, 10}, {"Naziv", FT::String, 20}, {"Cena", FT::Float}},
                         {});
    TEngineTable(File("Maske.db")).SetValidityCheck(3, "#;,##");
    t.SetTableName("c:\\Data\\Maske.db");
  }
};

}  // namespace

TEST_F(MaskFixture, PictureMasksLines) {
  TStringList lines{"NAZIV\t&*?\tT\tF", "Sifra\t!#", "Cena\t*#\tF\tT"};
  t.SetPictureMasks(&lines);
  EXPECT_EQ(GetPictureMasks(&t), t.PictureMasks());
  EXPECT_EQ(GetControlTypes(&t), t.ControlType());
  struct Case {
    const char* Field;
    bool TablePictures;
    const char* Mask;
    bool Flag1, Flag2;
  };
  for (const Case& c : {Case{"Naziv", false, "&*?", true, false}, Case{"naziv", false, "&*?", true, false},
                        Case{"Sifra", false, "!#", false, false}, Case{"Kolicina", false, "", true, true},
                        Case{"Cena", false, "*#", false, true},
                        // The picture kept with the table file wins, also while the table is closed.
                        Case{"Cena", true, "#;,##", false, true}}) {
    std::string mask = "?";
    bool f1 = !c.Flag1, f2 = !c.Flag2;
    GetFieldMask(&t, c.Field, c.TablePictures, mask, f1, f2);
    EXPECT_EQ(mask, c.Mask) << c.Field;
    EXPECT_EQ(f1, c.Flag1) << c.Field;
    EXPECT_EQ(f2, c.Flag2) << c.Field;
  }
  EXPECT_EQ(t.PictureMasks()->Strings(2), "Cena\t#;,##\tF\tT") << "the table picture is written into the line";

  // Writing lines: kept parts, a new line, a removed mask.
  SetFieldMask(&t, "naziv", "x", false, true, false, true, true);
  EXPECT_EQ(t.PictureMasks()->Strings(0), "naziv\t&*?\tF\tT");
  SetFieldMask(&t, "Opomba", "#", true, false, true, true, true);
  EXPECT_EQ(t.PictureMasks()->Strings(3), "Opomba\t#\tT\tF");
  SetFieldMask(&t, "Nic", "", true, true, true, true, true);
  EXPECT_EQ(t.PictureMasks()->Count(), 4) << "an empty mask adds no line";
  SetFieldMask(&t, "SIFRA", "", true, true, true, true, true);
  EXPECT_EQ(t.PictureMasks()->Count(), 3);
  EXPECT_EQ(t.PictureMasks()->IndexOf("Sifra\t!#"), -1);

  // A data set that publishes no such list.
  TTable plain(nullptr);
  EXPECT_EQ(GetPictureMasks(&plain), nullptr);
  std::string mask = "?";
  bool f1 = false, f2 = false;
  GetFieldMask(&plain, "Naziv", true, mask, f1, f2);
  EXPECT_EQ(mask, "");
  EXPECT_TRUE(f1 && f2);
  SetFieldMask(&plain, "Naziv", "#", true, true, true, true, true);  // nothing to write to
}

TEST_F(MaskFixture, ValidateMasksBeforePost) {
  TStringList lines{"Sifra\t&####\tT\tT", "Naziv\t#"};
  t.SetPictureMasks(&lines);
  t.Open();
  TField* sifra = t.FieldByName("Sifra");
  sifra->SetDisplayLabel("Šifra artikla");
  TDataSource source(nullptr);
  source.SetDataSet(&t);
  FocusLink link;
  link.SetDataSource(&source);
  std::vector<TField*> invalid;
  t.OnInvalidValue = [&](TDataSet* ds, TField* f) {
    EXPECT_EQ(ds, &t);
    invalid.push_back(f);
  };
  t.Append();
  sifra->SetAsString("ab12");
  try {
    t.Post();
    FAIL() << "posted";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.ClassName(), "EDatabaseError");
    EXPECT_EQ(e.Message(), "Invalid characters. Field : Šifra artikla");
  }
  EXPECT_EQ(invalid, std::vector<TField*>{sifra});
  EXPECT_EQ(t.State(), dsInsert);
  EXPECT_EQ(link.Focused, sifra);
  EXPECT_EQ(link.Count, 1);
  EXPECT_EQ(t.RecordCount(), 0);

  sifra->SetAsString("A1234");
  // A read-only field that breaks its mask is passed over.
  t.FieldByName("Naziv")->SetAsString("abc");
  t.FieldByName("Naziv")->SetReadOnly(true);
  // An empty value passes every mask; the table picture of Cena is checked too.
  t.FieldByName("Cena")->SetAsFloat(1.5);
  EXPECT_THROW(t.Post(), EDatabaseError);
  EXPECT_EQ(link.Focused, t.FieldByName("Cena"));
  t.FieldByName("Cena")->SetAsFloat(1.25);
  t.Post();
  EXPECT_EQ(t.State(), dsBrowse);
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_EQ(invalid.size(), 2u);
  // Without ValidateWithMask nothing is checked.
  t.SetValidateWithMask(false);
  t.Append();
  sifra->SetAsString("ab12");
  t.Post();
  EXPECT_EQ(t.RecordCount(), 2);

  for (const auto& [mask, value, ok] : std::vector<std::tuple<std::string, std::string, bool>>{
           {"&####", "", true}, {"&####", "a1234", true}, {"&####", "A123", false}, {"#;,##", "1,25", true}, {"#,##", "1", true}, {"#,##", "1,25", false},
           {"{", "x", false}, {"*?", "Čšž", true}})
    EXPECT_EQ(MaskAccepts(mask, value), ok) << mask << " " << value;
}

namespace {

struct LookupFixture : ArticleTables {
  TdaTable m{nullptr};
  TField *ime = nullptr, *opomba = nullptr, *imeZnova = nullptr, *opombaZnova = nullptr;
  void SetUp() override {
    ArticleTables::SetUp();
    m.SetTableName("c:\\Data\\Dobave.db");
    CreatePersistentFields(m);
    ime = AddCalcField(m, "ImeSkupine");
    opomba = AddCalcField(m, "Opomba", 40);
    imeZnova = AddCalcField(m, "ImeZnova");
    opombaZnova = AddCalcField(m, "OpombaZnova", 40);
  }
  void SetLines(std::initializer_list<std::string> Fields, std::initializer_list<std::string> Links) {
    TStringList f(Fields), l(Links);
    m.SetLookupFields(&f);
    m.SetLookupLinks(&l);
  }
  static int HourGlasses(const std::vector<TCursor>& Cursors) {
    return int(std::count(Cursors.begin(), Cursors.end(), crHourGlass));
  }
};

}  // namespace

TEST_F(LookupFixture, IndexedAndUnindexedLookupsSharedBetweenLines) {
  SetLines({"ImeSkupine;c:\\Data;Skupine.db;Ime;", "Opomba;c:\\Data;Opisi.db;Opomba",
            "ImeZnova;c:\\Data;Skupine.db;Ime;", "OpombaZnova;c:\\Data;Opisi.db;Opomba"},
           {"Skupina;Skupina", "Artikel;Naziv", "Skupina;Skupina", "Artikel;Naziv"});
  m.Open();
  // Without an index, "čebula" finds "Čebula".
  EXPECT_EQ(ime->AsString(), "Zelenjava");
  EXPECT_EQ(opomba->AsString(), "Hrani na suhem");
  EXPECT_EQ(imeZnova->AsString(), "Zelenjava");
  EXPECT_EQ(opombaZnova->AsString(), "Hrani na suhem");
  ASSERT_EQ(m.LookupTables().size(), 2u);
  const int components = m.ComponentCount();
  m.Next();
  EXPECT_EQ(ime->AsString(), "Železnina");  // by the index, a Slovenian name
  EXPECT_EQ(opomba->AsString(), "Kisa se");
  // Nothing found: one search of the unindexed table for both of its lines.
  ui.Cursors.clear();
  m.Next();
  EXPECT_EQ(ime->AsString(), "");
  EXPECT_EQ(opomba->AsString(), "");
  EXPECT_EQ(opombaZnova->AsString(), "");
  EXPECT_EQ(HourGlasses(ui.Cursors), 1);
  for (TdaTable* t : m.LookupTables()) {
    EXPECT_TRUE(t->ReadOnly());
    EXPECT_TRUE(t->LookupVisited());
    EXPECT_FALSE(t->LookupSearchActive());
    EXPECT_EQ(t->Owner(), &m);
  }
  EXPECT_EQ(m.ComponentCount(), components);
  m.Close();
  EXPECT_TRUE(m.LookupTables().empty());
  EXPECT_EQ(m.ComponentCount(), components - 2);
}

TEST_F(LookupFixture, ATableThatFailsToOpenIsTriedOnceAndLeaksNothing) {
  SetLines({"ImeSkupine;c:\\Data;Nima.db;Ime;", "Opomba;c:\\Data;Opisi.db;Opomba"},
           {"Skupina;Skupina", "Artikel;Naziv"});
  m.Open();
  const int components = m.ComponentCount();
  for (int i = 0; i < 50; ++i) {
    if (i % 3 == 0) m.First();
    else m.Next();
    EXPECT_EQ(ime->AsString(), "");
  }
  EXPECT_EQ(m.ComponentCount(), components);
  EXPECT_EQ(m.FailedLookups().size(), 1u);
  EXPECT_EQ(m.LookupTables().size(), 1u);
  EXPECT_FALSE(FileExists(File("Nima.db")));
  m.First();
  EXPECT_EQ(opomba->AsString(), "Hrani na suhem") << "the other line is filled";
  // Tried again after the cursor was closed.
  m.Close();
  EXPECT_TRUE(m.FailedLookups().empty());
}

TEST_F(LookupFixture, AMissingLinkFieldHidesTheLookupField) {
  SetLines({"ImeSkupine;c:\\Data;Skupine.db;Ime;"}, {"Manjka;Skupina"});
  m.Open();
  EXPECT_FALSE(ime->Visible());
  EXPECT_TRUE(opomba->Visible());
  EXPECT_EQ(ime->AsString(), "");
}

TEST_F(LookupFixture, ASearchThatRaisesLeavesTheFlagsCleared) {
  SetLines({"ImeSkupine;c:\\Data;Skupine.db;Ime;"}, {"Skupina;Skupina"});
  m.Open();
  ASSERT_EQ(m.LookupTables().size(), 1u);
  TdaTable* skupine = m.LookupTables()[0];
  // The article's name as a group number: the key does not convert.
  m.LookupLinks()->SetStrings(0, "Artikel;Skupina");
  EXPECT_THROW(m.Next(), EConvertError);
  EXPECT_FALSE(skupine->LookupSearchActive());
  EXPECT_FALSE(skupine->LookupVisited());
}

TEST_F(LookupFixture, PruningDropsLinesOfFieldsTheTableHasNot) {
  m.Open();
  TStringList fields{"Nepoznano;c:\\Data;Skupine.db;Ime;", "ImeSkupine;c:\\Data;Skupine.db;Ime;"};
  TStringList links{"Skupina;Skupina", "Skupina;Skupina"};
  TStringList types{"Artikel;Edit", "Nepoznano;Edit", "opomba;RichEdit"};
  PruneLookupLists(&m, &fields, &links, &types);
  EXPECT_EQ(fields.Count(), 1);
  EXPECT_EQ(fields[0], "ImeSkupine;c:\\Data;Skupine.db;Ime;");
  EXPECT_EQ(links.Count(), 1);
  EXPECT_EQ(types.Count(), 2);  // names ignore case
  // A lookup line without its link line.
  TStringList lonely{"Nepoznano;x;y;z"}, none;
  EXPECT_THROW(PruneLookupLists(&m, &lonely, &none, &types), EListError);
}

TEST_F(ArticleTables, ClassFieldAndOptionTests) {
  TdaTable t(nullptr);
  t.SetTableName("c:\\Data\\Artikli.db");
  CreatePersistentFields(t);
  TField* calc = AddCalcField(t, "Velika");
  t.Open();
  EXPECT_TRUE(HasField(&t, "naziv"));
  EXPECT_TRUE(HasField(&t, "VELIKA"));
  EXPECT_FALSE(HasField(&t, "Nic"));
  EXPECT_FALSE(HasField(calc, "Naziv"));
  EXPECT_TRUE(InheritsFromName(&t, "tbdedataset"));
  EXPECT_TRUE(InheritsFromName(&t, "TdaTable"));
  EXPECT_FALSE(InheritsFromName(&t, "TCustomADODataSet"));
  EXPECT_FALSE(InheritsFromName(nullptr, "TObject"));
  EXPECT_TRUE(IsNonEngineField(calc));
  EXPECT_FALSE(IsNonEngineField(t.FieldByName("Naziv")));
  TDataSet other(nullptr);
  auto* foreign = new TStringField(&other);
  foreign->SetFieldName("X");
  foreign->SetDataSet(&other);
  EXPECT_TRUE(IsNonEngineField(foreign));

  // Rich text: by the control type without reading, or by the contents.
  TField* opis = t.FieldByName("Opis");
  ASSERT_TRUE(t.Locate("Sifra", Variant("A1"), {}));
  EXPECT_FALSE(IsRichEditField(opis, true));
  EXPECT_FALSE(IsRichEditField(t.FieldByName("Naziv"), true));
  TStringList types{"Opis;richedit"};
  t.SetControlType(&types);
  EXPECT_FALSE(IsRichEditField(opis, true)) << "the mark is exact case";
  types.SetStrings(0, "Opis;RichEdit;more");
  t.SetControlType(&types);
  EXPECT_TRUE(IsRichEditField(opis, false));
  t.ControlType()->Clear();
  ASSERT_TRUE(t.Locate("Sifra", Variant("A2"), {}));
  EXPECT_TRUE(IsRichEditField(opis, true));
  EXPECT_FALSE(IsRichEditField(opis, false));

  // Query lines.
  EXPECT_FALSE(HasQueryLines(&t));
  EXPECT_FALSE(HasQueryLines(&other));
  TStringList none, two{"SELECT *", "FROM Artikli"};
  EXPECT_EQ(JoinQueryLines(none, true), "");
  EXPECT_EQ(JoinQueryLines(two, true), "SELECT * FROM Artikli");
  EXPECT_EQ(JoinQueryLines(two, false), "SELECT *\r\nFROM Artikli");
  t.SetQuery(&two);
  EXPECT_TRUE(HasQueryLines(&t));

  // Filter options through the published property, and without it.
  EXPECT_EQ(GetFilterOptions(&t), (TdaOnFilterOptions{ofoEnabled, ofoShowHourGlass}));
  SetFilterEnabled(&t, false);
  EXPECT_EQ(t.OnFilterOptions(), TdaOnFilterOptions{ofoShowHourGlass});
  SetFilterEnabled(&t, true);
  EXPECT_EQ(t.OnFilterOptions(), (TdaOnFilterOptions{ofoEnabled, ofoShowHourGlass}));
  TTable plain(nullptr);
  EXPECT_EQ(GetFilterOptions(&plain), TdaOnFilterOptions{});
  plain.SetFiltered(true);
  EXPECT_EQ(GetFilterOptions(&plain), TdaOnFilterOptions{ofoEnabled});
  SetFilterEnabled(&plain, false);  // no such property: nothing happens
  EXPECT_TRUE(plain.Filtered());
  EXPECT_EQ(GetFilterOptions(nullptr), TdaOnFilterOptions{});

  // The Escape check takes only Escape.
  FakeKeyQueue keys;
  keys.Keys = {'a', 'b'};
  EXPECT_FALSE(EscapePressed(&t));
  EXPECT_EQ(t.OnFilterOptions(), (TdaOnFilterOptions{ofoEnabled, ofoShowHourGlass}));
  keys.Keys = {'a', 27, 'b', 27};
  EXPECT_TRUE(EscapePressed(&t));
  EXPECT_EQ(t.OnFilterOptions(), TdaOnFilterOptions{ofoShowHourGlass});
  EXPECT_EQ(keys.Keys, (std::deque<int>{'a', 'b', 27}));
}
