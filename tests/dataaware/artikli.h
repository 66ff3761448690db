#pragma once
// Shared tables of the data-aware tests, in engine files under the test's own root:
//   c:\Data\Artikli.db     articles: Sifra, Naziv, Cena, Kolicina (small integer), Datum
//                          (date-time), Opis (memo, one of them rich text), Skupina; indexes:
//                          primary on Sifra, ixNazivCS (Naziv, case-sensitive), ixNaziv (Naziv,
//                          case-insensitive), ixSkupina (Skupina;Naziv, case-insensitive)
//   c:\Data\Skupine.db     groups: Skupina, Ime; primary index on Skupina
//   c:\Data\Opisi.db       notes by article name: Naziv, Opomba; no index
//   c:\Data\Dobave.db      deliveries: Id, Artikel, Skupina; no index
// Format settings: decimal comma, date d.m.yyyy.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datetime.h"
#include "dbtables.h"
#include "dialogs.h"
#include "dospath.h"
#include "formatsettings.h"
#include "testenv.h"

inline constexpr const char* RtfNote =
    "{\\rtf1\\ansi\\ansicpg1250{\\fonttbl{\\f0 Arial;}}{\\*\\generator Test;}\\f0 Hmelj iz \\'8ealca\\par "
    "Pridelal \\u381?alec\\par}";

struct ArticleTables : ::testing::Test {
  TestEnv env;
  TRecordingUiService ui;

  static std::string File(const std::string& Name) { return MapDosPath("c:\\Data\\" + Name); }

  void SetUp() override {
    FormatSettings().DecimalSeparator = ',';
    FormatSettings().DateSeparator = '.';
    FormatSettings().ShortDateFormat = "d.m.yyyy";
    using FT = TEngineFieldType;
    TEngineTable::Create(File("Artikli.db"),
                         {{"Sifra", FT::String, 10}, {"Naziv", FT::String, 30}, {"Cena", FT::Float},
                          {"Kolicina", FT::Smallint}, {"Datum", FT::DateTime}, {"Opis", FT::Memo},
                          {"Skupina", FT::Integer}},
                         {{"", "Sifra", eioPrimary | eioUnique},
                          {"ixNazivCS", "Naziv", 0},
                          {"ixNaziv", "Naziv", eioCaseInsensitive},
                          {"ixSkupina", "Skupina;Naziv", eioCaseInsensitive}});
    struct Row {
      const char *Sifra, *Naziv;
      double Cena;
      int Kolicina, Day, Hour;
      const char* Opis;
      int Skupina;
    };
    TEngineTable a(File("Artikli.db"));
    for (const Row& r : {Row{"A1", "Čebula", 1.5, 10, 1, 10, "rdeča čebula", 1},
                         Row{"A2", "Žebljički", 2.25, -5, 2, 8, RtfNote, 2},
                         Row{"A3", "cesta", 3.0, 7, 3, 0, "", 3},
                         Row{"A4", "Čebula", 0.5, 3, 4, 12, "bela", 1},
                         Row{"B1", "Zelje", 9.0, 1, 5, 0, "kislo", 9}})
      a.InsertRecord({std::string(r.Sifra), std::string(r.Naziv), r.Cena, int64_t(r.Kolicina),
                      EncodeDate(2024, 5, r.Day) + EncodeTime(r.Hour, 30, 0, 0),
                      *r.Opis ? TEngineValue(std::string(r.Opis)) : TEngineValue(), int64_t(r.Skupina)});
    TEngineTable::Create(File("Skupine.db"), {{"Skupina", FT::Integer}, {"Ime", FT::String, 30}},
                         {{"", "Skupina", eioPrimary | eioUnique}});
    TEngineTable s(File("Skupine.db"));
    s.InsertRecord({int64_t(1), std::string("Zelenjava")});
    s.InsertRecord({int64_t(2), std::string("Železnina")});
    s.InsertRecord({int64_t(3), std::string("Gradbeništvo")});
    TEngineTable::Create(File("Opisi.db"), {{"Naziv", FT::String, 30}, {"Opomba", FT::String, 40}}, {});
    TEngineTable o(File("Opisi.db"));
    o.InsertRecord({std::string("Zelenjava"), std::string("Sveže")});
    o.InsertRecord({std::string("Čebula"), std::string("Hrani na suhem")});
    o.InsertRecord({std::string("ZELJE"), std::string("Kisa se")});
    TEngineTable::Create(File("Dobave.db"),
                         {{"Id", FT::Integer}, {"Artikel", FT::String, 30}, {"Skupina", FT::Integer}}, {});
    TEngineTable d(File("Dobave.db"));
    d.InsertRecord({int64_t(1), std::string("čebula"), int64_t(1)});
    d.InsertRecord({int64_t(2), std::string("Zelje"), int64_t(2)});
    d.InsertRecord({int64_t(3), std::string("nič"), int64_t(9)});
  }
  void TearDown() override { FormatSettings() = TFormatSettings{}; }

  // Persistent fields for every field definition, so that calculated fields can be added.
  static void CreatePersistentFields(TDataSet& Table) {
    Table.FieldDefs()->Update();
    for (int i = 0; i < Table.FieldDefs()->Count(); ++i) Table.FieldDefs()->Items(i)->CreateField(&Table);
  }
  static TField* AddCalcField(TDataSet& Table, const std::string& Name, int Size = 30) {
    auto* f = new TStringField(&Table);
    f->SetFieldName(Name);
    f->SetSize(Size);
    f->SetFieldKind(fkCalculated);
    f->SetDataSet(&Table);
    return f;
  }
  // The values of one field over the visible records, from the first.
  static std::vector<std::string> Column(TDataSet& Table, const std::string& Field) {
    std::vector<std::string> out;
    for (Table.First(); !Table.Eof(); Table.Next()) out.push_back(Table.FieldByName(Field)->AsString());
    return out;
  }
};
