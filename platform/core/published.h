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

#include "component.h"
#include "exceptions.h"
#include "object.h"

ZEL_EXCEPTION(EPropertyError, Exception)

// The value of a set property: the identifiers of its members in ordinal order.
struct TPropSet {
  std::vector<std::string> Items;
  bool operator==(const TPropSet&) const = default;
};

// A property value: nothing, Boolean, integer (ordinals, enumerations by ordinal), float,
// string (also enumeration idents), an object (sub-objects such as string lists, and
// references to components), or a set.
using TPropValue =
    std::variant<std::monostate, bool, std::int64_t, double, std::string, TObject*, TPropSet>;

using TPropGetter = std::function<TPropValue(TObject* Instance)>;
using TPropSetter = std::function<void(TObject* Instance, const TPropValue& Value)>;

struct TPropInfo {
  std::string ClassName;  // the class that published it
  std::string Name;
  TPropGetter Get;
  TPropSetter Set;        // empty: read-only
  // A value equal to this one is not written to a form stream (the class sets it at
  // construction); monostate: every value is written.
  TPropValue Default;
  // An enumeration: its text value is an identifier, written to a form stream as one.
  bool Ident = false;
};

// Declares the parent of a class in the table, so that a descendant's registration of a
// property hides its ancestor's one. Classes without a declared parent still inherit by
// InheritsFrom; only the hiding order needs it.
void RegisterPublishedClass(std::string_view ClassName, std::string_view ParentName);
// Adds (or replaces) a property of a class. The entry returned stays valid until the class's
// next registration (for setting Default or Ident right away).
TPropInfo& RegisterPublishedProp(std::string_view ClassName, std::string_view PropName,
                                 TPropGetter Get, TPropSetter Set = nullptr);

// Typed registration: Getter is a member function returning bool, an integer or enumeration, a
// floating type, std::string or a pointer to a TObject descendant; Setter (optional) takes the
// same type (by value or const reference).
template <class T, class R>
TPropInfo& PublishProperty(std::string_view ClassName, std::string_view PropName,
                           R (T::*Getter)() const);
template <class T, class R, class A>
TPropInfo& PublishProperty(std::string_view ClassName, std::string_view PropName,
                           R (T::*Getter)() const, void (T::*Setter)(A));
// An enumeration whose ordinals name Names: the value is its identifier (an ordinal is
// accepted too); another text raises EPropertyError.
template <class T, class E, std::size_t N>
TPropInfo& PublishEnumProperty(std::string_view ClassName, std::string_view PropName,
                               const char* const (&Names)[N], E (T::*Getter)() const,
                               void (T::*Setter)(E));
// A set of such an enumeration: the value is a TPropSet of identifiers (an integer of member
// bits, or the text "[a,b]", is accepted too); an unknown identifier raises EPropertyError.
template <class T, class E, std::size_t N>
TPropInfo& PublishSetProperty(std::string_view ClassName, std::string_view PropName,
                              const char* const (&Names)[N], TSmallSet<E> (T::*Getter)() const,
                              void (T::*Setter)(TSmallSet<E>));

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

// Text of a value; a set as "[a,b]".
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
// Ordinal of the identifier (or ordinal) v among Names; raises EPropertyError otherwise.
std::size_t EnumOrdinal(const TPropValue& v, const char* const* Names, std::size_t Count,
                        std::string_view PropName);
TPropValue EnumValue(std::size_t Ordinal, const char* const* Names, std::size_t Count);
// Member bits of the set value v (identifiers among Names, the text "[a,b]", or an integer of bits).
std::uint64_t SetBits(const TPropValue& v, const char* const* Names, std::size_t Count,
                      std::string_view PropName);
TPropSet SetValue(std::uint64_t Bits, const char* const* Names, std::size_t Count);

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

template <class T, class R>
TPropInfo& PublishProperty(std::string_view ClassName, std::string_view PropName,
                           R (T::*Getter)() const) {
  return RegisterPublishedProp(ClassName, PropName, [Getter](TObject* o) {
    return published_detail::ToValue((published_detail::Cast<T>(o)->*Getter)());
  });
}

template <class T, class R, class A>
TPropInfo& PublishProperty(std::string_view ClassName, std::string_view PropName,
                           R (T::*Getter)() const, void (T::*Setter)(A)) {
  std::string name(PropName);
  return RegisterPublishedProp(
      ClassName, PropName,
      [Getter](TObject* o) { return published_detail::ToValue((published_detail::Cast<T>(o)->*Getter)()); },
      [Setter, name](TObject* o, const TPropValue& v) {
        (published_detail::Cast<T>(o)->*Setter)(published_detail::FromValue<std::decay_t<A>>(v, name));
      });
}

template <class T, class E, std::size_t N>
TPropInfo& PublishEnumProperty(std::string_view ClassName, std::string_view PropName,
                               const char* const (&Names)[N], E (T::*Getter)() const,
                               void (T::*Setter)(E)) {
  const char* const* names = Names;
  std::string name(PropName);
  TPropInfo& info = RegisterPublishedProp(
      ClassName, PropName,
      [names, Getter](TObject* o) {
        return published_detail::EnumValue(std::size_t((published_detail::Cast<T>(o)->*Getter)()), names, N);
      },
      [names, Setter, name](TObject* o, const TPropValue& v) {
        const std::size_t ordinal = published_detail::EnumOrdinal(v, names, N, name);
        (published_detail::Cast<T>(o)->*Setter)(static_cast<E>(ordinal));
      });
  info.Ident = true;
  return info;
}

template <class T, class E, std::size_t N>
TPropInfo& PublishSetProperty(std::string_view ClassName, std::string_view PropName,
                              const char* const (&Names)[N], TSmallSet<E> (T::*Getter)() const,
                              void (T::*Setter)(TSmallSet<E>)) {
  static_assert(N <= 64, "a set holds at most 64 members");
  const char* const* names = Names;
  std::string name(PropName);
  return RegisterPublishedProp(
      ClassName, PropName,
      [names, Getter](TObject* o) -> TPropValue {
        return published_detail::SetValue((published_detail::Cast<T>(o)->*Getter)().Bits(), names, N);
      },
      [names, Setter, name](TObject* o, const TPropValue& v) {
        (published_detail::Cast<T>(o)->*Setter)(TSmallSet<E>::FromBits(published_detail::SetBits(v, names, N, name)));
      });
}
