#pragma once
// Builds filter-expression blobs by hand for the engine's tests: nodes are added operands
// first and laid out as the format says (the last added is the root at offset 0).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "enginebcd.h"
#include "enginefilter.h"

class BlobBuilder {
public:
  // Each returns the node's index (its order of adding).
  int Field(const std::string& cp1250Name) {
    return Add({filterblob::ncField, filterblob::opField, std::uint16_t(++FFields), Literal(cp1250Name + '\0'), 0});
  }
  int Text(const std::string& cp1250) { return Constant(filterblob::vtText, cp1250 + '\0'); }
  int Int(std::int32_t v) { return Constant(filterblob::vtInteger, Raw(v)); }
  int Small(std::int16_t v) { return Constant(filterblob::vtSmallint, Raw(v)); }
  int Float(double v) { return Constant(filterblob::vtFloat, Raw(v)); }
  int Logical(bool v) { return Constant(filterblob::vtLogical, Raw(std::int16_t(v ? -1 : 0))); }
  int Date(std::int32_t day) { return Constant(filterblob::vtDate, Raw(day)); }
  int Time(std::int32_t ms) { return Constant(filterblob::vtTime, Raw(ms)); }
  int Stamp(double ms) { return Constant(filterblob::vtDateTime, Raw(ms)); }
  int Bcd(double v, int decimals) {
    TEngineBcd b{};
    EngineDoubleToBcd(v, 32, decimals, b);
    return Constant(filterblob::vtBCD, std::string(reinterpret_cast<const char*>(b.data()), b.size()));
  }
  int Op(std::uint32_t op, int left, int right) { return Add({filterblob::ncOperator, op, 0, 0, 0, left, right}); }

  // The blob: nodes in reverse order of adding, so the last added is the root.
  std::vector<std::uint8_t> Bytes() const {
    const size_t n = FNodes.size();
    const size_t pool = 10 + 14 * n;
    std::vector<std::uint8_t> b(pool + FPool.size(), 0);
    auto put16 = [&](size_t at, std::uint32_t v) { b[at] = std::uint8_t(v); b[at + 1] = std::uint8_t(v >> 8); };
    auto put32 = [&](size_t at, std::uint32_t v) { for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i)); };
    put16(0, 1);
    put16(2, std::uint32_t(b.size()));
    put16(4, std::uint32_t(n));
    put16(6, 10);
    put16(8, std::uint32_t(pool));
    for (size_t i = 0; i < n; ++i) {
      const TNode& x = FNodes[i];
      const size_t at = 10 + Offset(int(i));
      put32(at, x.Class);
      put32(at + 4, x.Op);
      if (x.Class == filterblob::ncOperator) {
        put16(at + 8, std::uint32_t(Offset(x.Left)));
        put16(at + 10, std::uint32_t(Offset(x.Right)));
      } else {
        put16(at + 8, x.A);
        put16(at + 10, x.B);
        put16(at + 12, x.C);
      }
    }
    std::memcpy(b.data() + pool, FPool.data(), FPool.size());
    return b;
  }
  size_t Offset(int node) const { return 14 * (FNodes.size() - 1 - size_t(node)); }

private:
  struct TNode {
    std::uint32_t Class, Op;
    std::uint16_t A, B, C;
    int Left = -1, Right = -1;
  };
  template <class T>
  static std::string Raw(T v) {
    std::string s(sizeof v, '\0');
    std::memcpy(s.data(), &v, sizeof v);
    return s;
  }
  std::uint16_t Literal(const std::string& bytes) {
    const auto at = std::uint16_t(FPool.size());
    FPool += bytes;
    return at;
  }
  int Constant(std::uint16_t type, const std::string& bytes) {
    return Add({filterblob::ncConstant, filterblob::opConstant, type, std::uint16_t(bytes.size()), Literal(bytes)});
  }
  int Add(TNode n) {
    FNodes.push_back(n);
    return int(FNodes.size()) - 1;
  }
  std::vector<TNode> FNodes;
  std::string FPool;
  int FFields = 0;
};
