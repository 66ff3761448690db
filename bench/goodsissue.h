// The goods-issue result the ODBC benchmarks read (13 columns: key, position, date, two codes,
// recipient code, name, street, postal code, place, country, article, quantity; a note as the
// 14th in the "text" form), the file that holds it, and the measures they report.
#pragma once

#include <sys/resource.h>

#include <string>

#include "besttime.h"
#include "ocl.h"
#include "oclstmt.h"

inline const char* const kGoodsIssueQuery =
    "SELECT Kljuc, Poz, Datum, Sifra1, Sifra2, Sifra, Prejemnik, Naslov, Posta, Kraj, Drzava, Ident, "
    "Kolicina FROM Izdaja ORDER BY Kljuc, Poz";
inline const char* const kGoodsIssueQueryText =
    "SELECT Kljuc, Poz, Datum, Sifra1, Sifra2, Sifra, Prejemnik, Naslov, Posta, Kraj, Drzava, Ident, "
    "Kolicina, Opomba FROM Izdaja ORDER BY Kljuc, Poz";

// Peak resident memory of the process so far.
inline long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Fills the file behind Dbc with Rows goods-issue rows in one statement.
inline void MakeGoodsIssueData(THdbc* Dbc, long Rows) {
  THstmt s(nullptr);
  s.SetHdbc(Dbc);
  s.SetSQLParsing(false);
  s.SetSQL("DROP TABLE IF EXISTS Izdaja");
  s.Execute();
  s.SetSQL(
      "CREATE TABLE Izdaja (Kljuc varchar(11), Poz integer, Datum date, Sifra1 varchar(2), Sifra2 varchar(2), "
      "Sifra varchar(8), Prejemnik varchar(40), Naslov varchar(40), Posta varchar(10), Kraj varchar(40), "
      "Drzava varchar(2), Ident varchar(15), Kolicina numeric(15,4), Opomba text, PRIMARY KEY (Kljuc, Poz))");
  s.Execute();
  s.SetSQL(
      "INSERT INTO Izdaja WITH RECURSIVE c(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM c WHERE x + 1 < " +
      std::to_string(Rows) +
      ") SELECT 'K' || printf('%010d', x / 5), x % 5 + 1, date('2024-01-01', '+' || (x % 365) || ' days'), "
      "'A1', 'B2', printf('S%07d', x % 1000), 'Podjetje d.o.o. št. ' || (x % 1000), "
      "'Slovenska cesta ' || (x % 200), '1000', 'Ljubljana', 'SI', printf('ART%012d', x % 5000), "
      "(x % 1000) * 1.5, 'Opomba k dokumentu ' || (x / 5) || ': blago prevzeto brez pripomb, dostava ' || "
      "(x % 7) || '. dan' FROM c");
  s.Execute();
}
