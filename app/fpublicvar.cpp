#include "fpublicvar.h"

#include <unistd.h>

#include <climits>
#include <filesystem>

#include "dospath.h"
#include "formatsettings.h"
#include "registryhandling.h"
#include "stdproc.h"
#include "text.h"

std::string IniFileName;
std::unique_ptr<TIniFile> IniFile;
std::string DbUserName;
std::string DbPassword;
bool SqlTraceOn = false;
std::string LogFolder;
std::string CompanyName;
std::string ProgramBuildNo;
std::unique_ptr<TStringList> TableIndex = std::make_unique<TStringList>();

namespace {

std::vector<std::string>& Params() {
  static std::vector<std::string> params;
  return params;
}

// The program file's full path: argv[0] when it names a file by a path (as started), else the
// file the system runs (argv[0] may be a bare name found on the search path).
std::string OwnProgramFile() {
  if (!Params().empty()) {
    const std::string& arg0 = Params()[0];
    std::error_code ec;
    if (arg0.find('/') != std::string::npos && std::filesystem::is_regular_file(arg0, ec)) {
      auto full = std::filesystem::absolute(arg0, ec);
      if (!ec) return full.lexically_normal().string();
    }
  }
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return std::string(buf, static_cast<size_t>(n));
  return Params().empty() ? std::string() : Params()[0];
}

}  // namespace

void SetProgramParams(int argc, const char* const* argv) {
  Params().clear();
  for (int i = 0; i < argc; ++i) Params().push_back(argv[i] ? argv[i] : "");
}

int ParamCount() { return Params().empty() ? 0 : int(Params().size()) - 1; }

std::string ParamStr(int Index) {
  if (Index == 0) return OwnProgramFile();
  if (Index < 0 || Index > ParamCount()) return {};
  return Params()[static_cast<size_t>(Index)];
}

void ReadProgramSettings() {
  // First, so that every row logged from here on says which build wrote it.
  std::string version, build;
  GetFileBuildNo(ParamStr(0), version, build);
  ProgramBuildNo = build;

  IniFileName = ParamCount() >= 1 ? ParamStr(1) : "Zelkor.INI";
  IniFile = std::make_unique<TIniFile>(IniFileName);

  // Only a one-byte character fits the separator; anything else (or nothing) keeps the current one.
  std::string sep = GetStringFromIniFile("Program", "DateSeparator",
                                         std::string(1, FormatSettings().DateSeparator));
  if (!sep.empty() && static_cast<unsigned char>(sep[0]) < 0x80) FormatSettings().DateSeparator = sep[0];

  GetUserNameAndPassword(DbUserName, DbPassword);
  SqlTraceOn = GetStringFromIniFile("Program", "SQLTrace", "F") == "T";
  LogFolder = GetStringFromIniFile("Program", "FillUpdateLogDir", "c:\\Zelkor\\Log");
  // Every missing level: a first start has no "c:\\Zelkor" either.
  if (!LogFolder.empty() && !DirectoryExists(LogFolder)) ForceDirectories(LogFolder);
}

void ResetProgramSettings() {
  IniFileName.clear();
  IniFile.reset();
  DbUserName.clear();
  DbPassword.clear();
  SqlTraceOn = false;
  LogFolder.clear();
  CompanyName.clear();
  ProgramBuildNo.clear();
  TableIndex = std::make_unique<TStringList>();
}
