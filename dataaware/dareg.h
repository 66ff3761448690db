#pragma once
// The ODBC query with the data-aware library's additions (unit DaReg):
//   ControlType      control kind per field (format in dahelpers.h);
//   PictureMasks     picture mask per field, checked before every post while ValidateWithMask
//                    (ValidateMasks: the first failing field that is not read-only gets the
//                    focus, OnInvalidValue is called, EDatabaseError refuses the post and the
//                    record stays in edit or insert);
//   DatabaseName     the connection (hDbc) named by its component name among the components of
//                    the data set's owner.
// All of them are published, so the data-aware helpers find the lists by name and forms store
// them.
#include <memory>
#include <string>

#include "dahelpers.h"
#include "ovcl.h"

class TdaODDataSet : public TODQuery {
public:
  explicit TdaODDataSet(TComponent* AOwner);
  ~TdaODDataSet() override;

  // The setters copy the lines (Assign).
  TStrings* ControlType() const { return FControlType.get(); }
  void SetControlType(TStrings* Value);
  TStrings* PictureMasks() const { return FPictureMasks.get(); }
  void SetPictureMasks(TStrings* Value);
  bool ValidateWithMask() const { return FValidateWithMask; }
  void SetValidateWithMask(bool Value) { FValidateWithMask = Value; }
  // The Name of the connection; empty when there is none.
  std::string DatabaseName() const;
  // A THdbc of that name owned by the data set's owner becomes the connection (through
  // SetHdbc, which closes an open data set); any other name, or no owner, changes nothing.
  // Set while loading, the name waits until the form is loaded, so the connection may come
  // later in the stream.
  void SetDatabaseName(const std::string& Value);
  TdaInvalidValueEvent OnInvalidValue;

  void Loaded() override;
  ZEL_CLASS(TdaODDataSet, TODQuery)

protected:
  void DoBeforePost() override;

private:
  void ResolveDatabaseName(const std::string& Value);

  std::unique_ptr<TStringList> FControlType;
  std::unique_ptr<TStringList> FPictureMasks;
  bool FValidateWithMask = true;
  bool FDatabaseNamePending = false;
  std::string FStreamedDatabaseName;
};
