#pragma once
// The two small stacks of the filter parser: one of strings (symbols) and one of node
// references (not owned).
#include <memory>
#include <string>

#include "classes.h"

class TNode;

class TStackStr : public TObject {
 public:
  TStackStr();
  void Push(const std::string& Text);
  // The last string, removed; the empty string when the stack is empty.
  std::string Pop();
  int Count() const;
  ZEL_CLASS(TStackStr, TObject)

 private:
  std::unique_ptr<TStringList> FList;
};

class TStackPtr : public TObject {
 public:
  TStackPtr();
  void Push(TNode* Node);
  // The last node, removed; none when the stack is empty.
  TNode* Pop();
  int Count() const;
  ZEL_CLASS(TStackPtr, TObject)

 private:
  std::unique_ptr<TList> FList;
};
