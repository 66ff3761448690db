#pragma once
// Pointer lists, string lists and collections.
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "component.h"

using TNotifyEvent = std::function<void(TObject* Sender)>;

// A list of untyped pointers; it owns nothing.
class TList : public TObject {
public:
  virtual ~TList() = default;
  int Count() const { return int(FItems.size()); }
  void* Items(int Index) const;            // EListError "List index out of bounds (%d)"
  void SetItems(int Index, void* Item);
  int Add(void* Item);
  void Insert(int Index, void* Item);      // Index may equal Count
  void Delete(int Index);
  int Remove(void* Item);                  // index it had, -1 when absent
  int IndexOf(void* Item) const;
  void* First() const { return Items(0); }
  void* Last() const { return Items(Count() - 1); }
  void Exchange(int Index1, int Index2);
  void Move(int CurIndex, int NewIndex);
  virtual void Clear() { FItems.clear(); }
  ZEL_CLASS(TList, TObject)

private:
  void Check(int Index) const;
  std::vector<void*> FItems;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

// Abstract list of strings, each with an associated object (not owned).
class TStrings : public TPersistent {
public:
  // ---- storage: implemented by descendants
  virtual int Count() const = 0;
  virtual std::string Get(int Index) const = 0;
  virtual void Put(int Index, const std::string& S);
  virtual TObject* GetObject(int Index) const;
  virtual void PutObject(int Index, TObject* AObject);
  virtual void Insert(int Index, const std::string& S) = 0;
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;

  // ---- services
  std::string Strings(int Index) const { return Get(Index); }
  void SetStrings(int Index, const std::string& S) { Put(Index, S); }
  std::string operator[](int Index) const { return Get(Index); }
  TObject* Objects(int Index) const { return GetObject(Index); }
  void SetObjects(int Index, TObject* AObject) { PutObject(Index, AObject); }
  virtual int Add(const std::string& S);
  int AddObject(const std::string& S, TObject* AObject);
  void InsertObject(int Index, const std::string& S, TObject* AObject);
  void AddStrings(const TStrings& Strings);
  void Append(const std::string& S) { Add(S); }
  virtual int IndexOf(std::string_view S) const;  // case-insensitive unless CaseSensitive
  int IndexOfObject(const TObject* AObject) const;
  virtual void Exchange(int Index1, int Index2);
  virtual void Move(int CurIndex, int NewIndex);
  bool Equals(const TStrings& Other) const;  // same strings in the same order

  // Every line followed by CR LF; setting splits at CR LF or LF (a trailing break adds no line).
  std::string Text() const;
  void SetText(std::string_view Value);
  // Items separated by commas; an item with a space, comma, quote or control character, or an
  // empty item, is quoted with '"' (inner quotes doubled). Setting splits at commas and blanks
  // outside quotes.
  std::string CommaText() const;
  void SetCommaText(std::string_view Value);

  // name=value lines. Names compare ASCII case-insensitively. Setting an empty value removes
  // the line.
  std::string Names(int Index) const;         // "" when the line has no '='
  std::string ValueFromIndex(int Index) const;
  std::string Values(std::string_view Name) const;  // "" when absent
  void SetValues(std::string_view Name, const std::string& Value);
  int IndexOfName(std::string_view Name) const;

  bool CaseSensitive() const { return FCaseSensitive; }
  virtual void SetCaseSensitive(bool Value) { FCaseSensitive = Value; }

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  void Assign(TPersistent* Source) override;
  // In a form stream the lines are the defined property "Strings": a list of strings.
  void DefineProperties(TFiler* Filer) override;
  ZEL_CLASS(TStrings, TPersistent)

protected:
  // Called when the update count goes from 0 to 1 (Updating True) and back (False).
  virtual void SetUpdateState(bool Updating) { (void)Updating; }
  bool SameText(std::string_view a, std::string_view b) const;
  [[noreturn]] void Error(int Index) const;

private:
  int FUpdateCount = 0;
  bool FCaseSensitive = false;
};

// The string list. Events fire around every change except inside BeginUpdate/EndUpdate, where
// one OnChanging/OnChange pair surrounds the whole batch.
class TStringList : public TStrings {
public:
  TStringList() = default;
  explicit TStringList(std::initializer_list<std::string> Items);

  int Count() const override { return int(FList.size()); }
  std::string Get(int Index) const override;
  void Put(int Index, const std::string& S) override;
  TObject* GetObject(int Index) const override;
  void PutObject(int Index, TObject* AObject) override;
  int Add(const std::string& S) override;
  void Insert(int Index, const std::string& S) override;  // EStringListError when Sorted
  void Delete(int Index) override;
  void Clear() override;
  int IndexOf(std::string_view S) const override;
  void Exchange(int Index1, int Index2) override;
  void SetCaseSensitive(bool Value) override;

  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
  virtual void Sort();
  // Binary search in a sorted list: true and the index when found, else false and the index
  // where S would go.
  bool Find(std::string_view S, int& Index) const;

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;
  ZEL_CLASS(TStringList, TStrings)

protected:
  virtual void Changed();
  virtual void Changing();
  void SetUpdateState(bool Updating) override;

private:
  void InsertItem(int Index, const std::string& S, TObject* AObject);
  int Compare(std::string_view a, std::string_view b) const;
  std::vector<std::pair<std::string, TObject*>> FList;
  bool FSorted = false;
  TDuplicates FDuplicates = dupIgnore;
};

class TCollection;

// An item of a collection; it puts itself into the collection it is created for and leaves it
// when freed.
class TCollectionItem : public TPersistent {
public:
  explicit TCollectionItem(TCollection* Collection);
  ~TCollectionItem() override;
  TCollectionItem(const TCollectionItem&) = delete;
  TCollectionItem& operator=(const TCollectionItem&) = delete;

  TCollection* Collection() const { return FCollection; }
  void SetCollection(TCollection* Value);  // moves the item; nullptr leaves the collection
  int ID() const { return FID; }
  int Index() const;
  virtual void SetIndex(int Value);
  virtual std::string DisplayName() const { return ClassName(); }
  ZEL_CLASS(TCollectionItem, TPersistent)

protected:
  void Changed(bool AllItems);

private:
  friend class TCollection;
  TCollection* FCollection = nullptr;
  int FID = 0;
};

enum TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

// Owned items made by an item factory (the item class).
class TCollection : public TPersistent {
public:
  using TItemFactory = std::function<TCollectionItem*(TCollection*)>;
  // Factory builds one item for the given collection (typically `new TMyItem(c)`).
  explicit TCollection(TItemFactory ItemFactory = nullptr, TPersistent* AOwner = nullptr);
  ~TCollection() override;
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;

  template <class Item>
  static TItemFactory Factory() {
    return [](TCollection* c) -> TCollectionItem* { return new Item(c); };
  }

  TPersistent* Owner() const { return FOwner; }
  int Count() const { return int(FItems.size()); }
  TCollectionItem* Items(int Index) const;  // EListError when out of range
  TCollectionItem* Add();
  TCollectionItem* Insert(int Index);
  void Delete(int Index);  // frees the item
  virtual void Clear();    // frees every item
  TCollectionItem* FindItemID(int ID) const;
  int NextID() const { return FNextID; }

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  // Replaces the items with copies of Source's (item by item through Assign).
  void Assign(TPersistent* Source) override;
  ZEL_CLASS(TCollection, TPersistent)

protected:
  // Item is nullptr when the whole collection changed.
  virtual void Update(TCollectionItem* Item) { (void)Item; }
  virtual void Notify(TCollectionItem* Item, TCollectionNotification Action) {
    (void)Item; (void)Action;
  }
  void Changed();

private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* Item);
  void RemoveItem(TCollectionItem* Item);
  TItemFactory FItemFactory;
  TPersistent* FOwner = nullptr;
  std::vector<TCollectionItem*> FItems;
  int FNextID = 0;
  int FUpdateCount = 0;
};
