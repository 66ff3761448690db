#include "published.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

namespace {

std::string Upper(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return r;
}

struct TClassEntry {
  std::string Name;
  std::string Parent;  // upper case, empty when unknown
  std::vector<TPropInfo> Props;
};

struct TTable {
  std::map<std::string, TClassEntry> Classes;  // by upper-case name
};

TTable& Table() {
  static TTable t;
  return t;
}

TClassEntry& Entry(std::string_view ClassName) {
  auto& e = Table().Classes[Upper(ClassName)];
  if (e.Name.empty()) e.Name = std::string(ClassName);
  return e;
}

int Depth(const std::string& key) {
  int d = 0;
  std::string k = key;
  auto& cls = Table().Classes;
  for (int guard = 0; guard < 256; ++guard) {
    auto it = cls.find(k);
    if (it == cls.end() || it->second.Parent.empty()) break;
    k = it->second.Parent;
    ++d;
  }
  return d;
}

// Registered classes that Instance belongs to, ancestors first.
std::vector<const TClassEntry*> Chain(const TObject* Instance) {
  std::vector<std::pair<int, const TClassEntry*>> found;
  for (auto& [key, e] : Table().Classes)
    if (Instance->InheritsFrom(e.Name)) found.emplace_back(Depth(key), &e);
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<const TClassEntry*> r;
  for (auto& f : found) r.push_back(f.second);
  return r;
}

const TPropInfo& Need(const TObject* Instance, std::string_view PropName) {
  const TPropInfo* p = FindPropInfo(Instance, PropName);
  if (p == nullptr) throw EPropertyError("Property " + std::string(PropName) + " does not exist");
  return *p;
}

std::string FloatText(double d) {
  if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) return std::to_string(std::int64_t(d));
  std::ostringstream os;
  os.imbue(std::locale::classic());
  os.precision(15);
  os << d;
  return os.str();
}

}  // namespace

void RegisterPublishedClass(std::string_view ClassName, std::string_view ParentName) {
  Entry(ClassName).Parent = Upper(ParentName);
  Entry(ParentName);
}

TPropInfo& RegisterPublishedProp(std::string_view ClassName, std::string_view PropName,
                                 TPropGetter Get, TPropSetter Set) {
  auto& e = Entry(ClassName);
  TPropInfo info{e.Name, std::string(PropName), std::move(Get), std::move(Set), {}, false};
  for (auto& p : e.Props)
    if (SameClassName(p.Name, PropName)) {
      p = std::move(info);
      return p;
    }
  e.Props.push_back(std::move(info));
  return e.Props.back();
}

const TPropInfo* FindPropInfo(const TObject* Instance, std::string_view PropName) {
  if (Instance == nullptr) return nullptr;
  auto chain = Chain(Instance);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    for (auto& p : (*it)->Props)
      if (SameClassName(p.Name, PropName)) return &p;
  return nullptr;
}

bool IsPublishedProp(const TObject* Instance, std::string_view PropName) {
  return FindPropInfo(Instance, PropName) != nullptr;
}

std::vector<std::string> GetPropNames(const TObject* Instance) {
  std::vector<std::string> r;
  if (Instance == nullptr) return r;
  for (const TClassEntry* e : Chain(Instance))
    for (auto& p : e->Props)
      if (std::none_of(r.begin(), r.end(), [&](const std::string& n) { return SameClassName(n, p.Name); }))
        r.push_back(p.Name);
  return r;
}

TPropValue GetPropValue(TObject* Instance, std::string_view PropName) {
  return Need(Instance, PropName).Get(Instance);
}

void SetPropValue(TObject* Instance, std::string_view PropName, const TPropValue& Value) {
  const TPropInfo& p = Need(Instance, PropName);
  if (!p.Set) throw EPropertyError("Property " + std::string(PropName) + " is read-only");
  p.Set(Instance, Value);
}

std::string PropValueToString(const TPropValue& v) {
  if (auto* b = std::get_if<bool>(&v)) return *b ? "True" : "False";
  if (auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
  if (auto* d = std::get_if<double>(&v)) return FloatText(*d);
  if (auto* s = std::get_if<std::string>(&v)) return *s;
  if (auto* set = std::get_if<TPropSet>(&v)) {
    std::string r = "[";
    for (size_t i = 0; i < set->Items.size(); ++i) r += (i > 0 ? "," : "") + set->Items[i];
    return r + "]";
  }
  return {};
}

std::string GetStrProp(TObject* Instance, std::string_view PropName) {
  return PropValueToString(GetPropValue(Instance, PropName));
}

std::int64_t GetOrdProp(TObject* Instance, std::string_view PropName) {
  return published_detail::AsInt(GetPropValue(Instance, PropName), PropName);
}

TObject* GetObjectProp(TObject* Instance, std::string_view PropName) {
  TPropValue v = GetPropValue(Instance, PropName);
  auto* o = std::get_if<TObject*>(&v);
  return o ? *o : nullptr;
}

namespace published_detail {

void TypeError(std::string_view PropName) {
  throw EPropertyError("Invalid value for property " + std::string(PropName));
}

void ClassError(const TObject* Instance) {
  throw EPropertyError(std::string("Published property registered for a class that ") +
                       (Instance ? Instance->ClassName() : "nil") + " is not");
}

bool AsBool(const TPropValue& v, std::string_view PropName) {
  if (auto* b = std::get_if<bool>(&v)) return *b;
  if (auto* i = std::get_if<std::int64_t>(&v)) return *i != 0;
  if (auto* s = std::get_if<std::string>(&v)) {
    if (SameClassName(*s, "True")) return true;
    if (SameClassName(*s, "False")) return false;
  }
  TypeError(PropName);
}

std::int64_t AsInt(const TPropValue& v, std::string_view PropName) {
  if (auto* i = std::get_if<std::int64_t>(&v)) return *i;
  if (auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
  if (auto* d = std::get_if<double>(&v))
    if (*d == std::floor(*d) && std::fabs(*d) < 9.2e18) return std::int64_t(*d);
  if (auto* s = std::get_if<std::string>(&v)) {
    const std::string& t = *s;
    size_t i = 0;
    bool neg = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) neg = t[i++] == '-';
    if (i < t.size() && i + 19 > t.size()) {
      std::int64_t r = 0;
      bool ok = true;
      for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') { ok = false; break; }
        r = r * 10 + (t[i] - '0');
      }
      if (ok) return neg ? -r : r;
    }
  }
  TypeError(PropName);
}

double AsFloat(const TPropValue& v, std::string_view PropName) {
  if (auto* d = std::get_if<double>(&v)) return *d;
  if (auto* i = std::get_if<std::int64_t>(&v)) return double(*i);
  if (auto* s = std::get_if<std::string>(&v)) {
    std::istringstream is(*s);
    is.imbue(std::locale::classic());
    double d = 0;
    if (is >> d && is.peek() == std::char_traits<char>::eof()) return d;
  }
  TypeError(PropName);
}

std::string AsString(const TPropValue& v, std::string_view PropName) {
  if (std::holds_alternative<TObject*>(v)) TypeError(PropName);
  return PropValueToString(v);
}

std::size_t EnumOrdinal(const TPropValue& v, const char* const* Names, std::size_t Count,
                        std::string_view PropName) {
  if (const auto* t = std::get_if<std::string>(&v)) {
    for (std::size_t i = 0; i < Count; ++i)
      if (SameClassName(*t, Names[i])) return i;
  } else if (const auto* n = std::get_if<std::int64_t>(&v)) {
    if (*n >= 0 && std::uint64_t(*n) < Count) return std::size_t(*n);
  }
  TypeError(PropName);
}

TPropValue EnumValue(std::size_t Ordinal, const char* const* Names, std::size_t Count) {
  if (Ordinal < Count) return std::string(Names[Ordinal]);
  return std::int64_t(Ordinal);
}

// The text form "[a, b]" (brackets optional, blanks around members ignored) as a set value.
TPropSet SetFromText(std::string_view Text, std::string_view PropName) {
  const auto trim = [](std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    return t;
  };
  Text = trim(Text);
  if (!Text.empty() && Text.front() == '[') {
    if (Text.size() < 2 || Text.back() != ']') TypeError(PropName);
    Text = trim(Text.substr(1, Text.size() - 2));
  }
  TPropSet set;
  if (Text.empty()) return set;
  for (;;) {
    const size_t comma = Text.find(',');
    const std::string_view item = trim(Text.substr(0, comma));
    if (item.empty()) TypeError(PropName);  // an empty member, as in "[a,]"
    set.Items.emplace_back(item);
    if (comma == std::string_view::npos) return set;
    Text = Text.substr(comma + 1);
  }
}

std::uint64_t SetBits(const TPropValue& v, const char* const* Names, std::size_t Count,
                      std::string_view PropName) {
  if (const auto* set = std::get_if<TPropSet>(&v)) {
    std::uint64_t bits = 0;
    for (const std::string& item : set->Items) bits |= std::uint64_t(1) << EnumOrdinal(item, Names, Count, PropName);
    return bits;
  }
  if (const auto* text = std::get_if<std::string>(&v)) return SetBits(SetFromText(*text, PropName), Names, Count, PropName);
  if (const auto* n = std::get_if<std::int64_t>(&v)) {
    const std::uint64_t all = Count >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << Count) - 1;
    if ((std::uint64_t(*n) & ~all) == 0) return std::uint64_t(*n);
  }
  TypeError(PropName);
}

TPropSet SetValue(std::uint64_t Bits, const char* const* Names, std::size_t Count) {
  TPropSet r;
  for (std::size_t i = 0; i < Count && i < 64; ++i)
    if ((Bits >> i) & 1) r.Items.emplace_back(Names[i]);
  return r;
}

TObject* AsObject(const TPropValue& v, std::string_view PropName) {
  if (auto* o = std::get_if<TObject*>(&v)) return *o;
  if (std::holds_alternative<std::monostate>(v)) return nullptr;
  TypeError(PropName);
}

}  // namespace published_detail
