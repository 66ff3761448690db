#pragma once
// Persistent objects and components: ownership, names, free notification and component state.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "exceptions.h"
#include "object.h"

class TFiler;
class TReader;
class TComponent;

// A set of up to 64 enumeration values (ordinals 0..63), the counterpart of a small set type.
template <class E>
class TSmallSet {
public:
  constexpr TSmallSet() = default;
  constexpr TSmallSet(std::initializer_list<E> items) {
    for (E e : items) FBits |= Bit(e);
  }
  constexpr bool Contains(E e) const { return (FBits & Bit(e)) != 0; }
  constexpr TSmallSet& Include(E e) { FBits |= Bit(e); return *this; }
  constexpr TSmallSet& Exclude(E e) { FBits &= ~Bit(e); return *this; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr std::uint64_t Bits() const { return FBits; }
  static constexpr TSmallSet FromBits(std::uint64_t Bits) {
    TSmallSet s;
    s.FBits = Bits;
    return s;
  }
  constexpr TSmallSet operator+(TSmallSet o) const { TSmallSet r; r.FBits = FBits | o.FBits; return r; }
  constexpr TSmallSet operator-(TSmallSet o) const { TSmallSet r; r.FBits = FBits & ~o.FBits; return r; }
  constexpr TSmallSet operator*(TSmallSet o) const { TSmallSet r; r.FBits = FBits & o.FBits; return r; }
  constexpr TSmallSet operator+(E e) const { return *this + TSmallSet{e}; }
  constexpr TSmallSet operator-(E e) const { return *this - TSmallSet{e}; }
  constexpr bool operator==(const TSmallSet&) const = default;

private:
  static constexpr std::uint64_t Bit(E e) { return std::uint64_t(1) << static_cast<unsigned>(e); }
  std::uint64_t FBits = 0;
};

// Base of every object that can be copied with Assign and streamed.
class TPersistent : public TObject {
public:
  // Copies Source into this object; a class that does not know Source asks Source's AssignTo.
  virtual void Assign(TPersistent* Source);
  // Hook for properties stored in a form stream beyond the published ones (TFiler::DefineProperty).
  virtual void DefineProperties(TFiler* Filer);
  ZEL_CLASS(TPersistent, TObject)

protected:
  // Copies this object into Dest; the default raises EConvertError "Cannot assign a X to a Y".
  virtual void AssignTo(TPersistent* Dest);
};

enum TOperation { opInsert, opRemove };

enum TComponentStateFlag { csLoading, csReading, csWriting, csDestroying, csDesigning, csUpdating };
using TComponentState = TSmallSet<TComponentStateFlag>;

class TComponentRefBase;

// A component is owned by its owner and freed with it. Components that refer to one another
// without owning register for free notification and are told (Notification, opRemove) when the
// other goes away.
class TComponent : public TPersistent {
public:
  explicit TComponent(TComponent* AOwner);
  // Marks csDestroying, tells everyone registered for free notification (opRemove), frees the
  // owned components (last inserted first) and leaves the owner.
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  // Raises EComponentError for a name that is not an identifier or that a sibling already has.
  virtual void SetName(const std::string& NewName);
  std::intptr_t Tag() const { return FTag; }
  void SetTag(std::intptr_t Value) { FTag = Value; }

  int ComponentCount() const { return int(FComponents.size()); }
  TComponent* Components(int Index) const;  // EListError when out of range
  int ComponentIndex() const;               // position in the owner's list, -1 without owner
  // Takes AComponent over from its current owner (if any) and tells the owned components.
  void InsertComponent(TComponent* AComponent);
  // Releases AComponent (not freed) and tells the remaining owned components (opRemove).
  void RemoveComponent(TComponent* AComponent);
  // Owned component by name, ASCII case-insensitive; nullptr when none.
  TComponent* FindComponent(std::string_view AName) const;

  // AComponent will get Notification(this, opRemove) when this component is freed (and the other
  // way round: the link is dropped on both sides when either goes).
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  TComponentState ComponentState() const { return FComponentState; }
  // For the streaming code and for tests that simulate reading or design mode.
  void SetComponentState(TComponentState Value) { FComponentState = Value; }
  // Sets or clears csDesigning here and in every owned component.
  void SetDesigning(bool Value, bool SetChildren = true);

  // Called once all properties of a loaded component are read; clears csLoading.
  virtual void Loaded();
  // Reads this component's properties from a form stream; the default reads published and
  // defined properties until the list end (TReader::ReadProperties).
  virtual void ReadState(TReader* Reader);

  virtual void Notification(TComponent* AComponent, TOperation Operation);

  ZEL_CLASS(TComponent, TPersistent)

protected:
  // The steps of the destructor, for derived destructors that must run the inherited part
  // first. Each may be called early; the destructor does not repeat what was done.
  void Destroying();
  void RemoveFreeNotifications();
  void DestroyComponents();

private:
  friend class TComponentRefBase;
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  void AddFreeNotify(TComponent* AComponent);
  void RemoveFreeNotify(TComponent* AComponent);

  TComponent* FOwner = nullptr;
  std::string FName;
  std::intptr_t FTag = 0;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  std::vector<TComponentRefBase*> FRefs;
  TComponentState FComponentState;
};

// Non-owning reference that clears itself when the referenced component is freed.
class TComponentRefBase {
public:
  TComponentRefBase() = default;
  explicit TComponentRefBase(TComponent* C) { Attach(C); }
  TComponentRefBase(const TComponentRefBase& o) { Attach(o.FTarget); }
  TComponentRefBase& operator=(const TComponentRefBase& o) {
    if (this != &o) Attach(o.FTarget);
    return *this;
  }
  ~TComponentRefBase() { Attach(nullptr); }

protected:
  void Attach(TComponent* C);
  TComponent* FTarget = nullptr;

private:
  friend class TComponent;
};

template <class T>
class TComponentRef : public TComponentRefBase {
public:
  TComponentRef() = default;
  TComponentRef(T* C) : TComponentRefBase(C) {}  // NOLINT: implicit like a pointer
  TComponentRef& operator=(T* C) { Attach(C); return *this; }
  T* Get() const { return static_cast<T*>(FTarget); }
  T* operator->() const { return Get(); }
  T& operator*() const { return *Get(); }
  operator T*() const { return Get(); }  // NOLINT
  explicit operator bool() const { return FTarget != nullptr; }
};

// True when Name is a valid component name: a letter or '_' followed by letters, digits, '_'.
bool IsValidIdent(std::string_view Name);
