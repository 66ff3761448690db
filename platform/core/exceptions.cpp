#include "exceptions.h"

#include <cstdio>

void Abort() { throw EAbort("Operation aborted"); }

THandleExceptionHook HandleExceptionHook = nullptr;

void HandleException(TObject* Sender) noexcept {
  try {
    if (HandleExceptionHook != nullptr) {
      HandleExceptionHook(Sender);
      return;
    }
    throw;
  } catch (const EAbort&) {
  } catch (const std::exception& E) {
    std::fprintf(stderr, "%s\n", E.what());
  } catch (...) {
    std::fputs("Unknown exception\n", stderr);
  }
}
