#pragma once
// The filter-expression parser of the extended table: turns a text such as
//   Name = "Smith" AND Qty > 5
// into a tree of TNode, checks that the left operand of every operator is a field of the table
// and types each constant by that field. The emitter walks the tree afterwards.
//
// Grammar (AND and OR share one precedence and group from the left, as do + - and * /):
//   logical    := relation {(AND | OR) relation}
//   relation   := expression [relop expression]
//   expression := term {(+ | -) term}
//   term       := primary {(* | /) primary}
//   primary    := "(" logical ")" | operand
//
// The parser keeps its state process-wide and is not re-entrant: a parse started while one
// runs fails.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "dastacks.h"
#include "fieldtypes.h"
#include "object.h"

// Node kinds.
inline constexpr std::uint8_t nkRelational = 0;
inline constexpr std::uint8_t nkLogical = 1;
inline constexpr std::uint8_t nkArithmetic = 2;
inline constexpr std::uint8_t nkOperand = 3;

// Parentheses may nest this deep; the tree may grow this deep (AND/OR chains grow it by one a
// term). Deeper expressions fail to parse.
inline constexpr int MaxFilterNesting = 256;
inline constexpr int MaxFilterTreeDepth = 1024;

// The longest token taken; a longer one is cut and only its head consumed.
inline constexpr int MaxFilterTokenLength = 64;

class TNode : public TObject {
 public:
  TNode(std::uint8_t AKind, std::string AText, std::unique_ptr<TNode> ALeft = nullptr,
        std::unique_ptr<TNode> ARight = nullptr);
  // Frees the subtree without recursion, however deep it is.
  ~TNode() override;
  TNode(const TNode&) = delete;
  TNode& operator=(const TNode&) = delete;

  std::uint8_t Kind = 0;       // nkRelational, nkLogical, nkArithmetic or nkOperand
  std::uint8_t ConstKind = 0;  // how an operand is written; 0: as a field reference
  std::int32_t Scale = 0;      // decimal places of a BCD constant
  std::string Text;            // the token as written, at most 64 characters
  std::int32_t Offset = 0;     // set by the emitter
  std::unique_ptr<TNode> Left;
  std::unique_ptr<TNode> Right;

  // Levels of the subtree (1 for a leaf).
  int Depth() const { return FDepth; }

  ZEL_CLASS(TNode, TObject)

 private:
  int FDepth = 1;
};

// The fields of the table being filtered, in field order. The table component provides it.
class TFilterFieldSource {
 public:
  virtual ~TFilterFieldSource() = default;
  virtual int FilterFieldCount() const = 0;
  virtual std::string FilterFieldName(int Index) const = 0;
  virtual TFieldType FilterFieldType(int Index) const = 0;
  // The field's Size: the number of decimal places of a BCD field.
  virtual int FilterFieldSize(int Index) const = 0;
};

// Parser state.
extern TFilterFieldSource* FilterTable;  // set before the parse
extern bool LogicalExpected;             // while set, AND and OR are tokens
// The text not yet consumed.
std::string_view FilterInput();
void SetFilterInput(std::string_view Text);

// The next token of FilterInput; only leading blanks and tabs are consumed. Rules in order:
// parenthesis; relational operator (one or two of < = >); AND / OR while LogicalExpected (no
// word boundary); name (letters, _ @ ! # $ * + - / ` and the characters of Windows-1250 codes
// 146-255, then also digits and blanks); number (digits, optionally the decimal separator and
// digits); quoted string with its quotes. Trailing blanks are cut. Empty when nothing matches.
std::string PeekToken();
// Consumes Text when FilterInput begins with it (exact case) and pushes it on the symbol
// stack. An empty Text is never accepted.
bool AcceptToken(const std::string& Text);
// Pops N symbols (false when the stack runs empty first), then pushes Name.
bool ReduceSymbols(int N, const std::string& Name);
// Kind 3 pushes an operand. Other kinds pop right and left operand and push an operator over
// them; a left operand that is not a field of FilterTable shows "<text>\rField not found in
// Table. " and fails; otherwise the right operand's ConstKind (and Scale for BCD) come from
// that field.
bool MakeNode(std::uint8_t Kind, const std::string& Text);

// The grammar rules; they need a parse started by ParseFilter and fail without one.
bool ParseLogical();
bool ParseRelation();
bool ParseExpression();
bool ParseTerm();
bool ParsePrimary();

bool IsRelOp(std::string_view Text);
// A field whose name equals Name ignoring ASCII case.
bool FieldExists(const TFilterFieldSource* Table, std::string_view Name);
std::uint8_t ConstKindOfField(TFieldType DataType);
// Nodes of the subtree (iterative).
int CountNodes(const TNode* Node);

// Parses Text against FilterTable. The tree, or none when the parse fails. The text after a
// successful logical expression is not examined.
std::unique_ptr<TNode> ParseFilter(const std::string& Text);

// Text of the dialog for a left operand that is not a field.
inline constexpr const char* FieldNotFoundText = "Field not found in Table. ";
