#pragma once
// A small data set for the pieces that need no driver (the options' form stream, the blob stream,
// the master/detail link): the in-memory data set of the framework tests with a statement, its
// options object (hStmt) and its parameters. Cached is only a flag here: how it drives the
// statement's options, and the parameter binding, are tested on the ODBC query itself.
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
  void SetCached(bool Value) override { FCached = Value; }
  void TerminateHstmt() override { FStmt->Terminate(); }
  void Unprepare() override {}
  void RefreshParams() override { ++Refreshes; }
  void SetParamsBound(bool) override {}

  TDataSetHstmt* hStmt() const { return FOptions.get(); }
  void SetHStmt(TDataSetHstmt*) {}
  TODParams* Params() const { return FParams.get(); }

  int Refreshes = 0;
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
