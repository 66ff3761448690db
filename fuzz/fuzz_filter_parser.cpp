// Fuzzes the filter-expression parser (tokenizer, grammar, tree building and freeing) against
// a table of every constant kind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/dataaware/filterfields.h"
#include "dafilterparser.h"
#include "dialogs.h"
#include "text.h"

namespace {

// Answers the "field not found" warning without showing or keeping anything.
class QuietUi : public TUiService {
 public:
  int MessageBox(const std::string&, const std::string&, TMsgDlgType, TMsgDlgButtons) override {
    return mrOk;
  }
  void Beep(unsigned) override {}
  void CursorChanged(TCursor) override {}
};

void Check(bool ok) {
  if (!ok) std::abort();
}

// Walks the tree without recursion and checks its shape.
void CheckTree(const TNode* root, bool validInput) {
  std::vector<std::pair<const TNode*, int>> pending{{root, 1}};
  int count = 0;
  while (!pending.empty()) {
    auto [n, level] = pending.back();
    pending.pop_back();
    ++count;
    Check(level <= MaxFilterTreeDepth);
    Check(Utf8Length(n->Text) <= size_t(MaxFilterTokenLength));
    if (validInput) Check(IsValidUtf8(n->Text));
    if (n->Kind == nkOperand) {
      Check(!n->Left && !n->Right);
    } else {
      Check(n->Left && n->Right && n->Kind <= nkArithmetic);
      pending.push_back({n->Left.get(), level + 1});
      pending.push_back({n->Right.get(), level + 1});
    }
  }
  Check(count == CountNodes(root));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static FilterFieldList fields{{
      {"A", ftInteger, 0},     {"B", ftSmallint, 0},   {"Name", ftString, 30},
      {"Price", ftBCD, 2},     {"Amount", ftFloat, 0}, {"Dat", ftDate, 0},
      {"Stamp", ftDateTime, 0}, {"Tm", ftTime, 0},     {"Paid", ftBoolean, 0},
      {"First Name", ftString, 20}, {"Šifra", ftString, 10}, {"Notes", ftMemo, 0},
  }};
  static QuietUi ui;
  static const bool setUp = (SetUiService(&ui), true);
  (void)setUp;
  FilterTable = &fields;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<TNode> tree = ParseFilter(text);
  if (tree) CheckTree(tree.get(), IsValidUtf8(text));
  return 0;
}
