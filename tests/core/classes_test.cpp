#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classes.h"

namespace {

std::vector<std::string> Items(const TStrings& s) {
  std::vector<std::string> r;
  for (int i = 0; i < s.Count(); ++i) r.push_back(s[i]);
  return r;
}

using V = std::vector<std::string>;

}  // namespace

TEST(StringList, IndexErrorsNameTheIndex) {
  TStringList l{"a", "b"};
  struct Case { const char* what; std::function<void()> op; int index; };
  Case cases[] = {
      {"get -1", [&] { l.Get(-1); }, -1},
      {"get 2", [&] { l.Get(2); }, 2},
      {"put 5", [&] { l.Put(5, "x"); }, 5},
      {"delete 2", [&] { l.Delete(2); }, 2},
      {"insert 3", [&] { l.Insert(3, "x"); }, 3},
      {"objects 2", [&] { l.Objects(2); }, 2},
      {"names 9", [&] { l.Names(9); }, 9},
  };
  for (auto& c : cases) {
    try {
      c.op();
      ADD_FAILURE() << c.what;
    } catch (const EStringListError& e) {
      EXPECT_EQ(e.Message(), "List index out of bounds (" + std::to_string(c.index) + ")") << c.what;
      EXPECT_TRUE(e.InheritsFrom("EListError"));
    }
  }
  EXPECT_EQ(Items(l), (V{"a", "b"}));
  l.Insert(2, "c");  // inserting at Count appends
  EXPECT_EQ(Items(l), (V{"a", "b", "c"}));
}

TEST(StringList, TextJoinsWithCrLfAndSplitsAtCrLfOrLf) {
  struct Case { const char* in; V lines; const char* text; };
  Case cases[] = {
      {"", {}, ""},
      {"a", {"a"}, "a\r\n"},
      {"a\r\nb", {"a", "b"}, "a\r\nb\r\n"},
      {"a\nb\n", {"a", "b"}, "a\r\nb\r\n"},
      {"a\r\n\r\nb", {"a", "", "b"}, "a\r\n\r\nb\r\n"},
      {"\n", {""}, "\r\n"},
      {"šč\r\nž", {"šč", "ž"}, "šč\r\nž\r\n"},
  };
  for (auto& c : cases) {
    TStringList l;
    l.SetText(c.in);
    EXPECT_EQ(Items(l), c.lines) << c.in;
    EXPECT_EQ(l.Text(), c.text) << c.in;
  }
}

TEST(StringList, NameValueRules) {
  TStringList l;
  l.SetValues("DSN", "SQLITE");
  l.SetValues("UID", "admin");
  EXPECT_EQ(l.Text(), "DSN=SQLITE\r\nUID=admin\r\n");
  EXPECT_EQ(l.Values("dsn"), "SQLITE");             // names compare case-insensitively
  EXPECT_EQ(l.IndexOfName("uId"), 1);
  l.SetValues("dsn", "PG");                          // replaces the line, keeps its place
  EXPECT_EQ(l[0], "dsn=PG");
  EXPECT_EQ(l.Values("missing"), "");
  l.Add("NoEquals");
  l.Add("Key=a=b");
  EXPECT_EQ(l.Names(2), "");
  EXPECT_EQ(l.IndexOfName("NoEquals"), -1);
  EXPECT_EQ(l.Values("Key"), "a=b");                 // first '=' splits
  EXPECT_EQ(l.ValueFromIndex(3), "a=b");
  l.SetValues("UID", "");                            // empty value removes the line
  EXPECT_EQ(l.IndexOfName("UID"), -1);
  EXPECT_EQ(l.Count(), 3);
  l.SetValues("Absent", "");                         // removing an absent name does nothing
  EXPECT_EQ(l.Count(), 3);
}

TEST(StringList, CommaTextQuotesWhatNeedsIt) {
  TStringList l{"a", "b c", "", "d,e", "say \"hi\""};
  EXPECT_EQ(l.CommaText(), "a,\"b c\",\"\",\"d,e\",\"say \"\"hi\"\"\"");
  TStringList back;
  back.SetCommaText(l.CommaText());
  EXPECT_EQ(Items(back), Items(l));
  back.SetCommaText("x y, z ,");
  EXPECT_EQ(Items(back), (V{"x", "y", "z", ""}));
}

TEST(StringList, IndexOfObjectsAssignAndCaseSensitivity) {
  TObject o1, o2;
  TStringList l;
  l.AddObject("Alpha", &o1);
  l.AddObject("beta", &o2);
  EXPECT_EQ(l.IndexOf("ALPHA"), 0);
  l.SetCaseSensitive(true);
  EXPECT_EQ(l.IndexOf("ALPHA"), -1);
  EXPECT_EQ(l.Objects(1), &o2);
  EXPECT_EQ(l.IndexOfObject(&o2), 1);
  TStringList copy;
  copy.Add("old");
  copy.Assign(&l);
  EXPECT_EQ(Items(copy), (V{"Alpha", "beta"}));
  EXPECT_EQ(copy.Objects(0), &o1);
  l.Delete(0);
  EXPECT_EQ(l.Objects(0), &o2);
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_THROW(copy.Assign(nullptr), EConvertError);
}

TEST(StringList, SortedListsAndDuplicates) {
  TStringList l;
  l.SetSorted(true);
  for (const char* s : {"pear", "Apple", "fig", "apple"}) l.Add(s);
  EXPECT_EQ(Items(l), (V{"Apple", "fig", "pear"}));  // dupIgnore, case-insensitive
  EXPECT_EQ(l.IndexOf("PEAR"), 2);
  EXPECT_THROW(l.Insert(0, "x"), EStringListError);
  l.SetDuplicates(dupError);
  EXPECT_THROW(l.Add("FIG"), EStringListError);
  l.SetDuplicates(dupAccept);
  l.Add("fig");
  EXPECT_EQ(l.Count(), 4);
}

TEST(StringList, ChangeEventsOncePerBatch) {
  TStringList l;
  int changing = 0, changed = 0, countAtChanging = -1;
  l.OnChanging = [&](TObject*) { ++changing; countAtChanging = l.Count(); };
  l.OnChange = [&](TObject* sender) { ++changed; EXPECT_EQ(sender, &l); };
  l.Add("a");
  EXPECT_EQ(changing, 1);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(countAtChanging, 0);  // before the change
  l.BeginUpdate();
  l.Add("b");
  l.BeginUpdate();
  l.Delete(0);
  l.EndUpdate();
  l.Add("c");
  EXPECT_EQ(changed, 1);
  l.EndUpdate();
  EXPECT_EQ(changing, 2);
  EXPECT_EQ(changed, 2);
  l.SetText("x\ny");  // one batch
  EXPECT_EQ(changed, 3);
}

TEST(List, PointerListBasicsAndBounds) {
  int a = 1, b = 2, c = 3;
  TList l;
  l.Add(&a);
  l.Add(&c);
  l.Insert(1, &b);
  EXPECT_EQ(l.Count(), 3);
  EXPECT_EQ(l.Items(1), &b);
  EXPECT_EQ(l.IndexOf(&c), 2);
  EXPECT_EQ(l.Remove(&a), 0);
  EXPECT_EQ(l.Remove(&a), -1);
  EXPECT_EQ(l.First(), &b);
  EXPECT_EQ(l.Last(), &c);
  try {
    l.Items(2);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (2)");
  }
  l.Clear();
  EXPECT_THROW(l.First(), EListError);
}

namespace {

class TNamedItem : public TCollectionItem {
public:
  using TCollectionItem::TCollectionItem;
  ~TNamedItem() override { ++Freed; }
  void Assign(TPersistent* Source) override {
    if (auto* s = dynamic_cast<TNamedItem*>(Source)) Text = s->Text;
    else TCollectionItem::Assign(Source);
  }
  std::string Text;
  static inline int Freed = 0;
  ZEL_CLASS(TNamedItem, TCollectionItem)
};

class TCountingCollection : public TCollection {
public:
  using TCollection::TCollection;
  int Updates = 0;

protected:
  void Update(TCollectionItem*) override { ++Updates; }
};

}  // namespace

TEST(Collection, OwnsItemsWithStableIdsAndIndexes) {
  TNamedItem::Freed = 0;
  {
    TPersistent owner;
    TCountingCollection c(TCollection::Factory<TNamedItem>(), &owner);
    EXPECT_EQ(c.Owner(), &owner);
    auto* a = static_cast<TNamedItem*>(c.Add());
    auto* b = static_cast<TNamedItem*>(c.Add());
    auto* first = static_cast<TNamedItem*>(c.Insert(0));
    EXPECT_EQ(c.Count(), 3);
    EXPECT_EQ(c.Items(0), first);
    EXPECT_EQ(a->Index(), 1);
    EXPECT_EQ(a->ID(), 0);
    EXPECT_EQ(b->ID(), 1);
    EXPECT_EQ(first->ID(), 2);
    EXPECT_EQ(c.FindItemID(1), b);
    EXPECT_EQ(a->Collection(), &c);
    c.Delete(1);  // a
    EXPECT_EQ(TNamedItem::Freed, 1);
    EXPECT_EQ(b->Index(), 1);
    EXPECT_THROW(c.Items(2), EListError);
    delete b;  // an item freed directly leaves its collection
    EXPECT_EQ(c.Count(), 1);
    auto* d = static_cast<TNamedItem*>(c.Add());
    EXPECT_EQ(d->ID(), 3);  // ids are never reused
    int before = c.Updates;
    c.Clear();
    EXPECT_EQ(c.Updates, before + 1);  // one update for the whole batch
    EXPECT_EQ(c.Count(), 0);
    c.Add();
    c.Add();
  }
  EXPECT_EQ(TNamedItem::Freed, 6);
}

TEST(Collection, AssignCopiesItems) {
  TCollection src(TCollection::Factory<TNamedItem>()), dst(TCollection::Factory<TNamedItem>());
  static_cast<TNamedItem*>(src.Add())->Text = "one";
  static_cast<TNamedItem*>(src.Add())->Text = "two";
  dst.Add();
  dst.Assign(&src);
  ASSERT_EQ(dst.Count(), 2);
  EXPECT_EQ(static_cast<TNamedItem*>(dst.Items(1))->Text, "two");
  TCollection noFactory;
  EXPECT_THROW(noFactory.Add(), EInvalidOperation);
}
