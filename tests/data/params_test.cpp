#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "filer.h"
#include "formatsettings.h"
#include "memdataset.h"
#include "params.h"
#include "streams.h"

namespace {

std::vector<unsigned char> DataOf(const TParam* p) {
  std::vector<unsigned char> b(size_t(p->GetDataSize()), 0xAA);
  p->GetData(b.data());
  return b;
}

template <class T>
std::vector<unsigned char> Bytes(T v) {
  std::vector<unsigned char> b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}

TEST(Params, TypedSettersSetTypeAndNativeLayout) {
  TParams params;
  TDateTime day = EncodeDate(2024, 5, 6);
  TDateTime clock = EncodeTime(10, 30, 0, 0);
  struct Case {
    const char* name;
    std::function<void(TParam*)> set;
    TFieldType type;
    std::vector<unsigned char> native;
  };
  const std::vector<Case> cases = {
      {"Boolean", [](TParam* p) { p->SetAsBoolean(true); }, ftBoolean, Bytes(std::uint16_t(1))},
      {"Float", [](TParam* p) { p->SetAsFloat(1.5); }, ftFloat, Bytes(1.5)},
      {"Currency", [](TParam* p) { p->SetAsCurrency(Currency{12345}); }, ftCurrency, Bytes(1.2345)},
      {"Integer", [](TParam* p) { p->SetAsInteger(-123456); }, ftInteger, Bytes(std::int32_t(-123456))},
      {"Word", [](TParam* p) { p->SetAsWord(65535); }, ftWord, Bytes(std::uint16_t(65535))},
      {"SmallInt", [](TParam* p) { p->SetAsSmallInt(-2); }, ftSmallint, Bytes(std::int16_t(-2))},
      {"LargeInt", [](TParam* p) { p->SetAsLargeInt(1LL << 40); }, ftLargeint, Bytes(std::int64_t(1LL << 40))},
      {"String", [](TParam* p) { p->SetAsString("čaj"); }, ftString, {0xC4, 0x8D, 'a', 'j', 0}},
      {"Memo", [](TParam* p) { p->SetAsMemo("ab"); }, ftMemo, {'a', 'b', 0}},
      {"Date", [=](TParam* p) { p->SetAsDate(day); }, ftDate, Bytes(std::int32_t(739012))},
      {"Time", [=](TParam* p) { p->SetAsTime(clock); }, ftTime, Bytes(std::int32_t(37800000))},
      {"DateTime", [=](TParam* p) { p->SetAsDateTime(day + clock); }, ftDateTime,
       Bytes(739012.0 * 86400000.0 + 37800000.0)},
      {"Blob", [](TParam* p) { p->SetAsBlob(std::string("\0\1\2", 3)); }, ftBlob, {0, 1, 2}},
  };
  for (const Case& c : cases) {
    TParam* p = params.CreateParam(ftUnknown, c.name, ptInput);
    EXPECT_FALSE(p->Bound());
    c.set(p);
    EXPECT_EQ(p->DataType(), c.type) << c.name;
    EXPECT_TRUE(p->Bound()) << c.name;
    EXPECT_FALSE(p->IsNull()) << c.name;
    EXPECT_EQ(DataOf(p), c.native) << c.name;

    // The native form reads back into the same value.
    TParam* back = params.CreateParam(c.type, std::string(c.name) + "2", ptInput);
    std::vector<unsigned char> raw = DataOf(p);
    back->SetData(raw.data(), int(raw.size()));
    EXPECT_TRUE(back->Value() == p->Value()) << c.name;
  }
  EXPECT_EQ(params.ParamByName("Date")->AsDate(), day);
  EXPECT_EQ(params.ParamByName("string")->AsString(), "čaj");  // names ignore case
  EXPECT_EQ(params.ParamByName("Currency")->AsCurrency().Value, 12345);

  EXPECT_THROW(params.ParamByName("Word")->SetAsWord(65536), EDatabaseError);
  EXPECT_THROW(params.ParamByName("SmallInt")->SetAsSmallInt(32768), EDatabaseError);
  EXPECT_EQ(params.ParamByName("SmallInt")->AsSmallInt(), -2);
}

TEST(Params, NullValuesAndTypeChanges) {
  TParams params;
  TParam* p = params.CreateParam(ftInteger, "N", ptInput);
  EXPECT_TRUE(p->IsNull());
  EXPECT_EQ(p->AsInteger(), 0);
  EXPECT_EQ(p->GetDataSize(), 4);
  std::int32_t raw = 99;
  p->GetData(&raw);
  EXPECT_EQ(raw, 0);  // a NULL parameter writes zeros

  p->SetAsInteger(12);
  p->SetDataType(ftString);
  EXPECT_EQ(p->AsString(), "12");
  p->SetDataType(ftInteger);
  EXPECT_EQ(p->AsInteger(), 12);
  p->SetAsString("dvanajst");
  p->SetDataType(ftInteger);  // does not convert: cleared
  EXPECT_TRUE(p->IsNull());
  EXPECT_EQ(p->DataType(), ftInteger);

  p->SetValue(Null());
  EXPECT_TRUE(p->IsNull());
  EXPECT_TRUE(p->Bound());

  // A 16-bit parameter never keeps a wrapped value: a value out of its range is refused, and
  // a type change to a range that cannot hold the value clears it.
  TParam* s = params.CreateParam(ftSmallint, "S", ptInput);
  EXPECT_THROW(s->SetValue(70000), EVariantError);
  EXPECT_THROW(s->SetValue(-32769), EVariantError);
  s->SetValue(-32768);
  EXPECT_EQ(s->AsInteger(), -32768);
  s->SetDataType(ftWord);
  EXPECT_TRUE(s->IsNull());
  s->SetValue(65535);
  EXPECT_EQ(s->AsInteger(), 65535);
  EXPECT_THROW(s->SetValue(65536), EVariantError);
  s->SetDataType(ftSmallint);
  EXPECT_TRUE(s->IsNull());
  TParam* q = params.CreateParam(ftUnknown, "V", ptInput);
  q->SetValue(Variant(2.5));
  EXPECT_EQ(q->DataType(), ftFloat);
  q->Clear();
  EXPECT_TRUE(q->IsNull());
  EXPECT_EQ(q->DataType(), ftFloat);

  // Raw blob data keeps a memo a memo.
  TParam* m = params.CreateParam(ftMemo, "M", ptOutput);
  m->SetBlobData("xyz", 3);
  EXPECT_EQ(m->DataType(), ftMemo);
  EXPECT_EQ(m->AsMemo(), "xyz");
  TParam* u = params.CreateParam(ftUnknown, "U", ptOutput);
  u->SetBlobData("\0a", 2);
  EXPECT_EQ(u->DataType(), ftBlob);
  EXPECT_EQ(u->GetDataSize(), 2);

  try {
    params.ParamByName("Nope");
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Parameter 'Nope' not found");
  }
  EXPECT_EQ(params.FindParam("nope"), nullptr);

  TParam* v = params.FindParam("V");
  params.RemoveParam(v);
  EXPECT_EQ(params.FindParam("V"), nullptr);
  EXPECT_EQ(v->Collection(), nullptr);
  params.AddParam(v);
  EXPECT_EQ(params.FindParam("V"), v);
}

TEST(Params, AssignFieldAndAssignValuesByName) {
  TMemDataSet ds;
  ds.FieldDefs()->Add("Qty", ftInteger);
  ds.FieldDefs()->Add("Name", ftString, 10);
  ds.FieldDefs()->Add("Day", ftDate);
  ds.Open();
  ds.AppendRecord({3, Null(), EncodeDate(2024, 1, 2)});

  TParams params(&ds);
  EXPECT_EQ(params.Owner(), &ds);
  TParam* qty = params.CreateParam(ftUnknown, "QTY", ptInput);
  qty->AssignField(ds.FieldByName("Qty"));
  EXPECT_EQ(qty->DataType(), ftInteger);
  EXPECT_EQ(qty->AsInteger(), 3);
  EXPECT_EQ(qty->Name(), "Qty");
  EXPECT_TRUE(qty->Bound());
  TParam* name = params.CreateParam(ftUnknown, "Name", ptInput);
  name->SetAsString("stara");
  name->AssignField(ds.FieldByName("Name"));
  EXPECT_TRUE(name->IsNull());
  EXPECT_EQ(name->DataType(), ftString);
  TParam* day = params.CreateParam(ftUnknown, "Day", ptInput);
  day->AssignField(ds.FieldByName("Day"));
  EXPECT_EQ(day->DataType(), ftDate);
  std::int32_t native = 0;
  day->GetData(&native);
  EXPECT_EQ(native, 693594 + int(EncodeDate(2024, 1, 2)));

  TParams target;
  target.CreateParam(ftInteger, "Qty", ptInput)->SetAsInteger(1);
  target.CreateParam(ftString, "Other", ptOutput)->SetAsString("ostane");
  TParams source;
  source.CreateParam(ftString, "qty", ptInput)->SetAsString("7");
  source.CreateParam(ftInteger, "Missing", ptInput)->SetAsInteger(5);
  target.AssignValues(&source);
  EXPECT_EQ(target.Count(), 2);
  EXPECT_EQ(target.ParamByName("Qty")->DataType(), ftString);
  EXPECT_EQ(target.ParamByName("Qty")->AsString(), "7");
  EXPECT_EQ(target.ParamByName("Other")->AsString(), "ostane");
  EXPECT_EQ(target.ParamByName("Other")->ParamType(), ptOutput);

  Variant both = target.ParamValues("Qty;Other");
  EXPECT_EQ(both[1].AsString(), "ostane");
  target.SetParamValues("Qty;Other", VarArrayOf({"8", "nova"}));
  EXPECT_EQ(target.ParamByName("Other")->AsString(), "nova");
}

TEST(Params, StreamPropertyKeepsNamesTypesAndValues) {
  TParams params;
  params.CreateParam(ftString, "S", ptInput)->SetAsString("žaga");
  params.CreateParam(ftInteger, "I", ptInputOutput)->SetAsInteger(-5);
  params.CreateParam(ftDateTime, "D", ptOutput)->SetAsDateTime(EncodeDate(2020, 2, 29) + 0.5);
  params.CreateParam(ftCurrency, "C", ptInput)->SetAsCurrency(Currency{-15});
  params.CreateParam(ftFloat, "N", ptResult);  // NULL, not bound

  TMemoryStream stream;
  {
    TWriter writer(&stream);
    params.WriteData(&writer);
  }
  stream.SetPosition(0);
  TParams read;
  read.CreateParam(ftInteger, "Old", ptInput);
  TReader reader(&stream);
  read.ReadData(&reader);
  EXPECT_TRUE(read.IsEqual(&params));
  EXPECT_EQ(read.ParamByName("S")->AsString(), "žaga");
  EXPECT_EQ(read.ParamByName("I")->ParamType(), ptInputOutput);
  EXPECT_EQ(read.ParamByName("C")->AsCurrency().Value, -15);
  EXPECT_TRUE(read.ParamByName("N")->IsNull());
  EXPECT_FALSE(read.ParamByName("N")->Bound());
  EXPECT_EQ(read.FindParam("Old"), nullptr);

  // Through the defined property "Data" of a form stream.
  TMemoryStream form;
  {
    TWriter writer(&form);
    writer.WriteProperties(&params);
  }
  form.SetPosition(0);
  TParams viaForm;
  TReader formReader(&form);
  formReader.ReadProperties(&viaForm);
  EXPECT_TRUE(viaForm.IsEqual(&params));

  // A cut stream raises the reader's error.
  TMemoryStream cut;
  cut.WriteBuffer(stream.Memory(), stream.Size() / 2);
  cut.SetPosition(0);
  TReader cutReader(&cut);
  TParams broken;
  EXPECT_THROW(broken.ReadData(&cutReader), EReadError);
}

TEST(Variants, ConversionsAndFailures) {
  TFormatSettings saved = FormatSettings();
  FormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(Variant("12").AsInteger(), 12);
  EXPECT_DOUBLE_EQ(Variant("1,5").AsDouble(), 1.5);
  EXPECT_EQ(Variant(1.5).AsString(), "1,5");
  EXPECT_EQ(Variant(2.5).AsInteger(), 2);
  EXPECT_EQ(Variant(true).AsString(), "True");
  EXPECT_TRUE(Variant("true").AsBoolean());
  EXPECT_EQ(Variant().AsString(), "");
  EXPECT_EQ(Variant().AsInteger(), 0);
  EXPECT_EQ(Variant(Currency{15000}).AsString(), "1,5");
  EXPECT_EQ(VarToStr(Null()), "");
  EXPECT_TRUE(Variant(3) == Variant(3.0));
  EXPECT_FALSE(Variant("3") == Variant(3));
  EXPECT_TRUE(Null() == Null());
  EXPECT_FALSE(Null() == Variant());

  struct Bad {
    Variant value;
    std::function<void(const Variant&)> convert;
    std::string message;
  };
  const std::vector<Bad> bad = {
      {Null(), [](const Variant& v) { (void)v.AsInteger(); },
       "Could not convert variant of type (Null) into type (Integer)"},
      {Null(), [](const Variant& v) { (void)v.AsString(); },
       "Could not convert variant of type (Null) into type (String)"},
      {Variant("abc"), [](const Variant& v) { (void)v.AsDouble(); },
       "Could not convert variant of type (String) into type (Double)"},
      {Variant("1.5"), [](const Variant& v) { (void)v.AsDouble(); },
       "Could not convert variant of type (String) into type (Double)"},
      {Variant("x"), [](const Variant& v) { (void)v.AsBoolean(); },
       "Could not convert variant of type (String) into type (Boolean)"},
      {Variant("99999999999"), [](const Variant& v) { (void)v.AsInteger(); },
       "Could not convert variant of type (String) into type (Integer)"},
      {Variant("zdaj"), [](const Variant& v) { (void)v.AsDateTime(); },
       "Could not convert variant of type (String) into type (Date)"},
      {VarArrayOf({1, 2}), [](const Variant& v) { (void)v.AsString(); },
       "Could not convert variant of type (Array Variant) into type (String)"},
      {Variant(1), [](const Variant& v) { (void)v[0]; }, "Variant is not an array"},
      {VarArrayOf({1}), [](const Variant& v) { (void)v[1]; }, "Variant array index out of bounds"},
  };
  for (const Bad& b : bad) {
    try {
      b.convert(b.value);
      ADD_FAILURE() << b.message;
    } catch (const EVariantError& e) {
      EXPECT_EQ(e.Message(), b.message);
    }
  }

  Variant arr = VarArrayOf({1, "dva", Null()});
  EXPECT_TRUE(arr.IsArray());
  EXPECT_EQ(arr.ArrayLowBound(), 0);
  EXPECT_EQ(arr.ArrayHighBound(), 2);
  Variant copy = arr;
  copy[0] = Variant(5);  // copies do not share their elements
  EXPECT_EQ(arr[0].AsInteger(), 1);
  EXPECT_EQ(copy[0].AsInteger(), 5);
  FormatSettings() = saved;
}

}  // namespace
