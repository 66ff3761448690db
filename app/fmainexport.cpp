// The three export files of the main window. Each file is written in Windows-1250, one record a
// line ended by CR LF, every field through the fixed-width routines. A file appears under its
// name only when it is complete; until then the previous file of that name stays as it was.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>

#include "cp1250.h"
#include "datetime.h"
#include "dospath.h"
#include "fdatasif.h"
#include "filecontents.h"
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

// The export stopped for a reason its message tells the clerk in full.
ZEL_EXCEPTION(EExportStopped, Exception)
ZEL_EXCEPTION(EFileInUse, EExportStopped)
ZEL_EXCEPTION(ENumberTooWide, EExportStopped)

std::string SystemError(int Err) { return std::strerror(Err ? Err : EIO); }

// An export file being written. The records go to a temporary file in the target's folder,
// which takes the target's place only after the whole file was written, flushed to the disk and
// closed; on any failure it is removed. The target is locked from creation to the end, so that
// another program exporting into the same file is refused instead of racing this one. The lock
// is a file beside the target ("." + name + ".lock") that exists only while it is held.
class TExportFile {
public:
  // Locks the target and creates the temporary file: EFileInUse when another program holds the
  // lock, EFCreateError when the file cannot be made. Name is the path as the clerk typed it.
  // A link is kept and the file it names replaced.
  explicit TExportFile(const std::string& Name)
      : FName(Name), FTarget(FollowLinks(MapDosPath(Name))), FFile(FTarget) {
    struct stat st;
    const bool exists = ::stat(FTarget.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) throw EFCreateError("Cannot create file \"" + FName + "\". It is not a file");
    if (exists && ::access(FTarget.c_str(), W_OK) != 0) CreateFailed(errno);
    const auto slash = FTarget.find_last_of('/');
    Lock(FTarget.substr(0, slash + 1) + "." + FTarget.substr(slash + 1) + ".lock");
    if (!FFile.Create()) {
      const int err = errno;
      Unlock();
      CreateFailed(err);
    }
    FBuffer.reserve(BufferSize + 512);
  }
  ~TExportFile() { Discard(); }
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

  // Writes what is buffered, makes it durable, closes and puts the file in place of the target.
  // EInOutError on any failure; the file is complete under its name only when this returns.
  void Commit() {
    Flush();
    const char* step = "write";
    if (!FFile.Commit(&step)) Fail(step);
    Unlock();
  }

  // Removes the temporary file and releases the lock; the target stays as it was.
  void Discard() noexcept {
    FFile.Discard();
    Unlock();
  }

private:
  static constexpr size_t BufferSize = 64 * 1024;

  [[noreturn]] void CreateFailed(int Err) {
    throw EFCreateError("Cannot create file \"" + FName + "\". " + SystemError(Err));
  }

  void Lock(const std::string& Path) {
    // A holder removes the lock file before it lets go, so a lock won on a file that is no
    // longer the one under that name is worth nothing: take the new one.
    for (;;) {
      const int fd = ::open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
      if (fd < 0) CreateFailed(errno);
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == ENOLCK || err == EOPNOTSUPP) {  // a file system without locks: go on without
          ::close(fd);
          return;
        }
        ::close(fd);
        if (err == EWOULDBLOCK)
          throw EFileInUse("Datoteko " + FName + " pravkar zapisuje drug program, poskusite znova kasneje !");
        CreateFailed(err);
      }
      struct stat held, named;
      if (::fstat(fd, &held) == 0 && ::stat(Path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
          held.st_ino == named.st_ino) {
        FLockFd = fd;
        FLockPath = Path;
        return;
      }
      ::close(fd);
    }
  }

  void Unlock() noexcept {
    if (FLockFd < 0) return;
    ::unlink(FLockPath.c_str());
    ::close(FLockFd);
    FLockFd = -1;
  }

  void Flush() {
    const bool written = FFile.Write(FBuffer.data(), FBuffer.size());
    FBuffer.clear();
    if (!written) Fail("write");
  }

  [[noreturn]] void Fail(const char* What) {
    const int err = errno;
    throw EInOutError("Cannot " + std::string(What) + " file \"" + FName + "\". " + SystemError(err));
  }

  std::string FName;    // as typed, for the messages
  std::string FTarget;  // the file it maps to
  TFileReplacement FFile;
  std::string FLockPath;
  std::string FBuffer;
  int FLockFd = -1;
};

std::string L(const std::string& S, int Width) { return FixLengthStrL(S, Width, U' ', true); }
std::string R(const std::string& S, int Width) { return FixLengthStrR(S, Width, U' ', true); }
std::string Filler(int Width) { return ReplicateStr(U' ', Width); }
// The fields one after the other. They are made in their order (a braced list is evaluated left
// to right), so the first field that fails is the first in the file.
std::string Record(std::initializer_list<std::string> Fields) {
  std::string r;
  for (const auto& f : Fields) r += f;
  return r;
}

// A number right-aligned in its field. One too wide for it stops the export: cut, it would be
// a different number in the customs declaration. Key names the document (or article) it is of.
std::string Number(const std::string& Text, int Width, const std::string& Key) {
  if (Utf8Length(Text) > static_cast<size_t>(Width))
    throw ENumberTooWide("Številka " + Text + " v dokumentu " + Key + " je predolga za polje (" + IntToStr(Width) +
                         " mest) !");
  return R(Text, Width);
}

// Database text with its control characters (CR, LF, TAB, ...) as blanks, so that a record
// never splits and every field keeps its width.
std::string DbText(THstmt* Q, int Col) {
  std::string s = Q->ColString(Col);
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return s;
}
std::string DateText(THstmt* Q, int Col) {
  return FormatDateTime("yyyymmdd", TimestampToDateTime(Q->ColTimestamp(Col)));
}
std::string Amount(THstmt* Q, int Col) { return TMain::FormatNumber(Round(Q->ColDouble(Col) * 10000)); }
std::string Integer(THstmt* Q, int Col) { return IntToStr(Q->ColInteger(Col)); }
std::string TransferNumberText(TNumberEdit* E) { return IntToStr(Round(E->Value())); }

// Repaints only when the shown value changes.
void SetGauge(TGauge* Gauge, int64_t Value) {
  if (Gauge && Gauge->Progress() != Value) Gauge->SetProgress(static_cast<int>(Value));
}
// Progress while lines are written: below 100, which only a complete file shows.
int64_t Percent(int Lines, int Expected) {
  return std::min<int64_t>(Round(DivT(double(Lines) * 100, Expected)), 99);
}

THstmt* ExportQuery() {
  if (!DataSif) throw EInvalidOperation("The data module is not created");
  return DataSif->qQuery0;
}

void RunQuery(THstmt* Q, const std::string& Sql) {
  Q->Close();
  Q->SetSQL(Sql);
  Q->Execute();
}

// Shows the failure and logs it under the export's name: the explanation of its kind followed
// by its message, or, for a failure that says it all, its message alone.
void ReportFailure(const Exception& E, const char* Operation, const char* Explanation) {
  if (Explanation) {
    ShowErrorAndLog(E, Application, Operation, Explanation);
    return;
  }
  Screen->SetCursor(crArrow);
  MessageDlg(E.Message(), mtError, {mbOK});
  WriteErrorLog(&E, Application, Operation);
}

// Creates the file, or shows and logs why it cannot be and gives nullptr.
std::unique_ptr<TExportFile> CreateExportFile(const std::string& Name, const char* Operation) {
  try {
    return std::make_unique<TExportFile>(Name);
  } catch (EExportStopped& E) {
    ReportFailure(E, Operation, nullptr);
  } catch (Exception& E) {
    ReportFailure(E, Operation, CreateFailedText);
  }
  return nullptr;
}

// Runs Write on the open file and puts the file in place; the gauge shows 100 then. True when
// the file is complete. On any failure the file is discarded, the previous one stays and the
// failure is logged under Operation; a write failure or a stop of the export's own is shown
// here, any other (a fetch, a conversion, a lost connection) goes on to the caller's default
// handling, like a failing query.
template <class F>
bool WriteExportFile(TExportFile& File, const char* Operation, TGauge* Gauge, F&& Write) {
  try {
    Write();
    File.Commit();
    SetGauge(Gauge, 100);
    return true;
  } catch (EInOutError& E) {
    File.Discard();
    ReportFailure(E, Operation, WriteFailedText);
  } catch (EExportStopped& E) {
    File.Discard();
    ReportFailure(E, Operation, nullptr);
  } catch (Exception& E) {
    File.Discard();
    WriteErrorLog(&E, Application, Operation);
    throw;
  }
  return false;
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
  // Writes the detail record of the current row, a line of document Key.
  std::function<void(TExportFile&, THstmt*, const std::string& Key)> Detail;
};

// One pass over the rows, ordered by key and position: the headers at each new key, a detail
// line per row. The transfer number rises only for a file that is complete on disk.
void ExportTurnover(const TTurnoverFile& T) {
  const std::string filter = KeyRangeFilter(T.KljucOD->Text(), T.KljucDO->Text());
  int lines = 1;
  int expected = GetQueryRecordCount("PrometPoz P", filter);
  THstmt* q = ExportQuery();
  RunQuery(q, std::string(T.Select) + filter + " ORDER BY P.Kljuc, P.Poz");
  const std::string name = T.FileName->Text() + T.Extension;
  auto file = CreateExportFile(name, T.Operation);
  if (!file) return;
  const bool complete = WriteExportFile(*file, T.Operation, T.Gauge, [&] {
    file->WriteLine(
        Record({L("H00", 3), L(T.Title, 12), Number(TransferNumberText(T.StevPrenosa), 5, name), Filler(50)}));
    bool more = q->FetchNext();
    while (more) {
      const std::string key = q->ColString(1);
      const int headers = T.Headers(*file, q);
      lines += headers;
      expected += headers;
      while (more && q->ColString(1) == key) {
        T.Detail(*file, q, key);
        SetGauge(T.Gauge, Percent(lines, expected));
        ++lines;
        more = q->FetchNext();
      }
    }
    file->WriteLine(Record({L("XXX", 3), Number(IntToStr(lines + 1), 6, name)}));
  });
  if (complete) T.StevPrenosa->SetValue(T.StevPrenosa->Value() + 1);
}

// H01 up to where the two files differ: the document number (the key from its second character
// on), the date and the two codes, from the columns both queries hold at 1, 3, 4 and 5.
std::string H01(THstmt* Q) {
  return Record({L("H01", 3), L(Utf8Copy(DbText(Q, 1), 2, 10), 10), L(DateText(Q, 3), 8), L(DbText(Q, 4), 2),
                 L(DbText(Q, 5), 2)});
}

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
  const std::string name = FileName + ".ART";
  auto file = CreateExportFile(name, "ExportArtikli");
  if (!file) return;
  WriteExportFile(*file, "ExportArtikli", Gauge, [&] {
    file->WriteLine(Record({L("H00", 3), L("ARTIKLI", 12), Filler(50)}));
    while (q->FetchNext()) {
      const std::string ident = DbText(q, 1);
      file->WriteLine(Record({L("D00", 3), L(ident, 15), L(DbText(q, 2), 50), L(ident, 18), L(DbText(q, 3), 9),
                              Filler(10), Number(Amount(q, 4), 8, ident)}));
      SetGauge(Gauge, Percent(lines, expected));
      ++lines;
    }
    file->WriteLine(Record({L("XXX", 3), Number(IntToStr(lines + 1), 6, name)}));
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
         File.WriteLine(Record({H01(Q), Filler(40)}));
         File.WriteLine(Record({L("H02", 3), Filler(6), L(DbText(Q, 6), 8), L(DbText(Q, 7), 40), L(DbText(Q, 8), 40),
                                L(Record({DbText(Q, 9), " ", DbText(Q, 10), ", ", DbText(Q, 11)}), 40)}));
         return 2;
       },
       [](TExportFile& File, THstmt* Q, const std::string& Key) {
         File.WriteLine(Record({L("D00", 3), L(DbText(Q, 12), 15), Number(Integer(Q, 13), 6, Key)}));
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
         File.WriteLine(Record({H01(Q), L(DbText(Q, 7), 3), Filler(40)}));
         return 1;
       },
       [](TExportFile& File, THstmt* Q, const std::string& Key) {
         File.WriteLine(Record({L("D00", 3), L(DbText(Q, 10), 15), Filler(20), Number(Integer(Q, 11), 6, Key),
                                Number(Amount(Q, 12), 8, Key), Number(Amount(Q, 13), 9, Key), L(DbText(Q, 9), 1),
                                L(DbText(Q, 8), 3), L(DbText(Q, 15), 3), L(DbText(Q, 14), 10), L(DateText(Q, 16), 8)}));
       }});
}
