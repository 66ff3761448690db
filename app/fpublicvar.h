#pragma once
// Program-wide settings, read once at start-up and used across the program.
#include <memory>
#include <string>
#include <vector>

#include "classes.h"
#include "inifiles.h"

extern std::string IniFileName;
// Opened on IniFileName at start-up; kept to the end of the run.
extern std::unique_ptr<TIniFile> IniFile;
extern std::string DbUserName;
// Clear text, held in memory only: never logged, traced or shown.
extern std::string DbPassword;
extern bool SqlTraceOn;
extern std::string LogFolder;
extern std::string CompanyName;
// The running program file's build number; written into every error-log row.
extern std::string ProgramBuildNo;
// Table name to field list (name=value lines).
extern std::unique_ptr<TStringList> TableIndex;

// The command line as the program received it; ParamStr(0) is the program file's full path.
void SetProgramParams(int argc, const char* const* argv);
int ParamCount();                // arguments after the program
std::string ParamStr(int Index);  // "" outside 0..ParamCount()

// Start-up settings of the main window, in this order: ProgramBuildNo from the program file,
// IniFileName (the first argument, else "Zelkor.INI"), IniFile, [Program] DateSeparator, the
// database user name and password, [Program] SQLTrace, [Program] FillUpdateLogDir (the folder
// and its missing parents are created). Raises what the steps raise.
void ReadProgramSettings();

// Sets everything above back to its initial state (tests, and before a second start-up).
void ResetProgramSettings();
