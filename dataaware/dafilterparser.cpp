#include "dafilterparser.h"

#include <algorithm>
#include <vector>

#include "cp1250.h"
#include "dialogs.h"
#include "formatsettings.h"
#include "text.h"

TFilterFieldSource* FilterTable = nullptr;
bool LogicalExpected = false;

namespace {

// The input and how much of it is consumed (consuming never copies the rest).
std::string GInput;
size_t GPos = 0;

// The stacks and the nesting of the running parse; none outside ParseFilter.
TStackStr* GSymbols = nullptr;
TStackPtr* GNodes = nullptr;
int GNesting = 0;

std::string_view Rest() { return std::string_view(GInput).substr(std::min(GPos, GInput.size())); }

bool IsAsciiNameStart(unsigned char c) {
  return c == '!' || c == '#' || c == '$' || c == '*' || c == '+' || c == '-' || c == '/' ||
         (c >= '@' && c <= 'Z') || (c >= '_' && c <= 'z');
}

// Beyond ASCII a character belongs to a name when its Windows-1250 code is 146 or above. That
// leaves out Š, Ś, Ť, Ž and Ź (138-143), as the filter format always has: a name cannot begin
// with them and ends before one.
bool IsNameChar(char32_t c, bool follow) {
  if (c < 0x80) {
    const auto b = static_cast<unsigned char>(c);
    return IsAsciiNameStart(b) || (follow && (b == ' ' || (b >= '0' && b <= '9')));
  }
  return CharToCp1250(c) >= 146;
}

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

std::string Peek64() { return Utf8Left(PeekToken(), MaxFilterTokenLength); }

// A token that can stand as an operand: not a parenthesis, not an operator of the relations.
bool IsOperandToken(const std::string& t) {
  return !t.empty() && t != "(" && t != ")" && !IsRelOp(t) && t.find_first_of("<=>") != 0;
}

}  // namespace

// ---- TNode ----------------------------------------------------------------------------------

TNode::TNode(std::uint8_t AKind, std::string AText, std::unique_ptr<TNode> ALeft,
             std::unique_ptr<TNode> ARight)
    : Kind(AKind), Text(std::move(AText)), Left(std::move(ALeft)), Right(std::move(ARight)) {
  const int l = Left ? Left->FDepth : 0;
  const int r = Right ? Right->FDepth : 0;
  FDepth = 1 + std::max(l, r);
}

TNode::~TNode() {
  std::vector<std::unique_ptr<TNode>> pending;
  if (Left) pending.push_back(std::move(Left));
  if (Right) pending.push_back(std::move(Right));
  while (!pending.empty()) {
    std::unique_ptr<TNode> n = std::move(pending.back());
    pending.pop_back();
    if (n->Left) pending.push_back(std::move(n->Left));
    if (n->Right) pending.push_back(std::move(n->Right));
  }  // n goes without children here
}

int CountNodes(const TNode* Node) {
  int n = 0;
  std::vector<const TNode*> pending;
  if (Node) pending.push_back(Node);
  while (!pending.empty()) {
    const TNode* x = pending.back();
    pending.pop_back();
    ++n;
    if (x->Left) pending.push_back(x->Left.get());
    if (x->Right) pending.push_back(x->Right.get());
  }
  return n;
}

// ---- state and tokens ------------------------------------------------------------------------

std::string_view FilterInput() { return Rest(); }

void SetFilterInput(std::string_view Text) {
  GInput.assign(Text);
  GPos = 0;
}

std::string PeekToken() {
  while (GPos < GInput.size() && (GInput[GPos] == ' ' || GInput[GPos] == '\t')) ++GPos;
  const std::string_view s = Rest();
  if (s.empty()) return {};
  const char c = s[0];
  size_t n = 0;
  auto isRel = [](char ch) { return ch == '<' || ch == '=' || ch == '>'; };
  if (c == '(' || c == ')') {
    n = 1;
  } else if (isRel(c)) {
    n = (s.size() > 1 && isRel(s[1])) ? 2 : 1;
  } else if (LogicalExpected && UpperCase(s.substr(0, 3)) == "AND") {
    n = 3;
  } else if (LogicalExpected && UpperCase(s.substr(0, 2)) == "OR") {
    n = 2;
  } else {
    size_t i = 0;
    const char32_t first = Utf8Next(s, i);
    if (IsNameChar(first, false)) {
      n = i;
      while (n < s.size()) {
        size_t k = n;
        if (!IsNameChar(Utf8Next(s, k), true)) break;
        n = k;
      }
    } else if (IsDigitChar(c)) {
      while (n < s.size() && IsDigitChar(s[n])) ++n;
      if (n < s.size() && s[n] == FormatSettings().DecimalSeparator) {
        ++n;
        while (n < s.size() && IsDigitChar(s[n])) ++n;
      }
    } else if (c == '"') {
      const size_t close = s.find('"', 1);
      if (close != std::string_view::npos) n = close + 1;
    }
  }
  std::string token(s.substr(0, n));
  while (!token.empty() && token.back() == ' ') token.pop_back();
  return token;
}

bool AcceptToken(const std::string& Text) {
  if (Text.empty() || Rest().substr(0, Text.size()) != Text) return false;
  GPos += Text.size();
  if (GSymbols) GSymbols->Push(Text);
  return true;
}

bool ReduceSymbols(int N, const std::string& Name) {
  if (!GSymbols) return false;
  for (int k = 0; k < N; ++k) {
    if (GSymbols->Count() == 0) return false;
    GSymbols->Pop();
  }
  GSymbols->Push(Name);
  return true;
}

bool IsRelOp(std::string_view Text) {
  return Text == "<" || Text == "<>" || Text == "<=" || Text == ">=" || Text == "=" || Text == ">";
}

bool FieldExists(const TFilterFieldSource* Table, std::string_view Name) {
  if (!Table) return false;
  const int n = Table->FilterFieldCount();
  for (int i = 0; i < n; ++i)
    if (SameText(Table->FilterFieldName(i), Name)) return true;
  return false;
}

std::uint8_t ConstKindOfField(TFieldType DataType) {
  switch (DataType) {
    case ftString: return 1;
    case ftFloat: case ftCurrency: return 2;
    case ftDateTime: return 3;
    case ftDate: return 4;
    case ftTime: return 5;
    case ftBoolean: return 6;
    case ftInteger: case ftAutoInc: return 7;
    case ftBCD: return 8;
    case ftSmallint: case ftWord: return 9;
    default: return 0;
  }
}

bool MakeNode(std::uint8_t Kind, const std::string& Text) {
  if (!GNodes) return false;
  if (Kind == nkOperand) {
    GNodes->Push(new TNode(nkOperand, Text));
    return true;
  }
  if (GNodes->Count() < 2) return false;
  std::unique_ptr<TNode> right(GNodes->Pop());
  std::unique_ptr<TNode> left(GNodes->Pop());
  if (left->Kind == nkOperand) {
    if (!FieldExists(FilterTable, left->Text)) {
      MessageDlg(left->Text + "\r" + FieldNotFoundText, mtWarning, TMsgDlgButtons{mbOK}, 0);
      return false;
    }
    const int n = FilterTable->FilterFieldCount();
    for (int i = 0; i < n; ++i) {
      if (!SameText(FilterTable->FilterFieldName(i), left->Text)) continue;
      const TFieldType type = FilterTable->FilterFieldType(i);
      right->ConstKind = ConstKindOfField(type);
      if (type == ftBCD) right->Scale = FilterTable->FilterFieldSize(i);
      break;
    }
  }
  if (1 + std::max(left->Depth(), right->Depth()) > MaxFilterTreeDepth) return false;
  GNodes->Push(new TNode(Kind, Text, std::move(left), std::move(right)));
  return true;
}

// ---- grammar ---------------------------------------------------------------------------------

bool ParseLogical() {
  if (!ParseRelation() || !ReduceSymbols(1, "L")) return false;
  for (;;) {
    LogicalExpected = true;
    const std::string token = Peek64();
    LogicalExpected = false;
    const std::string upper = UpperCase(token);
    if (upper != "AND" && upper != "OR") return true;
    if (!AcceptToken(token) || !ParseRelation() || !ReduceSymbols(3, "L") ||
        !MakeNode(nkLogical, token))
      return false;
  }
}

bool ParseRelation() {
  if (!ParseExpression() || !ReduceSymbols(1, "R")) return false;
  const std::string token = Peek64();
  if (!IsRelOp(token)) return true;
  return AcceptToken(token) && ParseExpression() && ReduceSymbols(3, "R") &&
         MakeNode(nkRelational, token);
}

namespace {

// operand {(op1 | op2) operand}, grouped from the left.
bool ParseArithmetic(bool (*operand)(), const char* symbol, const char* op1, const char* op2) {
  if (!operand() || !ReduceSymbols(1, symbol)) return false;
  for (;;) {
    const std::string token = Peek64();
    if (token != op1 && token != op2) return true;
    if (!AcceptToken(token) || !operand() || !ReduceSymbols(3, symbol) ||
        !MakeNode(nkArithmetic, token))
      return false;
  }
}

}  // namespace

bool ParseExpression() { return ParseArithmetic(ParseTerm, "E", "+", "-"); }

bool ParseTerm() { return ParseArithmetic(ParsePrimary, "T", "*", "/"); }

bool ParsePrimary() {
  if (!GNodes) return false;
  const std::string token = Peek64();
  if (token == "(") {
    if (GNesting >= MaxFilterNesting) return false;
    ++GNesting;
    const bool ok = AcceptToken("(") && ParseLogical() && AcceptToken(")") && ReduceSymbols(3, "P");
    --GNesting;
    return ok;
  }
  // A parenthesis or an operator where the operand belongs is a missing operand.
  if (!IsOperandToken(token)) return false;
  return AcceptToken(token) && ReduceSymbols(1, "P") && MakeNode(nkOperand, token);
}

std::unique_ptr<TNode> ParseFilter(const std::string& Text) {
  if (GNodes) return nullptr;  // a parse is running (re-entered from the warning dialog)
  TStackStr symbols;
  TStackPtr nodes;
  struct Session {
    Session(TStackStr* s, TStackPtr* n) {
      GSymbols = s;
      GNodes = n;
      GNesting = 0;
      LogicalExpected = false;
    }
    ~Session() {
      // Nodes left behind by a failed parse belong to nobody else.
      while (GNodes->Count() > 0) delete GNodes->Pop();
      GSymbols = nullptr;
      GNodes = nullptr;
      GNesting = 0;
      LogicalExpected = false;
    }
  } session(&symbols, &nodes);
  SetFilterInput(Text);
  if (!ParseLogical()) return nullptr;
  return std::unique_ptr<TNode>(nodes.Pop());
}
