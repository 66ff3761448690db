#include "dastacks.h"

TStackStr::TStackStr() : FList(std::make_unique<TStringList>()) {}

void TStackStr::Push(const std::string& Text) { FList->Add(Text); }

std::string TStackStr::Pop() {
  const int n = FList->Count();
  if (n == 0) return {};
  std::string s = FList->Get(n - 1);
  FList->Delete(n - 1);
  return s;
}

int TStackStr::Count() const { return FList->Count(); }

TStackPtr::TStackPtr() : FList(std::make_unique<TList>()) {}

void TStackPtr::Push(TNode* Node) { FList->Add(Node); }

TNode* TStackPtr::Pop() {
  const int n = FList->Count();
  if (n == 0) return nullptr;
  auto* node = static_cast<TNode*>(FList->Items(n - 1));
  FList->Delete(n - 1);
  return node;
}

int TStackPtr::Count() const { return FList->Count(); }
