#pragma once
// Root of the class hierarchy: class names as the program reports them (never typeid names).
#include <string>
#include <string_view>

bool SameClassName(std::string_view a, std::string_view b);  // ASCII case-insensitive

class TObject {
public:
  virtual ~TObject() = default;
  virtual const char* ClassName() const { return "TObject"; }
  // True when this object's class or one of its ancestors has the given name.
  virtual bool InheritsFrom(std::string_view name) const { return SameClassName(name, "TObject"); }
  bool ClassNameIs(std::string_view name) const { return SameClassName(name, ClassName()); }
};

// Declares ClassName and InheritsFrom for a class derived from Base.
#define ZEL_CLASS(Name, Base)                                                  \
  const char* ClassName() const override { return #Name; }                    \
  bool InheritsFrom(std::string_view n) const override {                      \
    return SameClassName(n, #Name) || Base::InheritsFrom(n);                  \
  }
