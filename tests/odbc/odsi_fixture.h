#pragma once
// A small data set standing in for the ODBC data set: the in-memory data set of the framework
// tests with a statement, its options object (hStmt) and its parameters, keeping the flags that
// the pieces under test change. Its Cached setter and bind step do what the ODBC data set's do.
#include <memory>

#include "../data/memdataset.h"
#include "odsi.h"
#include "published.h"

class TTestODDataSet : public TMemDataSet, public IODDataSet {
public:
  explicit TTestODDataSet(TComponent* AOwner = nullptr)
      : TMemDataSet(AOwner), FStmt(std::make_unique<THstmt>(nullptr)) {
    FOptions = std::make_unique<TDataSetHstmt>(this, FStmt.get());
    FParams = std::make_unique<TODParams>(this);
    Register();
  }
  ~TTestODDataSet() override {
    Destroying();
    Close();
    FOptions.reset();  // unhooks the statement before it goes
  }

  THstmt* Hstmt() const override { return FStmt.get(); }
  bool Cached() const override { return FCached; }
  void SetCached(bool Value) override {
    TerminateHstmt();
    FCached = Value;
    FOptions->CachedChanged(Value, ComponentState().Contains(csLoading));
  }
  void TerminateHstmt() override { FStmt->Terminate(); }
  void Unprepare() override {
    ++Unprepares;
    ParamsBound = false;
  }
  void RefreshParams() override { ++Refreshes; }
  void SetParamsBound(bool Value) override { ParamsBound = Value; }

  TDataSetHstmt* hStmt() const { return FOptions.get(); }
  void SetHStmt(TDataSetHstmt*) {}
  TODParams* Params() const { return FParams.get(); }

  // A new statement text, as the data set's SQL setter gives it.
  void SetSQL(const std::string& Text) {
    TerminateHstmt();
    FStmt->SetSQL(Text);
  }
  // The data set's bind step and its read-back after the execution.
  void BindParams() {
    if (!ParamsBound && !FStmt->Prepared()) FStmt->Prepare();
    FParams->SyncBindings();
    FParams->ParamsToBuffers();
    if (!ParamsBound) {
      FParams->BindBuffers();
      ParamsBound = true;
      ++Binds;
    }
    FParams->SetParamLengths();
  }
  void ExecSQL() {
    BindParams();
    FStmt->Execute();
    FParams->BuffersToParams();
  }

  bool ParamsBound = false;
  int Unprepares = 0;
  int Refreshes = 0;
  int Binds = 0;
  ZEL_CLASS(TTestODDataSet, TMemDataSet)

private:
  static void Register() {
    static const bool done = [] {
      RegisterPublishedClass("TTestODDataSet", "TComponent");
      PublishProperty("TTestODDataSet", "hStmt", &TTestODDataSet::hStmt, &TTestODDataSet::SetHStmt);
      return true;
    }();
    (void)done;
  }
  std::unique_ptr<THstmt> FStmt;
  std::unique_ptr<TDataSetHstmt> FOptions;
  std::unique_ptr<TODParams> FParams;
  bool FCached = false;
};
