// The three export files of the main window. Each file is written in Windows-1250, one record a
// line ended by CR LF, every field through the fixed-width routines.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>

#include "cp1250.h"
#include "datetime.h"
#include "dospath.h"
#include "fdatasif.h"
#include "fmain.h"
#include "numbers.h"
#include "oclconv.h"
#include "stdproc.h"
#include "stdprocfmt.h"
#include "stdsql.h"
#include "text.h"

namespace {

const char* const CreateFailedText = "Napaka v nastavitvi poti do podatkov (Database) !";
const char* const WriteFailedText = "Ne morem pisati v datoteko...";

// An export file open for writing. Lines are collected in a buffer and written in large pieces;
// a failing write raises EInOutError, so no later line reaches the file.
class TExportFile {
public:
  // Creates (or empties) the file; EFCreateError when it cannot be created.
  explicit TExportFile(const std::string& DosPath) : FPath(MapDosPath(DosPath)) {
    FFd = ::open(FPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FFd < 0) throw EFCreateError("Cannot create file \"" + FPath + "\". " + std::strerror(errno));
    FBuffer.reserve(BufferSize + 512);
  }
  ~TExportFile() {
    if (FFd >= 0) ::close(FFd);
  }
  TExportFile(const TExportFile&) = delete;
  TExportFile& operator=(const TExportFile&) = delete;

  void WriteLine(const std::string& Line) {
    bool ascii = true;
    for (unsigned char c : Line)
      if (c >= 0x80) {
        ascii = false;
        break;
      }
    if (ascii)
      FBuffer += Line;
    else
      FBuffer += Utf8ToCp1250(Line);
    FBuffer += "\r\n";
    if (FBuffer.size() >= BufferSize) Flush();
  }

  // Writes what is buffered and closes; the file is complete only when this returns.
  void Close() {
    Flush();
    const int fd = FFd;
    FFd = -1;
    if (::close(fd) != 0) Fail("close");
  }

private:
  static constexpr size_t BufferSize = 64 * 1024;

  void Flush() {
    size_t done = 0;
    while (done < FBuffer.size()) {
      const ssize_t n = ::write(FFd, FBuffer.data() + done, FBuffer.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        FBuffer.clear();
        Fail("write");
      }
      done += static_cast<size_t>(n);
    }
    FBuffer.clear();
  }

  [[noreturn]] void Fail(const char* What) {
    const int err = errno;
    throw EInOutError("Cannot " + std::string(What) + " file \"" + FPath + "\". " + std::strerror(err));
  }

  std::string FPath;
  std::string FBuffer;
  int FFd = -1;
};

std::string L(const std::string& S, int Width) { return FixLengthStrL(S, Width, U' ', true); }
std::string R(const std::string& S, int Width) { return FixLengthStrR(S, Width, U' ', true); }
std::string Filler(int Width) { return ReplicateStr(U' ', Width); }

std::string DateText(THstmt* Q, int Col) {
  return FormatDateTime("yyyymmdd", TimestampToDateTime(Q->ColTimestamp(Col)));
}
std::string Amount(THstmt* Q, int Col) { return TMain::FormatNumber(Round(Q->ColDouble(Col) * 10000)); }
std::string TransferNumberText(TNumberEdit* E) { return IntToStr(Round(E->Value())); }

// Repaints only when the shown value changes.
void SetGauge(TGauge* Gauge, int64_t Value) {
  if (Gauge && Gauge->Progress() != Value) Gauge->SetProgress(static_cast<int>(Value));
}
int64_t Percent(int Lines, int Expected) { return Round(DivT(double(Lines) * 100, Expected)); }

THstmt* ExportQuery() {
  if (!DataSif) throw EInvalidOperation("The data module is not created");
  return DataSif->qQuery0;
}

void RunQuery(THstmt* Q, const std::string& Sql) {
  Q->Close();
  Q->SetSQL(Sql);
  Q->Execute();
}

// Creates the file, or shows and logs why it cannot be and gives nullptr.
std::unique_ptr<TExportFile> CreateExportFile(const std::string& Name, const char* Operation) {
  try {
    return std::make_unique<TExportFile>(Name);
  } catch (Exception& E) {
    ShowErrorAndLog(E, Application, Operation, CreateFailedText);
    return nullptr;
  }
}

// Runs Write on the open file and closes it. True when the file is complete; a write or close
// failure is shown and logged. Any other failure (a fetch) closes the file and goes to the caller.
template <class F>
bool WriteExportFile(TExportFile& File, const char* Operation, F&& Write) {
  try {
    Write();
    File.Close();
    return true;
  } catch (EInOutError& E) {
    ShowErrorAndLog(E, Application, Operation, WriteFailedText);
    return false;
  }
}

// The key range condition of the export queries, each key quoted as an SQL string literal so
// that a quote in a key selects by the same string and cannot change the statement.
std::string KeyRangeFilter(const std::string& KljucOD, const std::string& KljucDO) {
  return "P.Kljuc >= " + QuotedStr(KljucOD) + " AND P.Kljuc <= " + QuotedStr(KljucDO);
}

// What the goods-issue and goods-receipt files differ in; the rest is one routine.
struct TTurnoverFile {
  const char* Operation;  // also the operation text of logged failures
  const char* Title;      // H00's text
  const char* Extension;
  const char* Select;     // the query up to its WHERE
  TEdit* KljucOD;
  TEdit* KljucDO;
  TEdit* FileName;
  TNumberEdit* StevPrenosa;
  TGauge* Gauge;
  // Writes the header records of the document whose first row is current; gives their number.
  std::function<int(TExportFile&, THstmt*)> Headers;
  std::function<void(TExportFile&, THstmt*)> Detail;
};

// One pass over the rows, ordered by key and position: the headers at each new key, a detail
// line per row. The transfer number rises only for a file that is complete on disk.
void ExportTurnover(const TTurnoverFile& T) {
  const std::string filter = KeyRangeFilter(T.KljucOD->Text(), T.KljucDO->Text());
  int lines = 1;
  int expected = GetQueryRecordCount("PrometPoz P", filter);
  THstmt* q = ExportQuery();
  RunQuery(q, std::string(T.Select) + filter + " ORDER BY P.Kljuc, P.Poz");
  auto file = CreateExportFile(T.FileName->Text() + T.Extension, T.Operation);
  if (!file) return;
  const bool complete = WriteExportFile(*file, T.Operation, [&] {
    file->WriteLine(L("H00", 3) + L(T.Title, 12) + R(TransferNumberText(T.StevPrenosa), 5) + Filler(50));
    bool more = q->FetchNext();
    while (more) {
      const std::string key = q->ColString(1);
      const int headers = T.Headers(*file, q);
      lines += headers;
      expected += headers;
      while (more && q->ColString(1) == key) {
        T.Detail(*file, q);
        SetGauge(T.Gauge, Percent(lines, expected));
        ++lines;
        more = q->FetchNext();
      }
    }
    file->WriteLine(L("XXX", 3) + R(IntToStr(lines + 1), 6));
    SetGauge(T.Gauge, 100);
  });
  if (complete) T.StevPrenosa->SetValue(T.StevPrenosa->Value() + 1);
}

// H01's document number: the key from its second character on.
std::string DocumentNumber(THstmt* Q) { return L(Utf8Copy(Q->ColString(1), 2, 10), 10); }

}  // namespace

void TMain::ExportArtikli(const std::string& KljucOD, const std::string& KljucDO, const std::string& FileName,
                          TGauge* Gauge) {
  const std::string filter = KeyRangeFilter(KljucOD, KljucDO);
  int lines = 1;
  const int expected = GetQueryRecordCount("PrometPoz P, MS M", "P.Ident = M.Ident AND " + filter);
  THstmt* q = ExportQuery();
  RunQuery(q,
           "SELECT P.Ident, M.Naziv, M.CarTarifa, M.DimTezaBruto FROM PrometPoz P, MS M WHERE "
           "P.Ident = M.Ident AND " + filter + " "
           "GROUP BY P.Ident, M.Naziv, M.CarTarifa, M.DimTezaBruto "
           "ORDER BY P.Ident");
  auto file = CreateExportFile(FileName + ".ART", "ExportArtikli");
  if (!file) return;
  WriteExportFile(*file, "ExportArtikli", [&] {
    file->WriteLine(L("H00", 3) + L("ARTIKLI", 12) + Filler(50));
    while (q->FetchNext()) {
      const std::string ident = q->ColString(1);
      file->WriteLine(L("D00", 3) + L(ident, 15) + L(q->ColString(2), 50) + L(ident, 18) +
                      L(q->ColString(3), 9) + Filler(10) + R(Amount(q, 4), 8));
      SetGauge(Gauge, Percent(lines, expected));
      ++lines;
    }
    file->WriteLine(L("XXX", 3) + R(IntToStr(lines + 1), 6));
    SetGauge(Gauge, 100);
  });
}

void TMain::ExportPrometIzd() {
  ExportTurnover(
      {"ExportPrometIzd", "IZDAJA", ".VEN",
       "SELECT P.Kljuc, P.Poz, G.Datum, G.Sifra1, G.Sifra2, S.Sifra, G.Prejemnik, S.Naslov, S.Posta, "
       "K.Naziv AS Kraj, S.Drzava, P.Ident, P.Kolicina FROM PrometPoz P JOIN Promet G ON P.Kljuc = G.Kljuc "
       "LEFT JOIN Subjekt S ON G.Prejemnik = S.Naziv LEFT JOIN Posta K ON S.Posta = K.Posta WHERE ",
       fKljucIzdOD, fKljucIzdDO, fFileNameIzd, fStevPrenosaIzd, gPrometIzd,
       [](TExportFile& File, THstmt* Q) {
         File.WriteLine(L("H01", 3) + DocumentNumber(Q) + L(DateText(Q, 3), 8) + L(Q->ColString(4), 2) +
                        L(Q->ColString(5), 2) + Filler(40));
         File.WriteLine(L("H02", 3) + Filler(6) + L(Q->ColString(6), 8) + L(Q->ColString(7), 40) +
                        L(Q->ColString(8), 40) +
                        L(Q->ColString(9) + " " + Q->ColString(10) + ", " + Q->ColString(11), 40));
         return 2;
       },
       [](TExportFile& File, THstmt* Q) {
         File.WriteLine(L("D00", 3) + L(Q->ColString(12), 15) + R(IntToStr(Q->ColInteger(13)), 6));
       }});
}

void TMain::ExportPrometPre() {
  ExportTurnover(
      {"ExportPrometPre", "PREJEM", ".NOT",
       "SELECT P.Kljuc, P.Poz, G.Datum, G.Sifra1, G.Sifra2, G.Dokument1, G.Valuta, P.Poreklo, "
       "V.CarinskaSkupnost, P.Ident, P.Kolicina, P.ProdCena, (P.CenaZaVred * P.Kolicina) AS Vrednost, "
       "P.StevPak, P.TipIzjavePoreklo, P.Datum AS EURDatum FROM PrometPoz P JOIN Promet G ON P.Kljuc = G.Kljuc "
       "LEFT JOIN Drzava V ON P.Poreklo = V.Poreklo WHERE ",
       fKljucPreOD, fKljucPreDO, fFileNamePre, fStevPrenosaPre, gPrometPre,
       [](TExportFile& File, THstmt* Q) {
         File.WriteLine(L("H01", 3) + DocumentNumber(Q) + L(DateText(Q, 3), 8) + L(Q->ColString(4), 2) +
                        L(Q->ColString(5), 2) + L(Q->ColString(7), 3) + Filler(40));
         return 1;
       },
       [](TExportFile& File, THstmt* Q) {
         File.WriteLine(L("D00", 3) + L(Q->ColString(10), 15) + Filler(20) + R(IntToStr(Q->ColInteger(11)), 6) +
                        R(Amount(Q, 12), 8) + R(Amount(Q, 13), 9) + L(Q->ColString(9), 1) + L(Q->ColString(8), 3) +
                        L(Q->ColString(15), 3) + L(Q->ColString(14), 10) + L(DateText(Q, 16), 8));
       }});
}
