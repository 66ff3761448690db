#include "classes.h"

#include <algorithm>

#include "filer.h"

namespace {

std::string IndexMessage(int Index) { return "List index out of bounds (" + std::to_string(Index) + ")"; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

int CompareAsciiNoCase(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = (unsigned char)Upper(a[i]), y = (unsigned char)Upper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Runs Body inside BeginUpdate/EndUpdate; a throwing Body still ends the update.
template <class T, class F>
void Updating(T& Target, F&& Body) {
  Target.BeginUpdate();
  try {
    Body();
  } catch (...) {
    Target.EndUpdate();
    throw;
  }
  Target.EndUpdate();
}

}  // namespace

// ---- TList

void TList::Check(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(IndexMessage(Index));
}

void* TList::Items(int Index) const {
  Check(Index);
  return FItems[size_t(Index)];
}

void TList::SetItems(int Index, void* Item) {
  Check(Index);
  FItems[size_t(Index)] = Item;
}

int TList::Add(void* Item) {
  FItems.push_back(Item);
  return Count() - 1;
}

void TList::Insert(int Index, void* Item) {
  if (Index < 0 || Index > Count()) throw EListError(IndexMessage(Index));
  FItems.insert(FItems.begin() + Index, Item);
}

void TList::Delete(int Index) {
  Check(Index);
  FItems.erase(FItems.begin() + Index);
}

int TList::Remove(void* Item) {
  int i = IndexOf(Item);
  if (i >= 0) Delete(i);
  return i;
}

int TList::IndexOf(void* Item) const {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  return it == FItems.end() ? -1 : int(it - FItems.begin());
}

void TList::Exchange(int Index1, int Index2) {
  Check(Index1);
  Check(Index2);
  std::swap(FItems[size_t(Index1)], FItems[size_t(Index2)]);
}

void TList::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  Check(CurIndex);
  Check(NewIndex);
  void* p = FItems[size_t(CurIndex)];
  FItems.erase(FItems.begin() + CurIndex);
  FItems.insert(FItems.begin() + NewIndex, p);
}

// ---- TStrings

void TStrings::Error(int Index) const { throw EStringListError(IndexMessage(Index)); }

bool TStrings::SameText(std::string_view a, std::string_view b) const {
  return FCaseSensitive ? a == b : CompareAsciiNoCase(a, b) == 0;
}

void TStrings::Put(int Index, const std::string& S) {
  TObject* o = GetObject(Index);
  Updating(*this, [&] {
    Delete(Index);
    InsertObject(Index, S, o);
  });
}

TObject* TStrings::GetObject(int) const { return nullptr; }
void TStrings::PutObject(int, TObject*) {}

int TStrings::Add(const std::string& S) {
  int i = Count();
  Insert(i, S);
  return i;
}

int TStrings::AddObject(const std::string& S, TObject* AObject) {
  int i = Add(S);
  PutObject(i, AObject);
  return i;
}

void TStrings::InsertObject(int Index, const std::string& S, TObject* AObject) {
  Insert(Index, S);
  PutObject(Index, AObject);
}

void TStrings::AddStrings(const TStrings& Strings) {
  Updating(*this, [&] {
    for (int i = 0; i < Strings.Count(); ++i) AddObject(Strings.Get(i), Strings.GetObject(i));
  });
}

int TStrings::IndexOf(std::string_view S) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(Get(i), S)) return i;
  return -1;
}

int TStrings::IndexOfObject(const TObject* AObject) const {
  for (int i = 0; i < Count(); ++i)
    if (GetObject(i) == AObject) return i;
  return -1;
}

void TStrings::Exchange(int Index1, int Index2) {
  Updating(*this, [&] {
    std::string s1 = Get(Index1), s2 = Get(Index2);
    TObject *o1 = GetObject(Index1), *o2 = GetObject(Index2);
    Put(Index1, s2);
    PutObject(Index1, o2);
    Put(Index2, s1);
    PutObject(Index2, o1);
  });
}

void TStrings::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  Updating(*this, [&] {
    std::string s = Get(CurIndex);
    TObject* o = GetObject(CurIndex);
    if (NewIndex < 0 || NewIndex >= Count()) Error(NewIndex);
    Delete(CurIndex);
    InsertObject(NewIndex, s, o);
  });
}

bool TStrings::Equals(const TStrings& Other) const {
  if (Count() != Other.Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (Get(i) != Other.Get(i)) return false;
  return true;
}

std::string TStrings::Text() const {
  std::string r;
  for (int i = 0; i < Count(); ++i) {
    r += Get(i);
    r += "\r\n";
  }
  return r;
}

void TStrings::SetText(std::string_view Value) {
  Updating(*this, [&] {
    Clear();
    size_t start = 0;
    while (start < Value.size()) {
      size_t nl = Value.find('\n', start);
      if (nl == std::string_view::npos) {
        Add(std::string(Value.substr(start)));
        break;
      }
      size_t end = (nl > start && Value[nl - 1] == '\r') ? nl - 1 : nl;
      Add(std::string(Value.substr(start, end - start)));
      start = nl + 1;
    }
  });
}

std::string TStrings::CommaText() const {
  std::string r;
  for (int i = 0; i < Count(); ++i) {
    if (i > 0) r += ',';
    std::string s = Get(i);
    bool quote = s.empty() || std::any_of(s.begin(), s.end(), [](char c) {
                   return (unsigned char)c <= ' ' || c == ',' || c == '"';
                 });
    if (!quote) {
      r += s;
      continue;
    }
    r += '"';
    for (char c : s) {
      if (c == '"') r += '"';
      r += c;
    }
    r += '"';
  }
  return r;
}

void TStrings::SetCommaText(std::string_view Value) {
  auto blank = [](char c) { return (unsigned char)c <= ' ' && c != '\0'; };
  Updating(*this, [&] {
    Clear();
    size_t i = 0, n = Value.size();
    while (i < n && blank(Value[i])) ++i;
    while (i < n) {
      std::string item;
      if (Value[i] == '"') {
        ++i;
        while (i < n) {
          if (Value[i] == '"') {
            if (i + 1 < n && Value[i + 1] == '"') {
              item += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          item += Value[i++];
        }
      } else {
        while (i < n && !blank(Value[i]) && Value[i] != ',') item += Value[i++];
      }
      Add(item);
      while (i < n && blank(Value[i])) ++i;
      if (i < n && Value[i] == ',') {
        ++i;
        while (i < n && blank(Value[i])) ++i;
        if (i >= n) Add("");  // a trailing comma stands for one more empty item
      }
    }
  });
}

std::string TStrings::Names(int Index) const {
  std::string s = Get(Index);
  size_t p = s.find('=');
  return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStrings::ValueFromIndex(int Index) const {
  std::string s = Get(Index);
  size_t p = s.find('=');
  return p == std::string::npos ? std::string() : s.substr(p + 1);
}

int TStrings::IndexOfName(std::string_view Name) const {
  for (int i = 0; i < Count(); ++i) {
    std::string s = Get(i);
    size_t p = s.find('=');
    if (p != std::string::npos && CompareAsciiNoCase(std::string_view(s).substr(0, p), Name) == 0)
      return i;
  }
  return -1;
}

std::string TStrings::Values(std::string_view Name) const {
  int i = IndexOfName(Name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValues(std::string_view Name, const std::string& Value) {
  int i = IndexOfName(Name);
  if (Value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::string line = std::string(Name) + "=" + Value;
  if (i < 0) Add(line);
  else Put(i, line);
}

void TStrings::BeginUpdate() {
  if (FUpdateCount++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (FUpdateCount == 0) return;
  if (--FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::Assign(TPersistent* Source) {
  auto* src = dynamic_cast<TStrings*>(Source);
  if (src == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  Updating(*this, [&] {
    Clear();
    AddStrings(*src);
  });
}

void TStrings::DefineProperties(TFiler* Filer) {
  Filer->DefineProperty(
      "Strings",
      [this](TReader* Reader) {
        Reader->ReadListBegin();
        Updating(*this, [&] {
          Clear();
          while (!Reader->EndOfList()) Add(Reader->ReadString());
        });
        Reader->ReadListEnd();
      },
      [this](TWriter* Writer) {
        Writer->WriteListBegin();
        for (int i = 0; i < Count(); ++i) Writer->WriteString(Get(i));
        Writer->WriteListEnd();
      },
      Count() > 0);
}

// ---- TStringList

TStringList::TStringList(std::initializer_list<std::string> Items) {
  for (const auto& s : Items) Add(s);
}

int TStringList::Compare(std::string_view a, std::string_view b) const {
  if (CaseSensitive()) return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
  return CompareAsciiNoCase(a, b);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating) {
    if (OnChanging) OnChanging(this);
  } else {
    if (OnChange) OnChange(this);
  }
}

std::string TStringList::Get(int Index) const {
  if (Index < 0 || Index >= Count()) Error(Index);
  return FList[size_t(Index)].first;
}

void TStringList::Put(int Index, const std::string& S) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  if (Index < 0 || Index >= Count()) Error(Index);
  Changing();
  FList[size_t(Index)].first = S;
  Changed();
}

TObject* TStringList::GetObject(int Index) const {
  if (Index < 0 || Index >= Count()) Error(Index);
  return FList[size_t(Index)].second;
}

void TStringList::PutObject(int Index, TObject* AObject) {
  if (Index < 0 || Index >= Count()) Error(Index);
  Changing();
  FList[size_t(Index)].second = AObject;
  Changed();
}

void TStringList::InsertItem(int Index, const std::string& S, TObject* AObject) {
  Changing();
  FList.insert(FList.begin() + Index, {S, AObject});
  Changed();
}

int TStringList::Add(const std::string& S) {
  if (!FSorted) {
    InsertItem(Count(), S, nullptr);
    return Count() - 1;
  }
  int i = 0;
  if (Find(S, i)) {
    if (FDuplicates == dupIgnore) return i;
    if (FDuplicates == dupError) throw EStringListError("String list does not allow duplicates");
  }
  InsertItem(i, S, nullptr);
  return i;
}

void TStringList::Insert(int Index, const std::string& S) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  if (Index < 0 || Index > Count()) Error(Index);
  InsertItem(Index, S, nullptr);
}

void TStringList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) Error(Index);
  Changing();
  FList.erase(FList.begin() + Index);
  Changed();
}

void TStringList::Clear() {
  if (FList.empty()) return;
  Changing();
  FList.clear();
  Changed();
}

int TStringList::IndexOf(std::string_view S) const {
  if (!FSorted) return TStrings::IndexOf(S);
  int i = 0;
  return Find(S, i) ? i : -1;
}

void TStringList::Exchange(int Index1, int Index2) {
  if (Index1 < 0 || Index1 >= Count()) Error(Index1);
  if (Index2 < 0 || Index2 >= Count()) Error(Index2);
  Changing();
  std::swap(FList[size_t(Index1)], FList[size_t(Index2)]);
  Changed();
}

void TStringList::SetCaseSensitive(bool Value) {
  if (Value == CaseSensitive()) return;
  TStrings::SetCaseSensitive(Value);
  if (FSorted) Sort();
}

void TStringList::SetSorted(bool Value) {
  if (Value == FSorted) return;
  if (Value) Sort();
  FSorted = Value;
}

void TStringList::Sort() {
  Changing();
  std::stable_sort(FList.begin(), FList.end(),
                   [this](const auto& a, const auto& b) { return Compare(a.first, b.first) < 0; });
  Changed();
}

bool TStringList::Find(std::string_view S, int& Index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = Compare(FList[size_t(mid)].first, S);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (FDuplicates != dupAccept) lo = mid;
      }
    }
  }
  Index = lo;
  return found;
}

// ---- TCollectionItem / TCollection

TCollectionItem::TCollectionItem(TCollection* Collection) { SetCollection(Collection); }

TCollectionItem::~TCollectionItem() { SetCollection(nullptr); }

void TCollectionItem::SetCollection(TCollection* Value) {
  if (Value == FCollection) return;
  if (FCollection != nullptr) FCollection->RemoveItem(this);
  if (Value != nullptr) Value->InsertItem(this);
}

int TCollectionItem::Index() const {
  if (FCollection == nullptr) return -1;
  auto& v = FCollection->FItems;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : int(it - v.begin());
}

void TCollectionItem::SetIndex(int Value) {
  int cur = Index();
  if (cur < 0 || Value == cur) return;
  auto& v = FCollection->FItems;
  if (Value < 0 || Value >= int(v.size())) throw EListError(IndexMessage(Value));
  v.erase(v.begin() + cur);
  v.insert(v.begin() + Value, this);
  Changed(true);
}

void TCollectionItem::Changed(bool AllItems) {
  if (FCollection != nullptr && FCollection->FUpdateCount == 0)
    FCollection->Update(AllItems ? nullptr : this);
}

TCollection::TCollection(TItemFactory ItemFactory, TPersistent* AOwner)
    : FItemFactory(std::move(ItemFactory)), FOwner(AOwner) {}

TCollection::~TCollection() {
  FUpdateCount = 1;  // no Update calls into a half-destroyed descendant
  while (!FItems.empty()) delete FItems.back();
}

TCollectionItem* TCollection::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(IndexMessage(Index));
  return FItems[size_t(Index)];
}

TCollectionItem* TCollection::Add() {
  if (!FItemFactory) throw EInvalidOperation(std::string(ClassName()) + " has no item class");
  TCollectionItem* item = FItemFactory(this);
  if (item->FCollection != this) item->SetCollection(this);
  return item;
}

TCollectionItem* TCollection::Insert(int Index) {
  if (Index < 0 || Index > Count()) throw EListError(IndexMessage(Index));
  TCollectionItem* item = Add();
  item->SetIndex(Index);
  return item;
}

void TCollection::Delete(int Index) {
  TCollectionItem* item = Items(Index);
  Notify(item, cnDeleting);
  delete item;
}

void TCollection::Clear() {
  if (FItems.empty()) return;
  Updating(*this, [&] {
    while (!FItems.empty()) {
      TCollectionItem* item = FItems.back();
      Notify(item, cnDeleting);
      delete item;
    }
  });
}

TCollectionItem* TCollection::FindItemID(int ID) const {
  for (TCollectionItem* i : FItems)
    if (i->FID == ID) return i;
  return nullptr;
}

void TCollection::BeginUpdate() { ++FUpdateCount; }

void TCollection::EndUpdate() {
  if (FUpdateCount == 0) return;
  if (--FUpdateCount == 0) Changed();
}

void TCollection::Changed() {
  if (FUpdateCount == 0) Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem* Item) {
  FItems.push_back(Item);
  Item->FCollection = this;
  Item->FID = FNextID++;
  Notify(Item, cnAdded);
  Changed();
}

void TCollection::RemoveItem(TCollectionItem* Item) {
  Notify(Item, cnExtracting);
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  if (it != FItems.end()) FItems.erase(it);
  Item->FCollection = nullptr;
  Changed();
}

void TCollection::Assign(TPersistent* Source) {
  auto* src = dynamic_cast<TCollection*>(Source);
  if (src == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  Updating(*this, [&] {
    Clear();
    for (TCollectionItem* i : src->FItems) Add()->Assign(i);
  });
}
