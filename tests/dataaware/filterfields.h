#pragma once
// A fixed list of fields that the filter parser reads as a table's (FilterTable): for the
// parser's and the emitter's tests, the parser's fuzz target and the filter benchmark.
#include <string>
#include <utility>
#include <vector>

#include "dafilterparser.h"

struct FilterField {
  std::string name;
  TFieldType type;
  int size = 0;
};

class FilterFieldList : public TFilterFieldSource {
 public:
  explicit FilterFieldList(std::vector<FilterField> f) : FFields(std::move(f)) {}
  int FilterFieldCount() const override { return int(FFields.size()); }
  std::string FilterFieldName(int i) const override { return FFields[size_t(i)].name; }
  TFieldType FilterFieldType(int i) const override { return FFields[size_t(i)].type; }
  int FilterFieldSize(int i) const override { return FFields[size_t(i)].size; }

 private:
  std::vector<FilterField> FFields;
};
