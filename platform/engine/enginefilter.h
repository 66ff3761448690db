#pragma once
// Filter expressions: the blob format in which a filter reaches the engine, its decoder and
// its evaluator.
//
// The blob, little-endian:
//   header (10 bytes): version 1 (2 bytes), total size (2), node count N (2), start of the
//     node area: 10 (2), start of the literal pool: 10 + 14 N (2);
//   N node slots of 14 bytes; a node's offset counts from the start of the node area, the
//     root is at offset 0. Each slot: class (4 bytes), operator (4), then by class
//       2 operator:  offset of the left operand (2), of the right operand (2), 0 (2)
//       4 field:     operator 13; field number (2, 1 up in order of writing), literal offset
//                    of the field name (2), 0 (2)
//       5 constant:  operator 14; value type (2), value size (2), literal offset (2);
//   the literal pool up to the total size: field names and values, offsets from its start.
// Operators: = 3, <> 4, > 5, < 6, >= 7, <= 8, AND 10, OR 11, + 16, - 17, * 18, / 19.
// Value types (size): 1 text (its Windows-1250 bytes and a NUL), 2 date (4: day number, day 1
// being 0001-01-01), 4 logical (2: 0 false, else true), 5 16-bit integer (2), 6 32-bit
// integer (4), 7 floating point (8), 8 BCD (34, enginebcd.h), 10 time (4: milliseconds since
// midnight), 11 date-time (8: floating milliseconds since the start of day 1). Field names are
// Windows-1250 and NUL-terminated; they name a field of the table, ignoring ASCII case.
//
// A blob is untrusted: the decoder checks the version, every size and offset, the class and
// operator codes, value sizes and field names, that the nodes form one tree over all N slots,
// the types of every operator's operands and that the root is a truth value, and raises
// EEngineError (ecInvalidFilter) naming the first fault.
//
// Semantics, evaluated in C++ on the engine's record:
// - Values are text (String and Memo fields, text constants), numbers (the integer, float,
//   currency and BCD fields, integer, float and BCD constants), truth values (Boolean fields,
//   logical constants, comparisons, AND, OR), dates, times and date-times. A comparison
//   needs two values of one kind, arithmetic two numbers, AND and OR two truth values.
//   Bytes and blob fields cannot take part.
// - Text: = and <> compare exactly (case matters); < > <= >= compare in EngineCompareText,
//   the order of the case-insensitive indexes (Č after C, not after Z), so two texts that
//   differ only in case are neither < nor > each other. A NULL text equals "".
// - Numbers compare as doubles; a BCD field's value is first rounded to its decimal places
//   (the field's Size) as the BCD conversion rounds. Dates compare by day, times and
//   date-times by the millisecond.
// - Any other comparison with NULL is false (<> included); arithmetic with NULL gives NULL.
// - A division by zero anywhere in the expression drops the record.
// - A 16-bit constant beside a Word field reads as unsigned (its field's range).
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine.h"

namespace filterblob {

inline constexpr std::uint16_t Version = 1;
inline constexpr int HeaderSize = 10;
inline constexpr int NodeSize = 14;
inline constexpr int PoolSize = 1000;  // the room a writer gives the literal pool
inline constexpr int MaxBlobSize = 65535;

enum TNodeClass : std::uint32_t { ncOperator = 2, ncField = 4, ncConstant = 5 };
enum TOperator : std::uint32_t {
  opEq = 3, opNe = 4, opGt = 5, opLt = 6, opGe = 7, opLe = 8,
  opAnd = 10, opOr = 11,
  opField = 13, opConstant = 14,
  opAdd = 16, opSub = 17, opMul = 18, opDiv = 19,
};
enum TValueType : std::uint16_t {
  vtText = 1, vtDate = 2, vtLogical = 4, vtSmallint = 5, vtInteger = 6, vtFloat = 7,
  vtBCD = 8, vtTime = 10, vtDateTime = 11,
};
inline constexpr int BcdSize = 34;

}  // namespace filterblob

class TEngineFilterExpression {
public:
  // Decodes and checks Blob against the table's fields (see above).
  TEngineFilterExpression(std::span<const std::uint8_t> Blob, const std::vector<TEngineFieldDef>& Fields);
  // Whether the record passes.
  bool Keeps(const TEngineRecord& Record) const;
  // Deeper trees are refused.
  static constexpr int MaxDepth = 1100;

private:
  enum TKind : std::uint8_t { vkText, vkNumber, vkBool, vkDate, vkTime, vkDateTime };
  struct TNode {
    std::uint32_t Op = 0;  // an operator, filterblob::opField or opConstant
    TKind Kind = vkBool;   // the kind of value the node gives
    int Left = -1, Right = -1;
    int Field = -1;           // field nodes: the field's position
    TEngineFieldType FieldType = TEngineFieldType::String;
    int Scale = 0;            // BCD fields: decimal places
    double Number = 0;        // constants
    bool Truth = false;
    std::string Text;         // text constants, UTF-8
    std::uint16_t RawType = 0;  // constants: the value type
    bool Divides = false;       // a division in the subtree
  };
  struct TValue;
  int Decode(std::span<const std::uint8_t> blob, int n, size_t pool, size_t poolEnd, int offset, int depth,
             std::vector<bool>& used, const std::vector<TEngineFieldDef>& fields);
  TValue Eval(int node, const TEngineRecord& rec) const;

  std::vector<TNode> FNodes;
  int FRoot = -1;
};
