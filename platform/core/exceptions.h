#pragma once
// The exception hierarchy. Every error the program raises derives from Exception.
#include <exception>
#include <string>
#include "object.h"

class Exception : public std::exception, public TObject {
public:
  explicit Exception(std::string msg = {}) : FMessage(std::move(msg)) {}
  const std::string& Message() const { return FMessage; }
  void SetMessage(std::string m) { FMessage = std::move(m); }
  const char* what() const noexcept override { return FMessage.c_str(); }
  ZEL_CLASS(Exception, TObject)
private:
  std::string FMessage;
};

#define ZEL_EXCEPTION(Name, Base)       \
  class Name : public Base {            \
  public:                               \
    using Base::Base;                   \
    ZEL_CLASS(Name, Base)               \
  };

ZEL_EXCEPTION(EAbort, Exception)              // silent: never shown, never logged
ZEL_EXCEPTION(EConvertError, Exception)
ZEL_EXCEPTION(EDatabaseError, Exception)
ZEL_EXCEPTION(EListError, Exception)          // list index out of bounds, duplicates
ZEL_EXCEPTION(EStringListError, EListError)
ZEL_EXCEPTION(EInvalidOperation, Exception)
ZEL_EXCEPTION(EInvalidPointer, Exception)
ZEL_EXCEPTION(EComponentError, Exception)
ZEL_EXCEPTION(EStreamError, Exception)
ZEL_EXCEPTION(EFCreateError, EStreamError)
ZEL_EXCEPTION(EFOpenError, EStreamError)
ZEL_EXCEPTION(EFilerError, EStreamError)
ZEL_EXCEPTION(EReadError, EFilerError)
ZEL_EXCEPTION(EWriteError, EFilerError)
ZEL_EXCEPTION(EInOutError, Exception)
ZEL_EXCEPTION(EIniFileException, Exception)
ZEL_EXCEPTION(ERegistryException, Exception)
ZEL_EXCEPTION(EOSError, Exception)

// Raises a silent EAbort.
[[noreturn]] void Abort();

// For code that must not let an exception pass (a data set's filter handler): called inside a
// catch block, hands the exception being handled to the application's exception handling.
// platform/ui installs its application object's; without it the message goes to standard
// error. An EAbort stays silent.
using THandleExceptionHook = void (*)(TObject* Sender);
extern THandleExceptionHook HandleExceptionHook;
void HandleException(TObject* Sender) noexcept;
