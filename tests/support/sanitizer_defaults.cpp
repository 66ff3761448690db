// Defaults every test binary carries, so a test behaves the same under ctest and run by hand.
#include <stdlib.h>

extern "C" {
// Allocations that third-party libraries keep for the life of the process.
const char* __lsan_default_suppressions() {
  return "leak:libodbc.so\n"
         "leak:libodbcinst.so\n"
         "leak:libltdl.so\n"
         "leak:psqlodbc\n"
         "leak:libsqlite3odbc\n"
         "leak:libfontconfig.so\n"
         "leak:libQt6\n"
         "leak:libdbus-1.so\n"
         "leak:libglib-2.0.so\n";
}
const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }
}

namespace {
// Widgets need no display: tests run on the offscreen platform unless the caller chose one.
const bool kOffscreen = [] {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return true;
}();
}  // namespace
