#pragma once
// The published-property table: properties registered by class name, so that any object's
// property can be read or written by name (data-aware helpers, form streams).
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "exceptions.h"
#include "object.h"

ZEL_EXCEPTION(EPropertyError, Exception)

// A property value: nothing, Boolean, integer (ordinals, enumerations by ordinal), float,
// string (also enumeration idents), or an object (sub-objects such as string lists).
using TPropValue = std::variant<std::monostate, bool, std::int64_t, double, std::string, TObject*>;

using TPropGetter = std::function<TPropValue(TObject* Instance)>;
using TPropSetter = std::function<void(TObject* Instance, const TPropValue& Value)>;

struct TPropInfo {
  std::string ClassName;  // the class that published it
  std::string Name;
  TPropGetter Get;
  TPropSetter Set;        // empty: read-only
};

// Declares the parent of a class in the table, so that a descendant's registration of a
// property hides its ancestor's one. Classes without a declared parent still inherit by
// InheritsFrom; only the hiding order needs it.
void RegisterPublishedClass(std::string_view ClassName, std::string_view ParentName);
// Adds (or replaces) a property of a class.
void RegisterPublishedProp(std::string_view ClassName, std::string_view PropName, TPropGetter Get,
                           TPropSetter Set = nullptr);

// Typed registration: Getter is a member function returning bool, an integer or enumeration, a
// floating type, std::string or a pointer to a TObject descendant; Setter (optional) takes the
// same type (by value or const reference).
template <class T, class R>
void PublishProperty(std::string_view ClassName, std::string_view PropName, R (T::*Getter)() const);
template <class T, class R, class A>
void PublishProperty(std::string_view ClassName, std::string_view PropName, R (T::*Getter)() const,
                     void (T::*Setter)(A));

// A set property (a TSmallSet): its value is the members' names in brackets, "[a,b]"; a set
// value of a form stream reads the same way. Writing takes that text (blanks and brackets
// optional) or the set's bits as an integer; an unknown name raises EPropertyError.
std::string SetToText(std::uint64_t Bits, const std::vector<std::string_view>& Names);
std::uint64_t SetFromValue(const TPropValue& Value, const std::vector<std::string_view>& Names,
                           std::string_view PropName);
template <class T, class S>
void PublishSet(std::string_view ClassName, std::string_view PropName, std::vector<std::string_view> Names,
                S (T::*Getter)() const, void (T::*Setter)(S));

// Lookup along Instance's class chain; the most derived registration wins.
const TPropInfo* FindPropInfo(const TObject* Instance, std::string_view PropName);
bool IsPublishedProp(const TObject* Instance, std::string_view PropName);
// Names of all published properties of Instance (ancestors' first, no duplicates).
std::vector<std::string> GetPropNames(const TObject* Instance);

// EPropertyError "Property X does not exist" / "Property X is read-only".
TPropValue GetPropValue(TObject* Instance, std::string_view PropName);
void SetPropValue(TObject* Instance, std::string_view PropName, const TPropValue& Value);
// Conversions of the above: GetStrProp renders numbers and Booleans as text;
// GetObjectProp gives nullptr for a property that holds no object.
std::string GetStrProp(TObject* Instance, std::string_view PropName);
std::int64_t GetOrdProp(TObject* Instance, std::string_view PropName);
TObject* GetObjectProp(TObject* Instance, std::string_view PropName);

std::string PropValueToString(const TPropValue& Value);

// ---- template details

namespace published_detail {

template <class V>
TPropValue ToValue(const V& v) {
  using D = std::decay_t<V>;
  if constexpr (std::is_same_v<D, bool>) return TPropValue(v);
  else if constexpr (std::is_enum_v<D>) return TPropValue(std::int64_t(v));
  else if constexpr (std::is_integral_v<D>) return TPropValue(std::int64_t(v));
  else if constexpr (std::is_floating_point_v<D>) return TPropValue(double(v));
  else if constexpr (std::is_convertible_v<D, std::string>) return TPropValue(std::string(v));
  else if constexpr (std::is_pointer_v<D>) return TPropValue(static_cast<TObject*>(v));
  else static_assert(sizeof(D) == 0, "unsupported published property type");
}

[[noreturn]] void TypeError(std::string_view PropName);
[[noreturn]] void ClassError(const TObject* Instance);

// The table is keyed by class name; a class registered under a name it does not carry in C++
// is a registration fault, reported instead of casting blindly.
template <class T>
T* Cast(TObject* o) {
  auto* p = dynamic_cast<T*>(o);
  if (p == nullptr) ClassError(o);
  return p;
}
bool AsBool(const TPropValue& v, std::string_view PropName);
std::int64_t AsInt(const TPropValue& v, std::string_view PropName);
double AsFloat(const TPropValue& v, std::string_view PropName);
std::string AsString(const TPropValue& v, std::string_view PropName);
TObject* AsObject(const TPropValue& v, std::string_view PropName);

template <class D>
D FromValue(const TPropValue& v, std::string_view PropName) {
  if constexpr (std::is_same_v<D, bool>) return AsBool(v, PropName);
  else if constexpr (std::is_enum_v<D>) return static_cast<D>(AsInt(v, PropName));
  else if constexpr (std::is_integral_v<D>) return static_cast<D>(AsInt(v, PropName));
  else if constexpr (std::is_floating_point_v<D>) return static_cast<D>(AsFloat(v, PropName));
  else if constexpr (std::is_same_v<D, std::string>) return AsString(v, PropName);
  else if constexpr (std::is_pointer_v<D>) {
    TObject* o = AsObject(v, PropName);
    if (o == nullptr) return nullptr;
    auto* p = dynamic_cast<D>(o);
    if (p == nullptr) TypeError(PropName);
    return p;
  } else static_assert(sizeof(D) == 0, "unsupported published property type");
}

}  // namespace published_detail

template <class T, class S>
void PublishSet(std::string_view ClassName, std::string_view PropName, std::vector<std::string_view> Names,
                S (T::*Getter)() const, void (T::*Setter)(S)) {
  RegisterPublishedProp(
      ClassName, PropName,
      [Names, Getter](TObject* o) {
        return TPropValue(SetToText((published_detail::Cast<T>(o)->*Getter)().Bits(), Names));
      },
      [Names, Setter, name = std::string(PropName)](TObject* o, const TPropValue& v) {
        (published_detail::Cast<T>(o)->*Setter)(S::FromBits(SetFromValue(v, Names, name)));
      });
}

template <class T, class R>
void PublishProperty(std::string_view ClassName, std::string_view PropName, R (T::*Getter)() const) {
  RegisterPublishedProp(ClassName, PropName, [Getter](TObject* o) {
    return published_detail::ToValue((published_detail::Cast<T>(o)->*Getter)());
  });
}

template <class T, class R, class A>
void PublishProperty(std::string_view ClassName, std::string_view PropName, R (T::*Getter)() const,
                     void (T::*Setter)(A)) {
  std::string name(PropName);
  RegisterPublishedProp(
      ClassName, PropName,
      [Getter](TObject* o) { return published_detail::ToValue((published_detail::Cast<T>(o)->*Getter)()); },
      [Setter, name](TObject* o, const TPropValue& v) {
        (published_detail::Cast<T>(o)->*Setter)(published_detail::FromValue<std::decay_t<A>>(v, name));
      });
}
