#pragma once
// Shared fixture of the program's tests: a fresh folder, registry and ODBC set-up (TestEnv), a
// fresh application object, recorded dialogs, and the program settings back at their start.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dbtables.h"
#include "dospath.h"
#include "formatsettings.h"
#include "forms.h"
#include "fdatasif.h"
#include "fpublicvar.h"
#include "ocl.h"
#include "registryhandling.h"
#include "stdproc.h"
#include "testenv.h"

// Points the registry store at a folder for its lifetime, so that no key can be read or created.
class UnusableRegistry {
public:
  explicit UnusableRegistry(const std::string& folder) {
    if (const char* v = std::getenv("ZELKOR_REGISTRY")) FSaved = v;
    std::filesystem::create_directories(folder);
    setenv("ZELKOR_REGISTRY", folder.c_str(), 1);
  }
  ~UnusableRegistry() {
    if (FSaved) setenv("ZELKOR_REGISTRY", FSaved->c_str(), 1);
    else unsetenv("ZELKOR_REGISTRY");
  }
  UnusableRegistry(const UnusableRegistry&) = delete;
  UnusableRegistry& operator=(const UnusableRegistry&) = delete;

private:
  std::optional<std::string> FSaved;
};

// One row of the error table, by column name.
using TLogRow = std::map<std::string, std::string>;

// Every row of the error table, in order; none when it does not exist.
inline std::vector<TLogRow> LogRows() {
  std::vector<TLogRow> rows;
  TTable t(nullptr);
  t.SetTableName(ErrorTableName);
  if (!t.Exists()) return rows;
  t.Open();
  for (t.First(); !t.Eof(); t.Next()) {
    TLogRow row;
    for (int i = 0; i < t.FieldCount(); ++i) {
      TField* f = t.Fields()->Fields(i);
      row[f->FieldName()] = f->AsString();
    }
    rows.push_back(row);
  }
  t.Close();
  return rows;
}

// Runs Child in a process of its own, which ends when Child returns; gives what it wrote to the
// descriptor it was handed, once it has ended. Status is its wait status.
inline std::string OutputOfChild(const std::function<void(int OutFd)>& Child, int* Status = nullptr) {
  int fds[2];
  if (pipe(fds) != 0) return "<no pipe>";
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    Child(fds[1]);
    _exit(0);
  }
  close(fds[1]);
  std::string text;
  char buf[1024];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (Status) *Status = status;
  return text;
}

// Writes the file, and the folders it needs, with exactly these bytes.
inline void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

class AppFixture : public ::testing::Test {
protected:
  AppFixture() : FSavedApp(Application) {
    Application = FApp.get();
    ResetProgramSettings();
    FormatSettings() = TFormatSettings{};
    RegistryObject->SetRootKey(HKEY_CURRENT_USER);
    SetProgramParams(0, nullptr);
  }
  ~AppFixture() override {
    FApp.reset();  // frees the data module and forms it owns
    DataSif = nullptr;
    FreeGlobalEnv();  // the next test's ODBC set-up is read afresh
    ResetProgramSettings();
    FormatSettings() = TFormatSettings{};
    Application = FSavedApp;
  }

  // Opens IniFile on "c:\Zelkor.INI" with the given text (none: no file).
  void UseIni(const std::string& text = {}) {
    if (!text.empty()) WriteFile(MapDosPath("c:\\Zelkor.INI"), text);
    IniFile = std::make_unique<TIniFile>("c:\\Zelkor.INI");
  }

  static void SetRegistryString(const std::string& key, const std::string& name, const std::string& value) {
    TRegistry r;
    r.SetRootKey(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(r.OpenKey(key, true));
    r.WriteString(name, value);
  }

  TestEnv Env;
  TRecordingUiService Rec;
  std::unique_ptr<TApplication> FApp = std::make_unique<TApplication>(nullptr);

private:
  TApplication* FSavedApp;
};
