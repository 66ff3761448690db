#pragma once
// Shared routines of the program: INI settings, the error log and its table, statement
// execution with SQL trace, the build-number check and the upgrade launch.
#include <string>
#include <vector>

#include "exceptions.h"

class TObject;
class TTable;
class THstmt;

// [Section] Key of IniFile, or Default; the empty text for an empty section or key. A failure is
// logged under "GetStringFromIniFile" and gives the empty text.
std::string GetStringFromIniFile(const std::string& Section, const std::string& Key,
                                 const std::string& Default);
// Nothing for an empty section or key; a failure is logged under "WriteStringToIniFile".
void WriteStringToIniFile(const std::string& Section, const std::string& Key, const std::string& Value);

// The local error table.
inline constexpr const char* ErrorTableName = "c:\\ZelkorError";

// Appends one row to the error table: E (nullptr for a trace entry), the sender (nullptr allowed)
// and the operation. A silent abort (class exactly EAbort) is not logged. Never raises; a row
// that cannot be written is dropped.
void WriteErrorLog(const Exception* E, TObject* Sender, const std::string& Operation);
// Opens the error table, creating it first when it does not exist. A table that exists but
// cannot be opened is left as it is and the failure raised.
void OpenErrorTable(TTable* Table);
// Arrow cursor, error box "Explanation CR LF message", then WriteErrorLog.
void ShowErrorAndLog(const Exception& E, TObject* Sender, const std::string& Operation,
                     const std::string& Explanation);

// Executes the statement (traced first when SqlTraceOn). On failure: an error box when
// ShowMessage, a row under "HstmtExecute-" + its name, then a silent abort. True on success.
bool HstmtExecute(THstmt* Stmt, bool ShowMessage);

// Version "major.minor.release" and build number of a program file ("0" and "0" when it has no
// version record or cannot be read); true when the version was read.
bool GetFileBuildNo(const std::string& FileName, std::string& Version, std::string& Build);

// Compares the build of ProgramPath with the file of the same name in the upgrade folder
// (registry "SOFTWARE\Brintel\Upgrade" PotDoTempa, default "c:\Temp"). When the own build is
// older: a message, the upgrade program ([Program] PathToUpgrade, default the program's folder,
// + "\RazuVorivur.EXE" with "/L") is started, and with Terminate the application is told to end.
// False when an upgrade was started.
bool TestBuildNo(const std::string& ProgramPath, bool Terminate);

// Starts a program without a shell. Result above 31 when started; else 2 file not found,
// 3 path not found, 11 not an executable, 0 any other failure (each with its message box);
// -1 when the launch itself raised (logged under "TWinExec-" + command line).
int TWinExec(const std::string& CmdLine, unsigned ShowMode);
// The same with the program and its arguments apart, for a program path that may hold blanks.
int TWinExec(const std::string& Program, const std::vector<std::string>& Args, unsigned ShowMode);
