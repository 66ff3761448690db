#include "stdproc.h"

#include <sys/stat.h>
#include <time.h>

#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "dareg.h"
#include "datable.h"
#include "datetime.h"
#include "dbtables.h"
#include "dospath.h"
#include "forms.h"
#include "fpublicvar.h"
#include "numbers.h"
#include "oclstmt.h"
#include "process.h"
#include "registryhandling.h"
#include "version.h"

// ---------------------------------------------------------------------------------------------
// INI settings

std::string GetStringFromIniFile(const std::string& Section, const std::string& Key,
                                 const std::string& Default) {
  if (Section.empty() || Key.empty()) return {};
  try {
    if (!IniFile) throw EInvalidOperation("The INI file is not open");
    return IniFile->ReadString(Section, Key, Default);
  } catch (Exception& E) {
    WriteErrorLog(&E, Application, "GetStringFromIniFile");
    return {};
  }
}

void WriteStringToIniFile(const std::string& Section, const std::string& Key, const std::string& Value) {
  if (Section.empty() || Key.empty()) return;
  try {
    if (!IniFile) throw EInvalidOperation("The INI file is not open");
    IniFile->WriteString(Section, Key, Value);
  } catch (Exception& E) {
    WriteErrorLog(&E, Application, "WriteStringToIniFile");
  }
}

// ---------------------------------------------------------------------------------------------
// Error log

namespace {

const char* const CRLF = "\r\n";

// Connection and SQL of the sender, for the data-aware ODBC data set and the statement, added to
// text (what was built before a failure stays).
void BuildSenderProperties(TObject* Sender, std::string& text) {
  if (auto* ds = dynamic_cast<TdaODDataSet*>(Sender)) {
    text += "DatabaseName --> " + ds->DatabaseName() + CRLF;
    text += "TableName --> " + ds->TableName() + CRLF;
    text += "hDbc --> ";
    if (THdbc* dbc = ds->hDbc()) text += dbc->Name();
    text += CRLF;
    text += "SQL -->";
    TStrings* sql = ds->SQL();
    for (int i = 0; i < sql->Count(); ++i) text += " " + sql->Strings(i);
    text += CRLF;
  } else if (auto* stmt = dynamic_cast<THstmt*>(Sender)) {
    text += "hDbc --> ";
    if (THdbc* dbc = stmt->hDbc()) text += dbc->Name();
    text += CRLF;
    text += "SQL --> " + stmt->SQL() + CRLF;
  }
}

void SetField(TTable& T, const char* Name, const std::string& Value) {
  T.FieldByName(Name)->SetAsString(Value);
}

void FillErrorRow(TTable& T, const Exception* E, TObject* Sender, const std::string& Operation) {
  T.FieldByName("Cas")->SetAsDateTime(Now());
  try {
    if (TForm* form = Screen ? Screen->ActiveForm() : nullptr) {
      SetField(T, "FormName", form->Name());
      if (TWinControl* control = Screen->ActiveControl()) SetField(T, "ControlName", control->Name());
    }
  } catch (Exception&) {
  }
  SetField(T, "SenderName", Sender ? Sender->ClassName() : "");
  try {
    if (auto* component = dynamic_cast<TComponent*>(Sender)) SetField(T, "ObjectName", component->Name());
  } catch (Exception&) {
  }
  SetField(T, "Operation", Operation);
  if (E) {
    SetField(T, "ExceptObject", E->ClassName());
    SetField(T, "Error", E->Message());
  }
  // A build number the column cannot hold must not cost the row its message.
  try {
    SetField(T, "BuildNo", ProgramBuildNo);
  } catch (Exception&) {
  }
  std::string props;
  try {
    BuildSenderProperties(Sender, props);
  } catch (Exception&) {
  }
  try {
    SetField(T, "SenderProp", props);
  } catch (Exception&) {
  }
}

}  // namespace

void OpenErrorTable(TTable* Table) {
  try {
    Table->Open();
    return;
  } catch (Exception&) {
    // Only a missing table is created; one that exists keeps its rows even when it cannot be
    // opened now (locked or damaged), and the failure goes to the caller.
    if (Table->Exists()) throw;
  }
  Table->Close();
  TFieldDefs* defs = Table->FieldDefs();
  defs->Clear();
  defs->Add("Cas", ftDateTime);
  defs->Add("FormName", ftString, 20);
  defs->Add("ControlName", ftString, 20);
  defs->Add("SenderName", ftString, 20);
  defs->Add("ObjectName", ftString, 100);
  defs->Add("Operation", ftString, 30);
  defs->Add("ExceptObject", ftString, 20);
  defs->Add("BuildNo", ftSmallint);
  defs->Add("Error", ftString, 255);
  defs->Add("SenderProp", ftMemo, 1);
  Table->IndexDefs()->Clear();
  try {
    Table->CreateTable();
  } catch (Exception&) {
    // Another process may have created it since our open failed: its table serves as well.
    if (!Table->Exists()) throw;
  }
  Table->Open();
}

void WriteErrorLog(const Exception* E, TObject* Sender, const std::string& Operation) {
  if (E && std::strcmp(E->ClassName(), "EAbort") == 0) return;
  try {
    // The extended table, used as the plain table: none of its additions is set.
    std::unique_ptr<TdaTable> table(new TdaTable(Application));
    table->SetDatabaseName("");
    table->SetTableName(ErrorTableName);
    OpenErrorTable(table.get());
    try {
      table->Append();
      try {
        FillErrorRow(*table, E, Sender, Operation);
      } catch (Exception&) {
        // The fields filled so far are still posted.
      }
      table->Post();
    } catch (...) {
      // Never leave a half-written row holding the table.
      try {
        table->Cancel();
      } catch (...) {
      }
      table->Close();
      throw;
    }
    table->Close();
  } catch (...) {
    // Logging is best effort: the row is dropped.
  }
}

void ShowErrorAndLog(const Exception& E, TObject* Sender, const std::string& Operation,
                     const std::string& Explanation) {
  Screen->SetCursor(crArrow);
  MessageDlg(Explanation + CRLF + E.Message(), mtError, {mbOK});
  WriteErrorLog(&E, Sender, Operation);  // never raises
}

bool HstmtExecute(THstmt* Stmt, bool ShowMessage) {
  if (!Stmt) throw EInvalidPointer("HstmtExecute: no statement");
  try {
    if (SqlTraceOn) WriteErrorLog(nullptr, Stmt, "HstmtExecute");
    Stmt->Execute();
  } catch (Exception& E) {
    if (ShowMessage)
      MessageDlg("Napaka pri odpiranju datoteke: " + Stmt->Name() + " !" + CRLF + E.Message(), mtError, {mbOK});
    WriteErrorLog(&E, Stmt, "HstmtExecute-" + Stmt->Name());
    Abort();
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Build-number check and upgrade launch

namespace {

// The program's own file is asked for its build at start-up and again by the check; it is read
// once. A file counts as unchanged while it is the same file with the same size and times, and
// only when it had last changed well before it was read: a change within the file system
// clock's granularity of that read could keep the times.
struct TRecordRead {
  dev_t Dev;
  ino_t Ino;
  off_t Size;
  timespec Modified;
  timespec Changed;
  std::optional<TVersionNumbers> Record;
};

bool SameTime(const timespec& A, const timespec& B) { return A.tv_sec == B.tv_sec && A.tv_nsec == B.tv_nsec; }

std::optional<TVersionNumbers> ReadVersionRecordOnce(const std::string& Path) {
  static std::map<std::string, TRecordRead> reads;
  struct stat st {};
  if (stat(Path.c_str(), &st) != 0) {
    reads.erase(Path);
    return ReadVersionRecord(Path);
  }
  const auto it = reads.find(Path);
  if (it != reads.end() && it->second.Dev == st.st_dev && it->second.Ino == st.st_ino &&
      it->second.Size == st.st_size && SameTime(it->second.Modified, st.st_mtim) &&
      SameTime(it->second.Changed, st.st_ctim))
    return it->second.Record;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::optional<TVersionNumbers> record = ReadVersionRecord(Path);
  constexpr time_t kSettled = 1;  // second: far beyond any file system clock's granularity
  if (st.st_ctim.tv_sec + kSettled < now.tv_sec && st.st_mtim.tv_sec + kSettled < now.tv_sec)
    reads[Path] = TRecordRead{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, record};
  else
    reads.erase(Path);
  return record;
}

}  // namespace

bool GetFileBuildNo(const std::string& FileName, std::string& Version, std::string& Build) {
  Version = "0";
  Build = "0";
  if (FileName.empty()) return false;
  auto record = ReadVersionRecordOnce(MapDosPath(FileName));
  if (!record) return false;
  const TVersionNumbers& v = *record;
  Version = IntToStr(v[0]) + "." + IntToStr(v[1]) + "." + IntToStr(v[2]);
  Build = IntToStr(v[3]);
  return true;
}

bool TestBuildNo(const std::string& ProgramPath, bool Terminate) {
  bool result = true;
  try {
    std::string fileName = ExtractFileName(ProgramPath);
    std::string folder = ExtractFilePath(ProgramPath);
    RegistryObject->SetRootKey(HKEY_LOCAL_MACHINE);
    ForceRegistryKey("SOFTWARE\\Brintel\\Upgrade");
    std::string upgradeFolder = ReadRegistryString("SOFTWARE\\Brintel\\Upgrade", "PotDoTempa", "c:\\Temp");
    std::string version, otherBuild, ownBuild;
    GetFileBuildNo(upgradeFolder + "\\" + fileName, version, otherBuild);
    GetFileBuildNo(ProgramPath, version, ownBuild);
    if (StrToInt(ownBuild) < StrToInt(otherBuild)) {
      MessageDlg("Potrebujete novo verzijo programa !", mtInformation, {mbOK});
      std::string upgradePath = GetStringFromIniFile("Program", "PathToUpgrade", folder);
      TWinExec(upgradePath + "\\RazuVorivur.EXE", {"/L"}, SW_SHOW);
      result = false;
      if (Terminate) Application->Terminate();
    }
  } catch (Exception& E) {
    WriteErrorLog(&E, Application, "TestBuildNo");
  }
  return result;
}

namespace {

int WinExecCode(const TProcessResult& r) {
  switch (r.Error) {
    case TProcessError::None: return 33;
    case TProcessError::FileNotFound: return 2;
    case TProcessError::PathNotFound: return 3;
    case TProcessError::NotExecutable: return 11;
    default: return 0;
  }
}

const char* WinExecMessage(int code) {
  switch (code) {
    case 0: return "The system is out of memory or resources.";
    case 11: return "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).";
    case 2: return "The specified file was not found.";
    case 3: return "The specified path was not found.";
    default: return nullptr;
  }
}

int Launch(const std::string& Program, const std::vector<std::string>& Args, const std::string& CmdLine) {
  int result = -1;
  try {
    result = WinExecCode(StartProcess(Program, Args));
    if (const char* msg = WinExecMessage(result)) MessageDlg(msg, mtError, {mbOK});
  } catch (Exception& E) {
    WriteErrorLog(&E, Application, "TWinExec-" + CmdLine);
    result = -1;
  }
  return result;
}

}  // namespace

int TWinExec(const std::string& CmdLine, unsigned ShowMode) {
  (void)ShowMode;  // a started program here has no window state to take
  std::vector<std::string> parts = SplitCommandLine(CmdLine);
  if (parts.empty()) parts.emplace_back();
  std::vector<std::string> args(parts.begin() + 1, parts.end());
  return Launch(parts[0], args, CmdLine);
}

int TWinExec(const std::string& Program, const std::vector<std::string>& Args, unsigned ShowMode) {
  (void)ShowMode;
  std::string cmdLine = Program;
  for (const auto& a : Args) cmdLine += " " + a;
  return Launch(Program, Args, cmdLine);
}
