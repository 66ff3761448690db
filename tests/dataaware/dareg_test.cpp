// The ODBC data set with control types and picture masks: its defaults and published lists, the
// connection named by DatabaseName (also from a form stream in either component order), and
// the mask check before a post on SQLite and PostgreSQL.
#include "dareg.h"

#include <functional>

#include "filer.h"
#include "focuslink.h"
#include "ovcl_fixture.h"
#include "published.h"

namespace {

using Makers = std::vector<std::function<TComponent*(TComponent*)>>;

// Reads a form as a loader does: each component made and read in stream order, then the
// references fixed up; Loaded is left to the caller.
std::vector<TComponent*> ReadForm(TMemoryStream& M, TComponent* Form, const Makers& Make) {
  M.SetPosition(0);
  TReader r(&M);
  std::vector<TComponent*> made;
  for (const auto& make : Make) {
    TComponent* c = make(Form);
    c->SetComponentState(TComponentState{csLoading});
    c->ReadState(&r);
    made.push_back(c);
  }
  r.FixupReferences();
  EXPECT_EQ(M.Position(), M.Size());
  return made;
}

void LoadedAll(const std::vector<TComponent*>& Made) {
  for (TComponent* c : Made) c->Loaded();
}

TComponent* MakeDataSet(TComponent* Form) { return new TdaODDataSet(Form); }
TComponent* MakeConnection(TComponent* Form) { return new THdbc(Form); }

// A form with two connections (Baza first) and a data source that is no connection.
struct Form {
  TComponent Owner{nullptr};
  THdbc* Baza = new THdbc(&Owner);
  THdbc* Druga = new THdbc(&Owner);
  TDataSource* Source = new TDataSource(&Owner);
  Form() {
    Owner.SetName("Form1");
    Baza->SetName("Baza");
    Druga->SetName("Druga");
    Source->SetName("dsArtikli");
  }
};

}  // namespace

TEST(DaODDataSet, DefaultsAndPublishedLists) {
  TdaODDataSet ds(nullptr);
  EXPECT_TRUE(ds.ValidateWithMask());
  EXPECT_EQ(ds.ControlType()->Count(), 0);
  EXPECT_EQ(ds.PictureMasks()->Count(), 0);
  EXPECT_EQ(ds.DatabaseName(), "");
  EXPECT_EQ(ds.hDbc(), nullptr);
  EXPECT_FALSE(ds.OnInvalidValue);
  // On an owner that holds connections the data set takes the first, and names it.
  Form f;
  auto* owned = new TdaODDataSet(&f.Owner);
  EXPECT_EQ(owned->DatabaseName(), "Baza");

  // Published after the query's properties; the helpers find the lists by name.
  std::vector<std::string> names = GetPropNames(&ds);
  ASSERT_GE(names.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(names.end() - 4, names.end()),
            (std::vector<std::string>{"ControlType", "PictureMasks", "ValidateWithMask", "DatabaseName"}));
  EXPECT_TRUE(IsPublishedProp(&ds, "SQL"));
  EXPECT_EQ(GetPictureMasks(&ds), ds.PictureMasks());
  EXPECT_EQ(GetControlTypes(&ds), ds.ControlType());
  TODQuery plain(nullptr);
  EXPECT_EQ(GetPictureMasks(&plain), nullptr);
  EXPECT_FALSE(IsPublishedProp(&plain, "DatabaseName"));
}

TEST(DaODDataSet, ListsTakeACopyOfTheLines) {
  TdaODDataSet ds(nullptr);
  TStringList masks{"NAME\t&###\tT\tF"};
  ds.SetPictureMasks(&masks);
  masks.Add("qty\t##\tT\tT");
  masks.Put(0, "name\t#");
  EXPECT_EQ(ds.PictureMasks()->Text(), "NAME\t&###\tT\tF\r\n");
  std::string mask;
  bool flag1 = false, flag2 = true;
  GetFieldMask(&ds, "name", true, mask, flag1, flag2);
  EXPECT_EQ(mask, "&###");
  EXPECT_TRUE(flag1);
  EXPECT_FALSE(flag2);

  TStringList types{"opis;RichEdit"};
  SetPropValue(&ds, "ControlType", static_cast<TObject*>(&types));
  types.Clear();
  EXPECT_EQ(ds.ControlType()->Text(), "opis;RichEdit\r\n");
  ds.SetPictureMasks(ds.PictureMasks());  // its own lines stay
  EXPECT_EQ(ds.PictureMasks()->Count(), 1);
  ds.SetPictureMasks(nullptr);
  EXPECT_EQ(ds.PictureMasks()->Count(), 0);
}

TEST(DaODDataSet, DatabaseNameNamesAConnectionOfTheOwner) {
  Form f;
  auto* ds = new TdaODDataSet(&f.Owner);
  struct Case {
    const char* Name;
    THdbc* Expected;
  };
  for (const Case& c : {Case{"Druga", f.Druga}, Case{"dsArtikli", f.Druga}, Case{"Nikogar", f.Druga},
                        Case{"", f.Druga}, Case{"baza", f.Baza}, Case{"Form1", f.Baza}, Case{"DRUGA", f.Druga}}) {
    SetPropValue(ds, "DatabaseName", std::string(c.Name));
    EXPECT_EQ(ds->hDbc(), c.Expected) << c.Name;
    EXPECT_EQ(GetStrProp(ds, "DatabaseName"), c.Expected->Name()) << c.Name;
  }
  // The connection goes: no name is left behind.
  delete f.Druga;
  EXPECT_EQ(ds->hDbc(), nullptr);
  EXPECT_EQ(ds->DatabaseName(), "");

  // Without an owner the name is ignored, also when set while loading.
  TdaODDataSet alone(nullptr);
  alone.SetDatabaseName("Baza");
  EXPECT_EQ(alone.hDbc(), nullptr);
  alone.SetComponentState(TComponentState{csLoading});
  alone.SetDatabaseName("Baza");
  alone.Loaded();
  EXPECT_EQ(alone.hDbc(), nullptr);
}

TEST(DaODDataSet, DatabaseNameFromAFormStreamWaitsForTheConnectionInEitherOrder) {
  // A data set stream with its name and DatabaseName only (no connection reference), and the
  // components of the form before or after it.
  struct Case {
    const char* What;
    bool DataSetFirst;
    const char* DatabaseName;
    bool Resolves;
  };
  const Case cases[] = {
      {"data set first", true, "Druga", true},
      {"connections first", false, "Druga", true},
      {"not a connection, data set first", true, "dsArtikli", false},
      {"not a connection, connections first", false, "dsArtikli", false},
      {"no such component", true, "Nikogar", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TMemoryStream m;
    auto named = [&m](const char* Name) {
      TWriter w(&m);
      w.WritePropName("Name");
      w.WriteString(Name);
      w.WriteListEnd();
    };
    auto dataSet = [&] {
      TWriter w(&m);
      w.WritePropName("Name");
      w.WriteString("qArtikli");
      w.WritePropName("DatabaseName");
      w.WriteString(c.DatabaseName);
      w.WriteListEnd();
    };
    Makers make;
    auto others = [&] {
      for (const char* n : {"Baza", "Druga"}) {
        named(n);
        make.push_back(MakeConnection);
      }
      named("dsArtikli");
      make.push_back([](TComponent* F) { return new TDataSource(F); });
    };
    if (c.DataSetFirst) {
      dataSet();
      make.push_back(MakeDataSet);
      others();
    } else {
      others();
      dataSet();
      make.push_back(MakeDataSet);
    }

    TComponent form(nullptr);
    form.SetName("Form1");
    std::vector<TComponent*> made = ReadForm(m, &form, make);
    auto* ds = dynamic_cast<TdaODDataSet*>(form.FindComponent("qArtikli"));
    ASSERT_NE(ds, nullptr);
    THdbc* before = ds->hDbc();
    LoadedAll(made);
    auto* druga = dynamic_cast<THdbc*>(form.FindComponent("Druga"));
    EXPECT_EQ(ds->hDbc(), c.Resolves ? druga : before);
    EXPECT_FALSE(ds->ComponentState().Contains(csLoading));
  }
}

TEST(DaODDataSet, AFormRoundTripKeepsTheListsAndTheNamedConnection) {
  Form f;
  auto* ds = new TdaODDataSet(&f.Owner);
  ds->SetName("qArtikli");
  ds->SetDatabaseName("Druga");
  ds->SQL()->Add("SELECT id, name");
  ds->SQL()->Add("FROM t");
  TStringList masks{"name\t&###\tT\tF", "qty\t##\tF\tT"}, types{"opis;RichEdit"};
  ds->SetPictureMasks(&masks);
  ds->SetControlType(&types);
  ds->SetValidateWithMask(false);

  for (bool dataSetFirst : {true, false}) {
    SCOPED_TRACE(dataSetFirst ? "data set first" : "connections first");
    TMemoryStream m;
    Makers make;
    auto connections = [&] {
      for (THdbc* dbc : {f.Baza, f.Druga}) {
        TWriter(&m).WriteProperties(dbc);
        make.push_back(MakeConnection);
      }
    };
    if (!dataSetFirst) connections();
    TWriter(&m).WriteProperties(ds);
    make.push_back(MakeDataSet);
    if (dataSetFirst) connections();

    TComponent form(nullptr);
    form.SetName("Form1");
    LoadedAll(ReadForm(m, &form, make));
    auto* back = dynamic_cast<TdaODDataSet*>(form.FindComponent("qArtikli"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->hDbc(), form.FindComponent("Druga"));
    EXPECT_EQ(back->DatabaseName(), "Druga");
    EXPECT_EQ(back->SQL()->Text(), "SELECT id, name\r\nFROM t\r\n");
    EXPECT_EQ(back->PictureMasks()->Text(), masks.Text());
    EXPECT_EQ(back->ControlType()->Text(), types.Text());
    EXPECT_FALSE(back->ValidateWithMask());
  }
}

// ---- the check before a post, on both drivers and in both modes ---------------------------

DS_ALL(MaskRefusesThePostAndTheRecordStaysInEdit) {
  F.Table({"1, 'ena', 10", "2, 'dva', 20"});
  auto* d = new TdaODDataSet(F.Owner.get());
  d->SetDatabaseName("Baza");
  d->SQL()->Add("SELECT id, name, qty FROM t ORDER BY id");
  d->SetCached(InCache);
  d->SetRequestLive(true);
  TStringList masks{"NAME\t*?\tT\tT", "qty\t##\tT\tT", "id\t###\tT\tT"};
  d->SetPictureMasks(&masks);
  std::vector<std::string> steps;
  d->BeforePost = [&](TDataSet*) { steps.push_back("BeforePost"); };
  d->OnInvalidValue = [&](TDataSet* DataSet, TField* Field) {
    EXPECT_EQ(DataSet, d);
    steps.push_back("OnInvalidValue " + Field->FieldName());
  };
  d->Open();
  TDataSource source(nullptr);
  source.SetDataSet(d);
  FocusLink link;
  link.SetDataSource(&source);
  TField* name = d->FieldByName("name");
  TField* id = d->FieldByName("id");
  // The key breaks its mask too ("###" wants three digits), but is read-only: passed over.
  id->SetReadOnly(true);

  ASSERT_TRUE(d->Locate("id", Variant(2), {}));
  d->Edit();
  name->SetAsString("dva2");
  try {
    d->Post();
    FAIL() << "posted";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Invalid characters. Field : name");
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"BeforePost", "OnInvalidValue name"}));
  EXPECT_EQ(link.Focused, name);
  EXPECT_EQ(link.Count, 1);
  EXPECT_EQ(d->State(), dsEdit);
  EXPECT_EQ(name->AsString(), "dva2");
  EXPECT_EQ(F.Db("SELECT id, name, qty FROM t ORDER BY id"), (DataSetFixture::Rows{{"1", "ena", "10"}, {"2", "dva", "20"}}));

  // An empty value passes its mask.
  name->SetAsString("dvadva");
  d->FieldByName("qty")->Clear();
  d->Post();
  EXPECT_EQ(d->State(), dsBrowse);
  EXPECT_EQ(F.Db("SELECT name, qty FROM t WHERE id = 2"), (DataSetFixture::Rows{{"dvadva", "<NULL>"}}));
  EXPECT_EQ(link.Count, 1);

  // Without ValidateWithMask the record posts whatever its masks say.
  d->SetValidateWithMask(false);
  d->Edit();
  name->SetAsString("dva2");
  d->Post();
  EXPECT_EQ(F.Db("SELECT name FROM t WHERE id = 2"), (DataSetFixture::Rows{{"dva2"}}));
  EXPECT_EQ(steps.size(), 4u);
}
