#include <gtest/gtest.h>

#include <cstring>

#include "db.h"
#include "formatsettings.h"
#include "memdataset.h"

namespace {

class FieldsTest : public ::testing::Test {
protected:
  void SetUp() override {
    saved = FormatSettings();
    FormatSettings().DecimalSeparator = ',';
    FormatSettings().DateSeparator = '.';
    FormatSettings().ShortDateFormat = "d.m.yyyy";
    FormatSettings().LongTimeFormat = "hh:nn:ss";
    ds.FieldDefs()->Add("Text", ftString, 3);
    ds.FieldDefs()->Add("Small", ftSmallint);
    ds.FieldDefs()->Add("Word", ftWord);
    ds.FieldDefs()->Add("Int", ftInteger);
    ds.FieldDefs()->Add("Big", ftLargeint);
    ds.FieldDefs()->Add("Real", ftFloat);
    ds.FieldDefs()->Add("Money", ftCurrency);
    ds.FieldDefs()->Add("Dec", ftBCD, 2);
    ds.FieldDefs()->Add("Flag", ftBoolean);
    ds.FieldDefs()->Add("Day", ftDate);
    ds.FieldDefs()->Add("Clock", ftTime);
    ds.FieldDefs()->Add("Stamp", ftDateTime);
    ds.FieldDefs()->Add("Raw", ftBytes, 4);
    ds.FieldDefs()->Add("VarRaw", ftVarBytes, 4);
    ds.FieldDefs()->Add("Auto", ftAutoInc);
    ds.Open();
    ds.Append();
  }
  void TearDown() override { FormatSettings() = saved; }
  TField* F(const char* name) { return ds.FieldByName(name); }

  TFormatSettings saved;
  TMemDataSet ds;
};

TEST_F(FieldsTest, ClassesAndSizesFollowTheTypes) {
  // The type ordinals are stored in streams and taken modulo 128 by callers: they never move.
  struct Case {
    const char* field;
    const char* className;
    int dataSize;
    int ordinal;
    const char* typeName;
  };
  const Case cases[] = {
      {"Text", "TStringField", 3 * 4 + 1, 1, "ftString"}, {"Small", "TSmallintField", 2, 2, "ftSmallint"},
      {"Word", "TWordField", 2, 4, "ftWord"},             {"Int", "TIntegerField", 4, 3, "ftInteger"},
      {"Big", "TLargeintField", 8, 25, "ftLargeint"},     {"Real", "TFloatField", 8, 6, "ftFloat"},
      {"Money", "TCurrencyField", 8, 7, "ftCurrency"},    {"Dec", "TBCDField", 8, 8, "ftBCD"},
      {"Flag", "TBooleanField", 2, 5, "ftBoolean"},       {"Day", "TDateField", 4, 9, "ftDate"},
      {"Clock", "TTimeField", 4, 10, "ftTime"},           {"Stamp", "TDateTimeField", 8, 11, "ftDateTime"},
      {"Raw", "TBytesField", 4, 12, "ftBytes"},           {"VarRaw", "TVarBytesField", 6, 13, "ftVarBytes"},
      {"Auto", "TAutoIncField", 4, 14, "ftAutoInc"},
  };
  for (const Case& c : cases) {
    TField* f = F(c.field);
    EXPECT_STREQ(f->ClassName(), c.className) << c.field;
    EXPECT_EQ(f->DataSize(), c.dataSize) << c.field;
    EXPECT_EQ(int(f->DataType()), c.ordinal) << c.field;
    EXPECT_STREQ(FieldTypeName(f->DataType()), c.typeName) << c.field;
    EXPECT_TRUE(f->IsNull()) << c.field;
    EXPECT_TRUE(f->InheritsFrom("TField"));
  }
  EXPECT_EQ(int(ftBlob), 15);
  EXPECT_EQ(int(ftMemo), 16);
  EXPECT_STREQ(FieldTypeName(TFieldType(200)), "ftUnknown");
  EXPECT_EQ(F("Int")->FieldNo(), 4);
  EXPECT_TRUE(F("Int")->InheritsFrom("TNumericField"));
}

TEST_F(FieldsTest, TextIsCutToTheSizeInCharacters) {
  F("Text")->SetAsString("čšžđ");
  EXPECT_EQ(F("Text")->AsString(), "čšž");
  F("Text")->SetAsString("ab");
  EXPECT_EQ(F("Text")->AsString(), "ab");
  EXPECT_FALSE(F("Text")->IsNull());
  F("Text")->SetAsString("");
  EXPECT_FALSE(F("Text")->IsNull());  // an empty text is a value
  F("Text")->Clear();
  EXPECT_TRUE(F("Text")->IsNull());
  EXPECT_EQ(F("Text")->AsString(), "");
  EXPECT_TRUE(F("Text")->AsVariant().IsNull());
  F("Text")->SetAsInteger(12);
  EXPECT_EQ(F("Text")->AsInteger(), 12);
  F("Text")->SetAsBoolean(true);
  EXPECT_TRUE(F("Text")->AsBoolean());
  F("Text")->SetAsString("abc");
  EXPECT_THROW(F("Text")->AsInteger(), EConvertError);
}

TEST_F(FieldsTest, NumbersConvertAndCheckTheirRange) {
  F("Int")->SetAsString(" 42 ");
  EXPECT_EQ(F("Int")->AsInteger(), 42);
  EXPECT_EQ(F("Int")->AsString(), "42");
  EXPECT_DOUBLE_EQ(F("Int")->AsFloat(), 42.0);
  F("Int")->SetAsFloat(2.5);  // halves to even
  EXPECT_EQ(F("Int")->AsInteger(), 2);
  F("Real")->SetAsString("1,25");
  EXPECT_DOUBLE_EQ(F("Real")->AsFloat(), 1.25);
  EXPECT_EQ(F("Real")->AsString(), "1,25");
  F("Money")->SetAsFloat(3.14159);
  EXPECT_EQ(F("Money")->AsCurrency().Value, 31416);
  F("Dec")->SetAsString("12,345");
  EXPECT_EQ(F("Dec")->AsCurrency().Value, 123450);
  EXPECT_EQ(F("Dec")->AsString(), "12,345");
  F("Big")->SetAsLargeInt(5000000000LL);
  EXPECT_EQ(F("Big")->AsLargeInt(), 5000000000LL);
  EXPECT_THROW(F("Big")->AsInteger(), EDatabaseError);
  F("Word")->SetAsInteger(65535);
  EXPECT_EQ(F("Word")->AsInteger(), 65535);

  struct Bad {
    const char* field;
    std::function<void(TField*)> set;
    const char* error;  // exception class name
    std::string message;
  };
  const Bad bad[] = {
      {"Int", [](TField* f) { f->SetAsString("12x"); }, "EConvertError",
       "'12x' is not a valid integer value for field 'Int'"},
      {"Real", [](TField* f) { f->SetAsString("1.5.2"); }, "EConvertError",
       "'1.5.2' is not a valid floating point value for field 'Real'"},
      {"Small", [](TField* f) { f->SetAsInteger(40000); }, "EDatabaseError",
       "40000 is not a valid value for field 'Small'. The allowed range is -32768 to 32767"},
      {"Word", [](TField* f) { f->SetAsInteger(-1); }, "EDatabaseError",
       "-1 is not a valid value for field 'Word'. The allowed range is 0 to 65535"},
      {"Flag", [](TField* f) { f->SetAsString("morda"); }, "EConvertError",
       "'morda' is not a valid boolean value for field 'Flag'"},
      {"Flag", [](TField* f) { f->SetAsDateTime(1.0); }, "EDatabaseError",
       "Cannot access field 'Flag' as type DateTime"},
      {"Day", [](TField* f) { f->SetAsString("32.1.2024"); }, "EConvertError",
       "'32.1.2024' is not a valid date"},
      {"Int", [](TField* f) { f->SetAsVariant(Variant("pet")); }, "EVariantError",
       "Could not convert variant of type (String) into type (Int64)"},
  };
  for (const Bad& b : bad) {
    TField* f = F(b.field);
    Variant before = f->AsVariant();
    try {
      b.set(f);
      ADD_FAILURE() << b.message;
    } catch (const Exception& e) {
      EXPECT_STREQ(e.ClassName(), b.error) << b.message;
      EXPECT_EQ(e.Message(), b.message);
    }
    EXPECT_TRUE(f->AsVariant() == before) << "a refused value changed " << b.field;
  }

  // A range of the caller's narrows the type's range.
  auto* i = static_cast<TIntegerField*>(F("Int"));
  i->SetMinValue(1);
  i->SetMaxValue(10);
  EXPECT_THROW(i->SetAsInteger(11), EDatabaseError);
  i->SetAsInteger(10);
  EXPECT_EQ(i->AsInteger(), 10);
}

TEST_F(FieldsTest, DatesAndTimesUseTheNativeLayouts) {
  TDateTime day = EncodeDate(2024, 5, 6);
  TDateTime clock = EncodeTime(10, 30, 0, 0);
  F("Day")->SetAsDateTime(day + clock);  // a date field keeps the day only
  F("Clock")->SetAsDateTime(day + clock);  // a time field the time only
  F("Stamp")->SetAsDateTime(day + clock);

  std::int32_t days = 0, ms = 0;
  double stamp = 0;
  ASSERT_TRUE(F("Day")->GetData(&days));
  ASSERT_TRUE(F("Clock")->GetData(&ms));
  ASSERT_TRUE(F("Stamp")->GetData(&stamp));
  EXPECT_EQ(days, 739012);  // 0001-01-01 is day 1, 1899-12-30 day 693594
  EXPECT_EQ(ms, 37800000);
  EXPECT_DOUBLE_EQ(stamp, 739012.0 * 86400000.0 + 37800000.0);

  EXPECT_DOUBLE_EQ(F("Day")->AsDateTime(), day);
  EXPECT_DOUBLE_EQ(F("Clock")->AsDateTime(), clock);
  EXPECT_DOUBLE_EQ(F("Stamp")->AsDateTime(), day + clock);
  EXPECT_EQ(F("Day")->AsString(), "6.5.2024");
  EXPECT_EQ(F("Clock")->AsString(), "10:30:00");
  EXPECT_EQ(F("Stamp")->AsString(), "6.5.2024 10:30:00");
  EXPECT_EQ(F("Stamp")->AsVariant().VarType(), varDate);

  F("Stamp")->SetAsString("7.5.2024 8:15");
  EXPECT_DOUBLE_EQ(F("Stamp")->AsDateTime(), EncodeDate(2024, 5, 7) + EncodeTime(8, 15, 0, 0));
  F("Day")->SetAsString("1.1.1");
  EXPECT_DOUBLE_EQ(F("Day")->AsDateTime(), EncodeDate(2001, 1, 1));  // two-digit years are 20yy

  EXPECT_EQ(DateTimeToNativeDate(EncodeDate(1899, 12, 30)), 693594);
  EXPECT_DOUBLE_EQ(NativeDateToDateTime(1), EncodeDate(1, 1, 1));
  EXPECT_DOUBLE_EQ(NativeDateTimeToDateTime(DateTimeToNativeDateTime(day + clock)), day + clock);
}

TEST_F(FieldsTest, BooleanAndBinaryValues) {
  auto* flag = static_cast<TBooleanField*>(F("Flag"));
  flag->SetAsBoolean(true);
  EXPECT_EQ(flag->AsString(), "True");
  std::uint16_t raw = 7;
  flag->GetData(&raw);
  EXPECT_EQ(raw, 1);
  flag->SetDisplayValues("Da;Ne");
  EXPECT_EQ(flag->AsString(), "Da");
  flag->SetAsString("n");
  EXPECT_FALSE(flag->AsBoolean());
  EXPECT_EQ(flag->Text(), "Ne");
  flag->SetAsVariant(Variant(true));
  EXPECT_TRUE(flag->AsBoolean());

  F("Raw")->SetAsString(std::string("ab\0cdef", 7));
  EXPECT_EQ(F("Raw")->AsString(), std::string("ab\0c", 4));
  F("VarRaw")->SetAsString("xy");
  char buf[6] = {};
  F("VarRaw")->GetData(buf);
  EXPECT_EQ(buf[0], 2);  // 16-bit length first
  EXPECT_EQ(F("VarRaw")->AsString(), "xy");
}

TEST_F(FieldsTest, TextEventsAndDisplayNames) {
  TField* f = F("Int");
  f->SetDisplayLabel("Število");
  EXPECT_EQ(f->DisplayName(), "Število");
  f->SetAsInteger(5);
  f->OnGetText = [](TField* s, std::string& text, bool display) {
    text = (display ? "prikaz " : "urejanje ") + s->AsString();
  };
  f->OnSetText = [](TField* s, const std::string& text) { s->SetAsInteger(int(text.size())); };
  EXPECT_EQ(f->DisplayText(), "prikaz 5");
  EXPECT_EQ(f->EditText(), "urejanje 5");
  f->SetEditText("abcd");
  EXPECT_EQ(f->AsInteger(), 4);
  static_cast<TFloatField*>(F("Real"))->SetDisplayFormat("0.00");
  F("Real")->SetAsFloat(2.5);
  EXPECT_EQ(F("Real")->DisplayText(), "2,50");
  EXPECT_EQ(F("Real")->Text(), "2,5");

  int changes = 0;
  F("Text")->OnChange = [&](TField*) { ++changes; };
  F("Text")->SetAsString("x");
  EXPECT_EQ(changes, 1);

  // Read-only fields refuse writes while editing.
  F("Text")->SetReadOnly(true);
  EXPECT_FALSE(F("Text")->CanModify());
  try {
    F("Text")->SetAsString("y");
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Field 'Text' cannot be modified");
  }
  EXPECT_EQ(F("Text")->AsString(), "x");

  // FocusControl reaches the links' FocusControl with the field.
  TDataSource src(nullptr);
  struct FocusLink : TDataLink {
    TField* asked = nullptr;
    void FocusControl(TField** Field) override {
      asked = *Field;
      *Field = nullptr;
    }
  } link;
  link.SetDataSource(&src);
  src.SetDataSet(&ds);
  F("Int")->FocusControl();
  EXPECT_EQ(link.asked, F("Int"));
}

TEST(FieldOwnership, FieldsLeaveTheirDataSetAndDuplicateNamesAreRefused) {
  TMemDataSet ds;
  ds.FieldDefs()->Add("A", ftInteger);
  auto* a = new TIntegerField(&ds);
  a->SetFieldName("A");
  a->SetDataSet(&ds);
  auto* dup = new TIntegerField(nullptr);
  dup->SetFieldName("a");
  try {
    dup->SetDataSet(&ds);
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Duplicate field name 'a'");
  }
  delete dup;
  EXPECT_EQ(ds.FieldCount(), 1);
  delete a;
  EXPECT_EQ(ds.FieldCount(), 0);

  // A field without a data set says so.
  TStringField lone(nullptr);
  lone.SetFieldName("Lone");
  EXPECT_THROW(lone.AsString(), EDatabaseError);

  // A field whose definition has another kind of type is refused at open.
  auto* wrong = new TStringField(&ds);
  wrong->SetFieldName("A");
  wrong->SetDataSet(&ds);
  try {
    ds.Open();
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Type mismatch for field 'A', expecting: String actual: Integer");
  }
  EXPECT_FALSE(ds.Active());
}

}  // namespace

namespace {

TEST(BlobFields, MemoAndBlobGoThroughTheDataSetsStreams) {
  TMemDataSet ds;
  ds.FieldDefs()->Add("Id", ftInteger);
  ds.FieldDefs()->Add("Note", ftMemo, 1);
  ds.FieldDefs()->Add("Pic", ftBlob);
  ds.Open();
  TField* note = ds.FieldByName("Note");
  TField* pic = ds.FieldByName("Pic");
  EXPECT_STREQ(note->ClassName(), "TMemoField");
  EXPECT_STREQ(pic->ClassName(), "TBlobField");
  EXPECT_TRUE(note->IsBlob());
  EXPECT_EQ(note->DataSize(), 0);

  int changes = 0;
  note->OnChange = [&](TField*) { ++changes; };
  ds.Append();
  ds.FieldByName("Id")->SetAsInteger(1);
  EXPECT_TRUE(note->IsNull());
  EXPECT_EQ(note->DisplayText(), "(memo)");
  std::string text(300, 'x');
  text += "konec";
  note->SetAsString(text);
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(note->IsNull());
  EXPECT_EQ(note->AsString(), text);  // a memo is not cut
  EXPECT_EQ(note->DisplayText(), "(MEMO)");
  TStringStream picture(std::string("\x89PNG\0\1", 6));
  static_cast<TBlobField*>(pic)->LoadFromStream(&picture);
  ds.Post();

  ds.Append();
  ds.FieldByName("Id")->SetAsInteger(2);
  ds.Post();
  EXPECT_TRUE(note->IsNull());
  EXPECT_TRUE(note->AsVariant().IsNull());

  ds.First();
  EXPECT_EQ(note->AsString(), text);
  TStringStream out;
  static_cast<TBlobField*>(pic)->SaveToStream(&out);
  EXPECT_EQ(out.DataString(), std::string("\x89PNG\0\1", 6));
  EXPECT_EQ(pic->AsVariant().AsString().size(), 6u);

  // Writing needs edit mode; Clear makes the value NULL; Cancel brings it back.
  EXPECT_THROW(note->SetAsString("y"), EDatabaseError);
  ds.Edit();
  note->Clear();
  EXPECT_TRUE(note->IsNull());
  EXPECT_EQ(note->AsString(), "");
  ds.Cancel();
  EXPECT_EQ(note->AsString(), text);
  ds.Edit();
  note->SetAsVariant(Variant("kratko"));
  ds.Post();
  EXPECT_EQ(note->AsString(), "kratko");
  EXPECT_EQ(note->Text(), "kratko");
}

}  // namespace
