#pragma once
// A data link that remembers the field that was asked to take the focus.
#include "db.h"

struct FocusLink : TDataLink {
  TField* Focused = nullptr;
  int Count = 0;

protected:
  void FocusControl(TField** Field) override {
    Focused = *Field;
    ++Count;
  }
};
