// What the form streams of components with options objects need: set and enumeration
// properties, stored defaults, sub-objects and references to other components.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classes.h"
#include "filer.h"
#include "published.h"

namespace {

enum TColour { clRed, clGreen, clBlue };
using TColours = TSmallSet<TColour>;
const char* const ColourNames[] = {"clRed", "clGreen", "clBlue"};

// An options object with defaults, as a data set's statement options are.
class TOptionsLike : public TPersistent {
public:
  int Size() const { return FSize; }
  void SetSize(int v) { FSize = v; }
  bool Flag() const { return FFlag; }
  void SetFlag(bool v) { FFlag = v; }
  TColour Colour() const { return FColour; }
  void SetColour(TColour v) { FColour = v; }
  TColours Colours() const { return FColours; }
  void SetColours(TColours v) { FColours = v; }
  ZEL_CLASS(TOptionsLike, TPersistent)

private:
  int FSize = 32768;
  bool FFlag = true;
  TColour FColour = clGreen;
  TColours FColours{clGreen};
};

class TConnLike : public TComponent {
public:
  using TComponent::TComponent;
  ZEL_CLASS(TConnLike, TComponent)
};

class TQueryLike : public TComponent {
public:
  using TComponent::TComponent;
  TConnLike* Conn() const { return FConn.Get(); }
  void SetConn(TConnLike* v) { FConn = v; }
  TOptionsLike* Options() const { return const_cast<TOptionsLike*>(&FOptions); }
  TStringList* Lines() const { return const_cast<TStringList*>(&FLines); }
  ZEL_CLASS(TQueryLike, TComponent)

private:
  TComponentRef<TConnLike> FConn;
  TOptionsLike FOptions;
  TStringList FLines;
};

void RegisterOnce() {
  static bool done = [] {
    RegisterPublishedClass("TQueryLike", "TComponent");
    PublishProperty("TQueryLike", "Conn", &TQueryLike::Conn, &TQueryLike::SetConn);
    PublishProperty("TQueryLike", "Options", &TQueryLike::Options);
    PublishProperty("TQueryLike", "Lines", &TQueryLike::Lines);
    PublishProperty("TOptionsLike", "Size", &TOptionsLike::Size, &TOptionsLike::SetSize).Default = std::int64_t(32768);
    PublishProperty("TOptionsLike", "Flag", &TOptionsLike::Flag, &TOptionsLike::SetFlag).Default = true;
    PublishEnumProperty("TOptionsLike", "Colour", ColourNames, &TOptionsLike::Colour, &TOptionsLike::SetColour)
        .Default = std::string("clGreen");
    PublishSetProperty("TOptionsLike", "Colours", ColourNames, &TOptionsLike::Colours, &TOptionsLike::SetColours)
        .Default = TPropSet{{"clGreen"}};
    return true;
  }();
  (void)done;
}

std::string Bytes(TMemoryStream& m) { return std::string(static_cast<char*>(m.Memory()), size_t(m.Size())); }

}  // namespace

TEST(FormStream, DefaultsAreLeftOutAndOtherValuesRoundTrip) {
  RegisterOnce();
  TComponent form(nullptr);
  form.SetName("Form1");
  auto* q = new TQueryLike(&form);
  q->SetName("qry");

  TMemoryStream plain;
  TWriter(&plain).WriteProperties(q);
  EXPECT_EQ(Bytes(plain).find("Options"), std::string::npos);  // every option has its default

  q->Options()->SetSize(4096);
  q->Options()->SetFlag(false);
  q->Options()->SetColour(clBlue);
  q->Options()->SetColours(TColours{clRed, clBlue});
  TMemoryStream m;
  TWriter(&m).WriteProperties(q);
  const std::string bytes = Bytes(m);
  // An enumeration is an identifier, a set the identifiers of its members up to an empty one.
  EXPECT_NE(bytes.find(std::string("\x0EOptions.Colour\x07\x06" "clBlue")), std::string::npos);
  EXPECT_NE(bytes.find(std::string("\x0FOptions.Colours\x0B\x05" "clRed\x06" "clBlue\x00", 25)), std::string::npos);
  EXPECT_NE(bytes.find(std::string("\x0COptions.Flag\x08")), std::string::npos);

  m.SetPosition(0);
  TQueryLike back(nullptr);
  TReader r(&m);
  back.ReadState(&r);
  EXPECT_EQ(back.Options()->Size(), 4096);
  EXPECT_FALSE(back.Options()->Flag());
  EXPECT_EQ(back.Options()->Colour(), clBlue);
  EXPECT_EQ(back.Options()->Colours(), (TColours{clRed, clBlue}));
  EXPECT_EQ(m.Position(), m.Size());

  // The empty set is a value of its own (not the default here).
  q->Options()->SetColours(TColours{});
  TMemoryStream e;
  TWriter(&e).WriteProperties(q);
  EXPECT_NE(Bytes(e).find(std::string("\x0FOptions.Colours\x0B\x00", 18)), std::string::npos);
  e.SetPosition(0);
  TReader re(&e);
  back.ReadState(&re);
  EXPECT_TRUE(back.Options()->Colours().Empty());
}

TEST(FormStream, UnknownIdentifiersOfEnumerationsAndSetsRaise) {
  RegisterOnce();
  struct Case { const char* what; std::string bytes; };
  const Case cases[] = {
      {"enum", std::string("\x0EOptions.Colour\x07\x06" "clPink\x00", 24)},
      {"set", std::string("\x0FOptions.Colours\x0B\x06" "clPink\x00\x00", 26)},
      {"set cut", std::string("\x0FOptions.Colours\x0B\x05" "clRed", 23)},
  };
  for (const Case& c : cases) {
    TMemoryStream m;
    m.WriteBuffer(c.bytes.data(), std::int64_t(c.bytes.size()));
    m.SetPosition(0);
    TQueryLike q(nullptr);
    TReader r(&m);
    EXPECT_THROW(q.ReadState(&r), EReadError) << c.what;
  }
}

TEST(FormStream, ComponentReferencesAreNamesResolvedInTheRoot) {
  RegisterOnce();
  TComponent form(nullptr);
  form.SetName("Form1");
  auto* conn = new TConnLike(&form);
  conn->SetName("Baza");
  auto* q = new TQueryLike(&form);
  q->SetName("qry");
  q->SetConn(conn);
  q->Lines()->SetText("SELECT *\nFROM ARTIKLI");

  TMemoryStream m;
  TWriter(&m).WriteProperties(q);
  EXPECT_NE(Bytes(m).find(std::string("\x04" "Conn\x07\x04" "Baza")), std::string::npos);

  // Read into a query of another form that has its own "Baza".
  TComponent form2(nullptr);
  form2.SetName("Form2");
  auto* conn2 = new TConnLike(&form2);
  conn2->SetName("Baza");
  auto* q2 = new TQueryLike(&form2);
  m.SetPosition(0);
  TReader r(&m);
  q2->ReadState(&r);
  EXPECT_EQ(q2->Conn(), conn2);
  EXPECT_EQ(q2->Lines()->Text(), "SELECT *\r\nFROM ARTIKLI\r\n");
  r.FixupReferences();  // nothing waits

  // A reference to a component of another owner is qualified by that owner's name.
  TComponent app(nullptr);
  auto* module = new TComponent(&app);
  module->SetName("DataModule");
  auto* shared = new TConnLike(module);
  shared->SetName("Shared");
  auto* formA = new TComponent(&app);
  formA->SetName("FormA");
  auto* qa = new TQueryLike(formA);
  qa->SetName("qa");
  qa->SetConn(shared);
  TMemoryStream ma;
  TWriter(&ma).WriteProperties(qa);
  EXPECT_NE(Bytes(ma).find(std::string("\x04" "Conn\x07\x11" "DataModule.Shared")), std::string::npos);
  auto* formB = new TComponent(&app);
  formB->SetName("FormB");
  auto* qb = new TQueryLike(formB);
  ma.SetPosition(0);
  TReader ra(&ma);
  qb->ReadState(&ra);
  EXPECT_EQ(qb->Conn(), shared);

  // Freed, the reference is gone and nothing is written for it.
  delete conn;
  EXPECT_EQ(q->Conn(), nullptr);
  TMemoryStream none;
  TWriter(&none).WriteProperties(q);
  EXPECT_EQ(Bytes(none).find("Conn"), std::string::npos);
}

TEST(FormStream, AReferenceToAComponentReadLaterWaitsForTheFixup) {
  RegisterOnce();
  TMemoryStream m;
  {
    TWriter w(&m);
    w.WritePropName("Conn");
    w.WriteIdent("Later");
    w.WriteListEnd();
  }
  TComponent form(nullptr);
  auto* q = new TQueryLike(&form);
  m.SetPosition(0);
  TReader r(&m);
  q->ReadState(&r);
  EXPECT_EQ(q->Conn(), nullptr);
  auto* later = new TConnLike(&form);
  later->SetName("Later");
  r.FixupReferences();
  EXPECT_EQ(q->Conn(), later);

  // A name that never comes raises; "nil" clears.
  m.SetPosition(0);
  TReader r2(&m);
  auto* q2 = new TQueryLike(&form);
  later->SetName("Renamed");
  q2->ReadState(&r2);
  try {
    r2.FixupReferences();
    ADD_FAILURE();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Unresolved reference to Later");
  }
  TMemoryStream nil;
  {
    TWriter w(&nil);
    w.WritePropName("Conn");
    w.WriteIdent("nil");
    w.WriteListEnd();
  }
  nil.SetPosition(0);
  TReader rn(&nil);
  q->ReadState(&rn);
  EXPECT_EQ(q->Conn(), nullptr);
}
