#include "component.h"

#include <algorithm>

#include "filer.h"
#include "published.h"

namespace {

// Name and Tag are published by every component.
[[maybe_unused]] const bool ComponentPropsRegistered = [] {
  RegisterPublishedClass("TComponent", "TPersistent");
  PublishProperty("TComponent", "Name", &TComponent::Name, &TComponent::SetName);
  PublishProperty("TComponent", "Tag", &TComponent::Tag, &TComponent::SetTag).Default = std::int64_t(0);
  return true;
}();

}  // namespace

// ---- TPersistent

void TPersistent::Assign(TPersistent* Source) {
  if (Source == nullptr) throw EConvertError(std::string("Cannot assign a nil to a ") + ClassName());
  Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) {
  if (Dest == nullptr)
    throw EConvertError(std::string("Cannot assign a ") + ClassName() + " to a nil");
  throw EConvertError(std::string("Cannot assign a ") + ClassName() + " to a " + Dest->ClassName());
}

void TPersistent::DefineProperties(TFiler*) {}

// ---- TComponent

bool IsValidIdent(std::string_view Name) {
  if (Name.empty()) return false;
  auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  if (!alpha(Name[0])) return false;
  return std::all_of(Name.begin() + 1, Name.end(),
                     [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  RemoveFreeNotifications();
  DestroyComponents();
  if (FOwner != nullptr) FOwner->RemoveComponent(this);
}

void TComponent::Destroying() {
  if (FComponentState.Contains(csDestroying)) return;
  FComponentState.Include(csDestroying);
  for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::RemoveFreeNotifications() {
  // References first: they must never see a half-destroyed component.
  while (!FRefs.empty()) {
    TComponentRefBase* r = FRefs.back();
    FRefs.pop_back();
    r->FTarget = nullptr;
  }
  while (!FFreeNotifies.empty()) {
    TComponent* c = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    c->RemoveFreeNotify(this);
    c->Notification(this, opRemove);
  }
}

void TComponent::DestroyComponents() {
  // Last inserted first: a later component may depend on an earlier one, never the reverse.
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    RemoveComponent(c);
    delete c;
  }
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= int(FComponents.size()))
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FComponents[size_t(Index)];
}

int TComponent::ComponentIndex() const {
  if (FOwner == nullptr) return -1;
  auto& v = FOwner->FComponents;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : int(it - v.begin());
}

void TComponent::Insert(TComponent* AComponent) {
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
}

void TComponent::Remove(TComponent* AComponent) {
  auto it = std::find(FComponents.begin(), FComponents.end(), AComponent);
  if (it != FComponents.end()) FComponents.erase(it);
  AComponent->FOwner = nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->FOwner == this) return;
  if (!AComponent->FName.empty() && FindComponent(AComponent->FName) != nullptr)
    throw EComponentError("A component named " + AComponent->FName + " already exists");
  if (AComponent->FOwner != nullptr) AComponent->FOwner->RemoveComponent(AComponent);
  Insert(AComponent);
  if (FComponentState.Contains(csDesigning)) AComponent->SetDesigning(true);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->FOwner != this) return;
  Remove(AComponent);
  Notification(AComponent, opRemove);
}

TComponent* TComponent::FindComponent(std::string_view AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameClassName(c->FName, AName)) return c;
  return nullptr;
}

void TComponent::SetName(const std::string& NewName) {
  if (NewName == FName) return;
  if (!NewName.empty() && !IsValidIdent(NewName))
    throw EComponentError("'" + NewName + "' is not a valid component name");
  if (!NewName.empty() && FOwner != nullptr) {
    TComponent* other = FOwner->FindComponent(NewName);
    if (other != nullptr && other != this)
      throw EComponentError("A component named " + NewName + " already exists");
  }
  FName = NewName;
}

void TComponent::AddFreeNotify(TComponent* AComponent) {
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
}

void TComponent::RemoveFreeNotify(TComponent* AComponent) {
  auto it = std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent);
  if (it != FFreeNotifies.end()) FFreeNotifies.erase(it);
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  AddFreeNotify(AComponent);
  AComponent->AddFreeNotify(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  RemoveFreeNotify(AComponent);
  AComponent->RemoveFreeNotify(this);
}

void TComponent::SetDesigning(bool Value, bool SetChildren) {
  if (Value) FComponentState.Include(csDesigning);
  else FComponentState.Exclude(csDesigning);
  if (SetChildren)
    for (TComponent* c : FComponents) c->SetDesigning(Value, true);
}

void TComponent::Loaded() { FComponentState.Exclude(csLoading); }

void TComponent::ReadState(TReader* Reader) {
  FComponentState.Include(csReading);
  try {
    Reader->ReadProperties(this);
  } catch (...) {
    FComponentState.Exclude(csReading);
    throw;
  }
  FComponentState.Exclude(csReading);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent != nullptr) RemoveFreeNotification(AComponent);
  // Copy: a handler may free or remove components while we walk.
  std::vector<TComponent*> owned = FComponents;
  for (TComponent* c : owned)
    if (c != AComponent &&
        std::find(FComponents.begin(), FComponents.end(), c) != FComponents.end())
      c->Notification(AComponent, Operation);
}

// ---- TComponentRefBase

void TComponentRefBase::Attach(TComponent* C) {
  if (C == FTarget) return;
  if (FTarget != nullptr) {
    auto& v = FTarget->FRefs;
    auto it = std::find(v.begin(), v.end(), this);
    if (it != v.end()) v.erase(it);
  }
  FTarget = C;
  if (C != nullptr) {
    // A component already being destroyed cannot be referenced any more.
    if (C->FComponentState.Contains(csDestroying)) FTarget = nullptr;
    else C->FRefs.push_back(this);
  }
}
