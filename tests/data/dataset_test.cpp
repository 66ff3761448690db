#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db.h"
#include "memdataset.h"

namespace {

// Records every framework event and every data-link step in one log.
class RecordingLink : public TDataLink {
public:
  explicit RecordingLink(std::vector<std::string>* Log) : FLog(Log) {}
  std::function<void()> OnUpdateData;

protected:
  void ActiveChanged() override { FLog->push_back(Active() ? "link:Active" : "link:Inactive"); }
  void CheckBrowseMode() override { FLog->push_back("link:CheckBrowseMode"); }
  void EditingChanged() override { FLog->push_back(Editing() ? "link:Editing" : "link:NotEditing"); }
  void RecordChanged(TField* Field) override {
    FLog->push_back("link:RecordChanged(" + (Field ? Field->FieldName() : std::string("nil")) + ")");
  }
  void DataSetScrolled(int Distance) override {
    FLog->push_back("link:Scrolled");
    TDataLink::DataSetScrolled(Distance);
  }
  void UpdateData() override {
    if (OnUpdateData) OnUpdateData();
  }

private:
  std::vector<std::string>* FLog;
};

class DataSetTest : public ::testing::Test {
protected:
  void SetUp() override {
    ds.FieldDefs()->Add("Id", ftInteger, 0, true);
    ds.FieldDefs()->Add("Name", ftString, 10);
    ds.FieldDefs()->Add("Qty", ftInteger);
  }

  // Opens the set with records (id, name, qty); a name of "-" stays NULL.
  void Fill(const std::vector<std::tuple<int, std::string, int>>& rows) {
    ds.Open();
    for (const auto& [id, name, qty] : rows)
      ds.AppendRecord({Variant(id), name == "-" ? Null() : Variant(name), Variant(qty)});
    ds.First();
  }
  void FillFive() {
    Fill({{1, "Ana", 3}, {2, "anamarija", 1}, {3, "Borut", 2}, {4, "Črt", 5}, {5, "-", 0}});
  }

  void Hook() {
    auto rec = [this](const char* name) {
      return [this, name](TDataSet*) { log.push_back(name); };
    };
    ds.BeforeOpen = rec("BeforeOpen");
    ds.AfterOpen = rec("AfterOpen");
    ds.BeforeClose = rec("BeforeClose");
    ds.AfterClose = rec("AfterClose");
    ds.BeforeInsert = rec("BeforeInsert");
    ds.AfterInsert = rec("AfterInsert");
    ds.BeforeEdit = rec("BeforeEdit");
    ds.AfterEdit = rec("AfterEdit");
    ds.BeforePost = rec("BeforePost");
    ds.AfterPost = rec("AfterPost");
    ds.BeforeCancel = rec("BeforeCancel");
    ds.AfterCancel = rec("AfterCancel");
    ds.BeforeDelete = rec("BeforeDelete");
    ds.AfterDelete = rec("AfterDelete");
    ds.BeforeScroll = rec("BeforeScroll");
    ds.AfterScroll = rec("AfterScroll");
    ds.BeforeRefresh = rec("BeforeRefresh");
    ds.AfterRefresh = rec("AfterRefresh");
    ds.OnNewRecord = rec("OnNewRecord");
  }
  std::vector<std::string> TakeLog() {
    std::vector<std::string> out;
    out.swap(log);
    return out;
  }
  int Id() { return ds.FieldByName("Id")->AsInteger(); }
  std::vector<int> StoredIds() {
    std::vector<int> ids;
    for (int i = 0; i < int(ds.Store().size()); ++i) ids.push_back(std::stoi(StoredText(i, "Id")));
    return ids;
  }
  std::string StoredText(int index, const std::string& field) {
    TField* f = ds.FieldByName(field);
    if (ds.StoredIsNull(index, field)) return "NULL";
    if (f->DataType() == ftInteger) {
      std::int32_t v;
      std::string raw = ds.StoredString(index, field);
      std::memcpy(&v, ds.Store()[size_t(index)].Data.data() + Offset(f), 4);
      return std::to_string(v);
    }
    return ds.StoredString(index, field);
  }
  int Offset(TField* f) {
    int off = 0;
    for (int i = 0; i < f->FieldNo() - 1; ++i)
      off += FieldTypeDataSize(ds.FieldDefs()->Items(i)->DataType(), ds.FieldDefs()->Items(i)->Size()) + 1;
    return off;
  }

  TMemDataSet ds;
  std::vector<std::string> log;
};

using Log = std::vector<std::string>;

TEST_F(DataSetTest, NavigationFiresScrollEventsAndTracksEnds) {
  FillFive();
  ds.Close();
  Hook();
  ds.Open();
  EXPECT_EQ(TakeLog(), (Log{"BeforeOpen", "AfterOpen", "AfterScroll"}));
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(Id(), 1);

  ds.Next();
  EXPECT_EQ(TakeLog(), (Log{"BeforeScroll", "AfterScroll"}));
  EXPECT_EQ(Id(), 2);
  EXPECT_FALSE(ds.Bof());
  EXPECT_EQ(ds.RecNo(), 2);

  ds.Last();
  EXPECT_EQ(TakeLog(), (Log{"BeforeScroll", "AfterScroll"}));
  EXPECT_EQ(Id(), 5);
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.MoveBy(1), 0);  // at the end nothing moves and no AfterScroll follows
  EXPECT_EQ(TakeLog(), (Log{"BeforeScroll"}));

  EXPECT_EQ(ds.MoveBy(-2), -2);
  EXPECT_EQ(Id(), 3);
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(ds.MoveBy(10), 2);
  EXPECT_EQ(Id(), 5);
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.MoveBy(-10), -4);
  EXPECT_EQ(Id(), 1);
  EXPECT_TRUE(ds.Bof());
  ds.Prior();
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(Id(), 1);
  EXPECT_EQ(ds.RecordCount(), 5);
  TakeLog();

  ds.Close();
  EXPECT_EQ(TakeLog(), (Log{"BeforeClose", "AfterClose"}));
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.State(), dsInactive);
  EXPECT_TRUE(ds.IsEmpty());
}

TEST_F(DataSetTest, EditInsertAppendDeleteFireTheirEventsInOrder) {
  FillFive();
  Hook();
  ds.Next();  // Id 2
  TakeLog();

  ds.Edit();
  EXPECT_EQ(TakeLog(), (Log{"BeforeEdit", "AfterEdit"}));
  EXPECT_EQ(ds.State(), dsEdit);
  ds.FieldByName("Qty")->SetAsInteger(7);
  EXPECT_TRUE(ds.Modified());
  ds.Post();
  EXPECT_EQ(TakeLog(), (Log{"BeforePost", "AfterPost"}));
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(StoredText(1, "Qty"), "7");
  EXPECT_EQ(Id(), 2);

  ds.Insert();
  EXPECT_EQ(TakeLog(), (Log{"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll"}));
  EXPECT_EQ(ds.State(), dsInsert);
  EXPECT_TRUE(ds.FieldByName("Id")->IsNull());
  ds.FieldByName("Id")->SetAsInteger(10);
  ds.Post();
  EXPECT_EQ(TakeLog(), (Log{"BeforePost", "AfterPost"}));
  EXPECT_EQ(Id(), 10);
  EXPECT_EQ(StoredIds(), (std::vector<int>{1, 10, 2, 3, 4, 5}));  // before the current record

  ds.Append();
  EXPECT_EQ(TakeLog(), (Log{"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll"}));
  EXPECT_TRUE(ds.Eof());
  ds.FieldByName("Id")->SetAsInteger(11);
  ds.Post();
  TakeLog();
  EXPECT_EQ(StoredIds(), (std::vector<int>{1, 10, 2, 3, 4, 5, 11}));
  EXPECT_EQ(Id(), 11);

  ds.Delete();
  EXPECT_EQ(TakeLog(), (Log{"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}));
  EXPECT_EQ(Id(), 5);  // the last one went: the prior one is current
  ds.First();
  ds.Delete();
  EXPECT_EQ(Id(), 10);  // the next one is current
  TakeLog();

  ds.Edit();
  ds.Cancel();
  EXPECT_EQ(TakeLog(), (Log{"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel"}));

  ds.Refresh();
  EXPECT_EQ(TakeLog(), (Log{"BeforeRefresh", "AfterRefresh"}));
  EXPECT_EQ(Id(), 10);
}

TEST_F(DataSetTest, FailedPostLeavesStateAndRecordUnchanged) {
  FillFive();
  Hook();

  // A required field without a value.
  ds.Insert();
  ds.FieldByName("Name")->SetAsString("Nov");
  TakeLog();
  int posts = ds.InternalPostCount;
  try {
    ds.Post();
    FAIL() << "post without the required Id went through";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Field 'Id' must have a value");
  }
  EXPECT_EQ(TakeLog(), (Log{"BeforePost"}));
  EXPECT_EQ(ds.State(), dsInsert);
  EXPECT_EQ(ds.FieldByName("Name")->AsString(), "Nov");
  EXPECT_EQ(ds.Store().size(), 5u);
  EXPECT_EQ(ds.InternalPostCount, posts);
  ds.Cancel();

  // InsertRecord and AppendRecord check the same way and leave the ring as it was.
  ds.Next();
  EXPECT_THROW(ds.AppendRecord({Null(), "Brez"}), EDatabaseError);
  EXPECT_THROW(ds.InsertRecord({Null(), "Brez"}), EDatabaseError);
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(Id(), 2);
  EXPECT_EQ(ds.Store().size(), 5u);
  std::vector<int> ids;
  for (ds.First(); !ds.Eof(); ds.Next()) ids.push_back(Id());
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 4, 5}));

  // A BeforePost handler that refuses.
  ds.Last();
  ds.Edit();
  ds.FieldByName("Qty")->SetAsInteger(9);
  ds.BeforePost = [](TDataSet*) { throw EDatabaseError("Ni dovoljeno"); };
  EXPECT_THROW(ds.Post(), EDatabaseError);
  EXPECT_EQ(ds.State(), dsEdit);
  EXPECT_EQ(ds.FieldByName("Qty")->AsInteger(), 9);
  EXPECT_EQ(StoredText(4, "Qty"), "0");
  EXPECT_TRUE(ds.Modified());

  // Cancel restores the stored values.
  ds.Cancel();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.FieldByName("Qty")->AsInteger(), 0);

  // OnValidate sees the value about to be stored; refusing it keeps the old value.
  ds.BeforePost = nullptr;
  TField* qty = ds.FieldByName("Qty");
  int seen = -100;
  qty->OnValidate = [&](TField* f) {
    seen = f->AsInteger();
    if (seen < 0) throw EDatabaseError("Količina ne sme biti negativna");
  };
  ds.First();
  ds.Edit();
  EXPECT_THROW(qty->SetAsInteger(-1), EDatabaseError);
  EXPECT_EQ(seen, -1);
  EXPECT_EQ(qty->AsInteger(), 3);
  EXPECT_FALSE(ds.Modified());
  qty->SetAsInteger(4);
  ds.Post();
  EXPECT_EQ(StoredText(0, "Qty"), "4");
}

TEST_F(DataSetTest, CancelRestoresEditAndDropsInsert) {
  FillFive();
  ds.Next();
  ds.Next();  // Borut
  ds.Edit();
  ds.FieldByName("Name")->SetAsString("Spremenjen");
  ds.FieldByName("Qty")->Clear();
  ds.Cancel();
  EXPECT_EQ(ds.FieldByName("Name")->AsString(), "Borut");
  EXPECT_EQ(ds.FieldByName("Qty")->AsInteger(), 2);
  EXPECT_EQ(StoredText(2, "Name"), "Borut");

  ds.Insert();
  ds.FieldByName("Id")->SetAsInteger(99);
  ds.Cancel();
  EXPECT_EQ(Id(), 3);
  EXPECT_EQ(ds.RecordCount(), 5);

  // Cancelling an insert into an empty set leaves it empty; Edit on an empty set inserts.
  TMemDataSet empty;
  empty.FieldDefs()->Add("Id", ftInteger);
  empty.Open();
  empty.Edit();
  EXPECT_EQ(empty.State(), dsInsert);
  empty.Cancel();
  empty.Append();
  empty.Cancel();
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_TRUE(empty.Bof() && empty.Eof());
}

TEST_F(DataSetTest, MisuseRaisesTheUsualErrors) {
  struct Case {
    const char* what;
    std::function<void()> run;
    std::string message;
  };
  std::vector<Case> closed = {
      {"Next on a closed set", [&] { ds.Next(); }, "Cannot perform this operation on a closed dataset"},
      {"Delete on a closed set", [&] { ds.Delete(); }, "Cannot perform this operation on a closed dataset"},
      {"Post on a closed set", [&] { ds.Post(); }, "Dataset not in edit or insert mode"},
  };
  for (auto& c : closed) {
    try {
      c.run();
      ADD_FAILURE() << c.what << " did not raise";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), c.message) << c.what;
    }
  }
  ds.Open();
  std::vector<Case> open = {
      {"Delete on an empty set", [&] { ds.Delete(); }, "Cannot perform this operation on an empty dataset"},
      {"Post while browsing", [&] { ds.Post(); }, "Dataset not in edit or insert mode"},
      {"unknown field", [&] { ds.FieldByName("Nope"); }, "Field 'Nope' not found"},
      {"field list with an unknown name",
       [&] {
         std::vector<TField*> l;
         ds.GetFieldList(l, "Id;Nope");
       },
       "Field 'Nope' not found"},
      {"changing field defs' fields while open", [&] { ds.FieldByName("Id")->SetFieldName("X"); },
       "Cannot perform this operation on an open dataset"},
  };
  for (auto& c : open) {
    try {
      c.run();
      ADD_FAILURE() << c.what << " did not raise";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), c.message) << c.what;
    }
  }
  // Writing a field while browsing goes through the data set, which refuses.
  ds.AppendRecord({1, "A", 1});
  EXPECT_THROW(ds.FieldByName("Qty")->SetAsInteger(2), EDatabaseError);

  // A named data set prefixes its name.
  ds.SetName("Tabela");
  try {
    ds.FieldByName("Nope");
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Tabela: Field 'Nope' not found");
  }

  // A read-only set refuses edits.
  ds.SetReadOnlySet(true);
  try {
    ds.Edit();
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Tabela: Cannot modify a read-only dataset");
  }
  EXPECT_EQ(ds.State(), dsBrowse);
}

TEST_F(DataSetTest, BookmarksSurviveInsertsAndDeletes) {
  FillFive();
  ds.Next();
  ds.Next();  // Id 3
  TBookmark mark = ds.GetBookmark();
  ASSERT_NE(mark, nullptr);

  ds.First();
  ds.InsertRecord({20, "Pred", 1});
  ds.Insert();
  ds.FieldByName("Id")->SetAsInteger(21);
  ds.Post();
  ds.Last();
  ds.Delete();  // Id 5
  ds.First();
  ds.Delete();  // Id 21
  EXPECT_EQ(StoredIds(), (std::vector<int>{20, 1, 2, 3, 4}));

  EXPECT_TRUE(ds.BookmarkValid(mark));
  ds.GotoBookmark(mark);
  EXPECT_EQ(Id(), 3);
  EXPECT_EQ(ds.FieldByName("Name")->AsString(), "Borut");
  TBookmark other = ds.GetBookmark();
  EXPECT_EQ(ds.CompareBookmarks(mark, other), 0);
  ds.Next();
  TBookmark later = ds.GetBookmark();
  EXPECT_LT(ds.CompareBookmarks(mark, later), 0);
  EXPECT_EQ(ds.CompareBookmarks(nullptr, nullptr), 0);
  EXPECT_NE(ds.CompareBookmarks(mark, nullptr), 0);

  // The marked record goes: its bookmark is no longer valid and going to it raises.
  ds.GotoBookmark(mark);
  ds.Delete();
  EXPECT_FALSE(ds.BookmarkValid(mark));
  EXPECT_THROW(ds.GotoBookmark(mark), EDatabaseError);

  ds.FreeBookmark(mark);
  ds.FreeBookmark(other);
  ds.FreeBookmark(later);
  EXPECT_EQ(mark, nullptr);

  // No current record: no bookmark.
  TMemDataSet empty;
  empty.FieldDefs()->Add("Id", ftInteger);
  empty.Open();
  EXPECT_EQ(empty.GetBookmark(), nullptr);
}

TEST_F(DataSetTest, DisableControlsNestsAndSendsOneChangeAtTheEnd) {
  TDataSource src(nullptr);
  RecordingLink link(&log);
  link.SetDataSource(&src);
  src.SetDataSet(&ds);
  FillFive();
  EXPECT_EQ(log.front(), "link:Active");
  TakeLog();

  ds.Next();
  EXPECT_EQ(TakeLog(), (Log{"link:CheckBrowseMode", "link:Scrolled", "link:RecordChanged(nil)"}));

  ds.DisableControls();
  ds.DisableControls();
  ds.Next();
  ds.Edit();
  ds.FieldByName("Qty")->SetAsInteger(8);
  ds.Post();
  ds.EnableControls();
  EXPECT_TRUE(ds.ControlsDisabled());
  EXPECT_TRUE(TakeLog().empty());
  ds.EnableControls();
  EXPECT_FALSE(ds.ControlsDisabled());
  EXPECT_EQ(TakeLog(), (Log{"link:RecordChanged(nil)"}));
  ds.EnableControls();  // one too many changes nothing
  EXPECT_FALSE(ds.ControlsDisabled());

  // A state left changed while disabled is reported when enabled again.
  ds.DisableControls();
  ds.Edit();
  ds.EnableControls();
  EXPECT_EQ(TakeLog(), (Log{"link:Editing", "link:RecordChanged(nil)"}));

  // A field change reaches the link with the field.
  ds.FieldByName("Name")->SetAsString("X");
  EXPECT_EQ(TakeLog(), (Log{"link:RecordChanged(Name)"}));
  ds.Cancel();
  TakeLog();

  ds.Close();
  EXPECT_EQ(TakeLog(), (Log{"link:Inactive"}));
}

TEST_F(DataSetTest, CheckBrowseModePostsAPendingEditAndAsksLinksForTheirValue) {
  TDataSource src(nullptr);
  RecordingLink link(&log);
  link.SetDataSource(&src);
  src.SetDataSet(&ds);
  FillFive();
  Hook();
  TakeLog();

  // A control's pending text reaches the record through UpdateData before the post.
  link.OnUpdateData = [&] { ds.FieldByName("Name")->SetAsString("Kontrola"); };
  ds.Edit();
  TakeLog();
  ds.Next();
  Log events = TakeLog();
  auto pos = [&](const std::string& name) {
    return std::find(events.begin(), events.end(), name) - events.begin();
  };
  ASSERT_LT(pos("BeforePost"), long(events.size()));
  EXPECT_LT(pos("BeforePost"), pos("AfterPost"));
  EXPECT_LT(pos("AfterPost"), pos("BeforeScroll"));
  EXPECT_EQ(StoredText(0, "Name"), "Kontrola");
  EXPECT_EQ(Id(), 2);
  link.OnUpdateData = nullptr;

  // An edit without changes is cancelled, not posted.
  ds.Edit();
  TakeLog();
  ds.CheckBrowseMode();
  events = TakeLog();
  EXPECT_EQ(std::count(events.begin(), events.end(), "BeforePost"), 0);
  EXPECT_EQ(std::count(events.begin(), events.end(), "BeforeCancel"), 1);
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.InternalPostCount, 5 + 1);  // the five appends and the one post
}

TEST_F(DataSetTest, RingOfBuffersFollowsALinkWithSeveralRows) {
  TDataSource src(nullptr);
  RecordingLink link(&log);
  link.SetBufferCount(4);
  link.SetDataSource(&src);
  src.SetDataSet(&ds);
  ds.Open();
  for (int i = 1; i <= 10; ++i) ds.AppendRecord({i, "R" + std::to_string(i), i * 10});
  ds.First();
  EXPECT_EQ(ds.BufferCount(), 4);
  EXPECT_EQ(link.RecordCount(), 4);

  for (int i = 1; i <= 10; ++i) {
    EXPECT_EQ(Id(), i);
    EXPECT_GE(link.ActiveRecord(), 0);
    EXPECT_LT(link.ActiveRecord(), 4);
    ds.Next();
  }
  EXPECT_TRUE(ds.Eof());
  // The rows the link shows are the last four, in order.
  int active = link.ActiveRecord();
  std::vector<int> shown;
  for (int k = 0; k < link.RecordCount(); ++k) {
    link.SetActiveRecord(k);
    shown.push_back(Id());
  }
  link.SetActiveRecord(active);
  EXPECT_EQ(shown, (std::vector<int>{7, 8, 9, 10}));
  EXPECT_EQ(Id(), 10);

  for (int i = 10; i >= 1; --i) {
    EXPECT_EQ(Id(), i);
    ds.Prior();
  }
  EXPECT_TRUE(ds.Bof());

  // A jump resynchronises the ring around the target.
  ASSERT_TRUE(ds.Locate("Id", 6, {}));
  EXPECT_EQ(ds.FieldByName("Qty")->AsInteger(), 60);
  ds.Next();
  EXPECT_EQ(Id(), 7);
  ds.Prior();
  ds.Prior();
  EXPECT_EQ(Id(), 5);

  // Inserting into a full ring keeps the neighbours right.
  ds.Insert();
  ds.FieldByName("Id")->SetAsInteger(55);
  ds.Post();
  ds.Prior();
  EXPECT_EQ(Id(), 4);
  ds.Next();
  ds.Next();
  EXPECT_EQ(Id(), 5);
}

TEST_F(DataSetTest, CalculatedAndLookupFields) {
  for (int i = 0; i < ds.FieldDefs()->Count(); ++i) ds.FieldDefs()->Items(i)->CreateField(&ds);
  auto* twice = new TIntegerField(&ds);
  twice->SetFieldName("Twice");
  twice->SetFieldKind(fkCalculated);
  twice->SetDataSet(&ds);
  auto* label = new TStringField(&ds);
  label->SetFieldName("Label");
  label->SetSize(12);
  label->SetCalculated(true);
  label->SetDataSet(&ds);
  int calcCalls = 0;
  ds.OnCalcFields = [&](TDataSet* d) {
    ++calcCalls;
    EXPECT_EQ(d->State(), dsCalcFields);
    if (!d->FieldByName("Qty")->IsNull())
      d->FieldByName("Twice")->SetAsInteger(d->FieldByName("Qty")->AsInteger() * 2);
    d->FieldByName("Label")->SetAsString("#" + d->FieldByName("Id")->AsString());
  };
  FillFive();
  EXPECT_FALSE(ds.DefaultFields());
  EXPECT_EQ(ds.CalcFieldsSize(), twice->DataSize() + 1 + label->DataSize() + 1);
  EXPECT_EQ(twice->Offset(), 0);
  EXPECT_EQ(label->Offset(), twice->DataSize() + 1);
  EXPECT_TRUE(twice->Calculated());
  EXPECT_EQ(twice->FieldNo(), -1);

  EXPECT_EQ(twice->AsInteger(), 6);
  EXPECT_EQ(label->AsString(), "#1");
  ds.Last();
  EXPECT_EQ(twice->AsInteger(), 0);
  EXPECT_EQ(label->AsString(), "#5");

  // A calculated field is not written outside the calculation.
  ds.Edit();
  calcCalls = 0;
  ds.FieldByName("Qty")->SetAsInteger(21);
  EXPECT_GE(calcCalls, 1);
  EXPECT_EQ(twice->AsInteger(), 42);  // recalculated on the field change
  ds.Post();
  EXPECT_EQ(twice->AsInteger(), 42);

  // A lookup field reads another data set through Lookup.
  TMemDataSet codes;
  codes.FieldDefs()->Add("Code", ftInteger);
  codes.FieldDefs()->Add("Text", ftString, 20);
  codes.Open();
  codes.AppendRecord({2, "dva"});
  codes.AppendRecord({3, "tri"});
  codes.First();
  ds.Close();
  auto* text = new TStringField(&ds);
  text->SetFieldName("QtyText");
  text->SetSize(20);
  text->SetFieldKind(fkLookup);
  text->SetLookupDataSet(&codes);
  text->SetKeyFields("Qty");
  text->SetLookupKeyFields("Code");
  text->SetLookupResultField("Text");
  text->SetDataSet(&ds);
  ds.Open();
  EXPECT_EQ(text->AsString(), "tri");  // Qty 3
  EXPECT_TRUE(text->Lookup());
  ds.Next();
  EXPECT_TRUE(text->IsNull());  // Qty 1 has no code
  ds.Next();
  EXPECT_EQ(text->AsString(), "dva");
  EXPECT_EQ(codes.FieldByName("Code")->AsInteger(), 2);  // the lookup set stays where it was
}

TEST_F(DataSetTest, LocateMatchesCaseInsensitiveAndPartialKeys) {
  FillFive();
  struct Case {
    Variant key;
    TLocateOptions options;
    int expectedId;  // 0: not found
  };
  const std::vector<Case> cases = {
      {"Ana", {}, 1},
      {"ana", {}, 0},
      {"ANA", {loCaseInsensitive}, 1},
      {"ana", {loPartialKey}, 2},
      {"AnA", {loCaseInsensitive, loPartialKey}, 1},
      {"ANAM", {loCaseInsensitive, loPartialKey}, 2},
      {"čr", {loCaseInsensitive, loPartialKey}, 4},
      {"Bor", {}, 0},
      {"Bor", {loPartialKey}, 3},
      {"orut", {loPartialKey}, 0},
      {Null(), {}, 5},
  };
  for (const Case& c : cases) {
    ds.Last();
    ds.Prior();  // Id 4: a failed search leaves the position alone
    bool found = ds.Locate("Name", c.key, c.options);
    EXPECT_EQ(found, c.expectedId != 0) << VarToStr(c.key);
    EXPECT_EQ(Id(), c.expectedId ? c.expectedId : 4) << VarToStr(c.key);
  }

  Hook();
  EXPECT_TRUE(ds.Locate("Name;Qty", VarArrayOf({"Borut", 2}), {}));
  EXPECT_EQ(Id(), 3);
  EXPECT_EQ(TakeLog(), (Log{"BeforeScroll", "AfterScroll"}));
  EXPECT_FALSE(ds.Locate("Name;Qty", VarArrayOf({"Borut", 3}), {}));
  EXPECT_TRUE(ds.Locate("Qty", "5", {}));  // the key converts to the field's type
  EXPECT_EQ(Id(), 4);
  EXPECT_FALSE(ds.Locate("Qty", "pet", {}));  // a key that does not convert matches nothing
  EXPECT_EQ(Id(), 4);
  // A key with a fraction matches no whole number, whatever form it comes in.
  for (const Variant& key : {Variant(1.5), Variant(Currency::FromRaw(15000))})
    EXPECT_FALSE(ds.Locate("Qty", key, {})) << VarToStr(key);
  EXPECT_TRUE(ds.Locate("Qty", Variant(5.0), {}));
  EXPECT_EQ(Id(), 4);
  EXPECT_THROW(ds.Locate("Nope", 1, {}), EDatabaseError);

  // Lookup reads without moving.
  ds.First();
  EXPECT_EQ(ds.Lookup("Id", 3, "Name").AsString(), "Borut");
  Variant both = ds.Lookup("Id", 4, "Name;Qty");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(both[0].AsString(), "Črt");
  EXPECT_EQ(both[1].AsInteger(), 5);
  EXPECT_TRUE(ds.Lookup("Id", 99, "Name").IsNull());
  EXPECT_EQ(Id(), 1);
  ds.Next();
  EXPECT_EQ(Id(), 2);

  // An empty set finds nothing.
  TMemDataSet empty;
  empty.FieldDefs()->Add("Name", ftString, 5);
  empty.Open();
  EXPECT_FALSE(empty.Locate("Name", "x", {}));
}

// A comparison that raises, whatever it raises, is no match for that record: the search goes
// on to the next one.
TEST(DataSetSearch, AComparisonThatRaisesIsNoMatch) {
  struct TUnreadable : TMemDataSet {
    std::int32_t Bad = 0;  // the record whose Name cannot be read
    bool GetFieldData(TField* Field, void* Buffer) override {
      if (Bad != 0 && Field->FieldName() == "Name") {
        std::int32_t id = 0;
        if (TMemDataSet::GetFieldData(FieldByName("Id"), &id) && id == Bad)
          DatabaseError("Record " + std::to_string(id) + " cannot be read", this);
      }
      return TMemDataSet::GetFieldData(Field, Buffer);
    }
  } ds;
  ds.FieldDefs()->Add("Id", ftInteger, 0, true);
  ds.FieldDefs()->Add("Name", ftString, 10);
  ds.Open();
  for (int id : {1, 2, 3}) ds.AppendRecord({Variant(id), Variant(std::string(id == 1 ? "Ana" : "Bor"))});
  ds.First();
  ds.Bad = 2;
  ASSERT_TRUE(ds.Locate("Name", Variant(std::string("Bor")), {}));
  ds.Bad = 0;
  EXPECT_EQ(ds.FieldByName("Id")->AsInteger(), 3);
}

TEST_F(DataSetTest, FilterRecordHidesRefusedRecords) {
  FillFive();
  int calls = 0;
  ds.SetOnFilterRecord([&](TDataSet* d, bool& accept) {
    ++calls;
    EXPECT_EQ(d->State(), dsFilter);
    accept = d->FieldByName("Qty")->AsInteger() >= 2;
  });
  EXPECT_EQ(ds.RecordCount(), 5);  // not filtered yet
  ds.SetFiltered(true);
  EXPECT_GT(calls, 0);
  std::vector<int> ids;
  for (ds.First(); !ds.Eof(); ds.Next()) ids.push_back(Id());
  EXPECT_EQ(ids, (std::vector<int>{1, 3, 4}));
  EXPECT_EQ(ds.RecordCount(), 3);
  EXPECT_FALSE(ds.Locate("Id", 2, {}));
  EXPECT_TRUE(ds.Locate("Id", 4, {}));
  ds.SetFiltered(false);
  EXPECT_EQ(ds.RecordCount(), 5);
  EXPECT_TRUE(ds.Locate("Id", 2, {}));
}

TEST_F(DataSetTest, DefaultFieldsComeFromTheDefinitions) {
  FillFive();
  EXPECT_TRUE(ds.DefaultFields());
  ASSERT_EQ(ds.FieldCount(), 3);
  EXPECT_STREQ(ds.Fields()->Fields(1)->ClassName(), "TStringField");
  EXPECT_EQ(ds.FieldByNumber(2)->FieldName(), "Name");
  EXPECT_EQ(ds.FindField("qty"), ds.FieldByName("Qty"));
  EXPECT_EQ(ds.FindField("nope"), nullptr);
  EXPECT_TRUE(ds.FieldByName("Id")->Required());
  EXPECT_EQ(ds.FieldByName("Name")->Size(), 10);
  TStringList names;
  ds.GetFieldNames(&names);
  EXPECT_EQ(names.CommaText(), "Id,Name,Qty");
  Variant v = ds.GetFieldValue("Id;Name");
  EXPECT_EQ(v[0].AsInteger(), 1);
  EXPECT_EQ(v[1].AsString(), "Ana");
  ds.Close();
  EXPECT_EQ(ds.FieldCount(), 0);  // default fields go with the cursor
}

TEST_F(DataSetTest, DataSourceEventsAndOldValues) {
  TDataSource src(nullptr);
  src.OnStateChange = [&](TObject*) { log.push_back(std::string("state:") + std::to_string(src.State())); };
  src.OnDataChange = [&](TObject*, TField* f) { log.push_back("data:" + (f ? f->FieldName() : std::string("nil"))); };
  src.OnUpdateData = [&](TObject*) { log.push_back("update"); };
  src.SetDataSet(&ds);
  FillFive();
  TakeLog();

  // AutoEdit lets a control put the set into edit mode through its link.
  RecordingLink link(&log);
  link.SetDataSource(&src);
  TakeLog();
  EXPECT_TRUE(link.Edit());
  EXPECT_EQ(ds.State(), dsEdit);
  Log events = TakeLog();
  EXPECT_EQ(std::count(events.begin(), events.end(), "state:2"), 1);  // dsEdit
  ds.FieldByName("Qty")->SetAsInteger(9);
  events = TakeLog();
  EXPECT_EQ(std::count(events.begin(), events.end(), "data:Qty"), 1);
  EXPECT_EQ(ds.FieldByName("Qty")->OldValue().AsInteger(), 3);
  EXPECT_EQ(ds.FieldByName("Qty")->NewValue().AsInteger(), 9);
  EXPECT_EQ(ds.State(), dsEdit);  // the temporary states are gone again
  ds.Post();
  events = TakeLog();
  EXPECT_EQ(std::count(events.begin(), events.end(), "update"), 1);
  EXPECT_EQ(ds.FieldByName("Qty")->OldValue().AsInteger(), 9);

  src.SetAutoEdit(false);
  EXPECT_FALSE(link.Edit());
  EXPECT_EQ(ds.State(), dsBrowse);
  link.SetReadOnly(true);
  src.SetAutoEdit(true);
  EXPECT_FALSE(link.Edit());

  // A disabled source tells its links the set is gone.
  src.SetEnabled(false);
  EXPECT_FALSE(link.Active());
  src.SetEnabled(true);
  EXPECT_TRUE(link.Active());
}

TEST_F(DataSetTest, DataSourcesRefuseCircularLinks) {
  TMemDataSet master, detail;
  master.FieldDefs()->Add("Id", ftInteger);
  detail.FieldDefs()->Add("Id", ftInteger);
  TDataSource masterSrc(nullptr), detailSrc(nullptr);
  masterSrc.SetDataSet(&master);
  detail.MasterSource = &masterSrc;
  detailSrc.SetDataSet(&detail);
  EXPECT_TRUE(master.IsLinkedTo(&detailSrc));
  EXPECT_FALSE(detail.IsLinkedTo(&masterSrc));
  EXPECT_TRUE(masterSrc.IsLinkedTo(&detail));

  TDataSource loop(nullptr);
  TMemDataSet self;
  self.MasterSource = &loop;
  try {
    loop.SetDataSet(&self);
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Circular datalinks are not allowed");
  }
  EXPECT_EQ(loop.DataSet(), nullptr);

  // A detail link names its data set; it follows the master's state.
  struct DetailLink : TDetailDataLink {
    TDataSet* Detail = nullptr;
    int changes = 0;
    TDataSet* GetDetailDataSet() override { return Detail; }
    void ActiveChanged() override { ++changes; }
  } link;
  link.Detail = &detail;
  link.SetDataSource(&masterSrc);
  EXPECT_EQ(link.GetDetailDataSet(), &detail);
  master.Open();
  EXPECT_TRUE(link.Active());
  master.Close();
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(link.changes, 2);

  // Freeing a data source detaches its links; freeing a data set detaches its sources.
  {
    TDataSource temp(nullptr);
    link.SetDataSource(&temp);
  }
  EXPECT_EQ(link.DataSource(), nullptr);
  auto* gone = new TMemDataSet;
  detailSrc.SetDataSet(gone);
  delete gone;
  EXPECT_EQ(detailSrc.DataSet(), nullptr);
}

}  // namespace
