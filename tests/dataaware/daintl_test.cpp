#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "daintl.h"
#include "dialogs.h"
#include "published.h"

namespace {

// A fresh GlobalIntl (owned by a stand-in for the application) for each test.
class IntlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeGlobalIntl();
    App = std::make_unique<TComponent>(nullptr);
    CreateGlobalIntl(App.get());
  }
  void TearDown() override {
    FreeGlobalIntl();
    App.reset();
  }
  std::unique_ptr<TComponent> App;
  TRecordingUiService Ui;
};

bool IsSkipped(const std::string& prop) { return prop == "Name" || prop == "Tag" || prop == "Connected"; }

// Every published value under Obj, sub-objects flattened to "Group.Member" paths.
void Collect(TObject* Obj, const std::string& prefix, std::map<std::string, TPropValue>& out) {
  for (const std::string& p : GetPropNames(Obj)) {
    if (IsSkipped(p)) continue;
    TPropValue v = GetPropValue(Obj, p);
    if (auto* o = std::get_if<TObject*>(&v))
      Collect(*o, prefix + p + ".", out);
    else
      out[prefix + p] = v;
  }
}

// Gives every published value under Obj a value that differs from the default.
void Scramble(TObject* Obj, const std::string& prefix) {
  for (const std::string& p : GetPropNames(Obj)) {
    if (IsSkipped(p)) continue;
    TPropValue v = GetPropValue(Obj, p);
    if (auto* o = std::get_if<TObject*>(&v))
      Scramble(*o, prefix + p + ".");
    else if (std::holds_alternative<std::string>(v))
      SetPropValue(Obj, p, std::string("x:" + prefix + p));
    else if (auto* b = std::get_if<bool>(&v))
      SetPropValue(Obj, p, !*b);
    else if (auto* i = std::get_if<std::int64_t>(&v))
      SetPropValue(Obj, p, std::int64_t(*i == 0 ? 3 : *i + 7));
  }
}

}  // namespace

TEST_F(IntlTest, DefaultsOfTheMembersTheSystemReads) {
  ASSERT_NE(GlobalIntl, nullptr);
  EXPECT_EQ(GlobalIntl->UserMessages()->PictureValidateError(), "Invalid characters. Field : ");
  EXPECT_TRUE(GlobalIntl->ADO()->UseLocateWhenFindingValue());
  EXPECT_EQ(GlobalIntl->FilterMemoSize(), 65536);
  EXPECT_EQ(GetFilterMemoSize(), 65536);
  // Two blanks after the exclamation mark stay.
  EXPECT_EQ(GlobalIntl->UserMessages()->MemoChangesWarning(),
            "Changes have been made!  Are you sure you wish to cancel?");
  // A sample of the other groups and settings.
  EXPECT_EQ(GlobalIntl->Navigator()->Hints()->PriorPageHint(), "Move backward %d records");
  EXPECT_EQ(GlobalIntl->RichEdit()->MenuLabels()->RedoCaption(), "");
  EXPECT_EQ(GlobalIntl->RichEdit()->TabDialog()->TabGroupBoxCaption(), "&Tab Stop Position");
  EXPECT_EQ(GlobalIntl->FilterDialog()->MatchAnyLabel(), "Partial Match Any&where");
  EXPECT_EQ(GlobalIntl->LocateDialog()->MatchAnyLabel(), "Partial Match &Anywhere");
  EXPECT_EQ(GlobalIntl->BtnOKCaption(), "&OK");
  EXPECT_TRUE(GlobalIntl->OKCancelBitmapped());
  EXPECT_FALSE(GlobalIntl->Connected());
  EXPECT_EQ(GlobalIntl->CheckBoxInGridStyle(), cbStyleAuto);
  EXPECT_TRUE(GlobalIntl->UseLocateMethodForSearch());
  EXPECT_EQ(GlobalIntl->DefaultEpochYear(), 1950);
  EXPECT_EQ(GlobalIntl->DialogFontStyle(), 0);
  EXPECT_EQ(GlobalIntl->IniFileName(), "");
}

TEST_F(IntlTest, MembersAreReadableByPublishedName) {
  TObject* um = GetObjectProp(GlobalIntl, "UserMessages");
  ASSERT_NE(um, nullptr);
  EXPECT_EQ(GetStrProp(um, "PictureValidateError"), "Invalid characters. Field : ");
  EXPECT_EQ(GetOrdProp(GlobalIntl, "FilterMemoSize"), 65536);
  EXPECT_EQ(std::get<bool>(GetPropValue(GetObjectProp(GlobalIntl, "ADO"), "UseLocateWhenFindingValue")),
            true);
  std::map<std::string, TPropValue> all;
  Collect(GlobalIntl, "", all);
  // 225 texts of the groups, two help contexts, the ADO flag and nine settings of TdaIntl.
  EXPECT_EQ(all.size(), 225u + 2u + 1u + 9u);
}

TEST(IntlLifetime, GlobalIntlIsCreatedOnceAndClearedWhenFreed) {
  FreeGlobalIntl();
  EXPECT_EQ(GlobalIntl, nullptr);
  EXPECT_EQ(GetFilterMemoSize(), 65536);  // no GlobalIntl: the default, no crash

  auto app = std::make_unique<TComponent>(nullptr);
  CreateGlobalIntl(app.get());
  TdaIntl* first = GlobalIntl;
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(app->ComponentCount(), 1);
  CreateGlobalIntl(app.get());  // already there: kept
  EXPECT_EQ(GlobalIntl, first);

  FreeGlobalIntl();
  EXPECT_EQ(GlobalIntl, nullptr);
  EXPECT_EQ(app->ComponentCount(), 0);
  FreeGlobalIntl();  // twice is harmless

  // Freed with its owner: the reference clears too.
  CreateGlobalIntl(app.get());
  ASSERT_NE(GlobalIntl, nullptr);
  app.reset();
  EXPECT_EQ(GlobalIntl, nullptr);

  // Without an owner.
  CreateGlobalIntl();
  ASSERT_NE(GlobalIntl, nullptr);
  FreeGlobalIntl();
  EXPECT_EQ(GlobalIntl, nullptr);
}

TEST_F(IntlTest, ConnectIntlCopiesEveryGroupIntoTheSameObjects) {
  TdaIntl form(nullptr);
  Scramble(&form, "");
  form.SetIniFileName("Texts");
  bool handlerCalled = false;
  form.OnValidationErrorUsingMask = [&](TObject*, TField*, std::string&, bool& d) {
    handlerCalled = true;
    d = false;
  };
  TdaUserMessagesIntl* messagesBefore = GlobalIntl->UserMessages();
  TdaRichEditMenuLabels* labelsBefore = GlobalIntl->RichEdit()->MenuLabels();

  form.SetConnected(true);

  std::map<std::string, TPropValue> want, got;
  Collect(&form, "", want);
  Collect(GlobalIntl, "", got);
  want["IniFileName"] = std::string("Texts.ini");
  ASSERT_EQ(want.size(), got.size());
  for (const auto& [path, value] : want) {
    ASSERT_TRUE(got.count(path)) << path;
    EXPECT_EQ(PropValueToString(got[path]), PropValueToString(value)) << path;
  }
  EXPECT_FALSE(GlobalIntl->Connected());  // not copied
  EXPECT_EQ(GlobalIntl->UserMessages(), messagesBefore);
  EXPECT_EQ(GlobalIntl->RichEdit()->MenuLabels(), labelsBefore);
  GlobalIntl->DoValidationErrorUsingMask(nullptr, nullptr);
  EXPECT_TRUE(handlerCalled);
}

TEST_F(IntlTest, IniFileNameOfAConnectedInstance) {
  struct Case {
    const char* given;
    const char* global;
  };
  for (const Case& c : {Case{"Texts", "Texts.ini"}, Case{".ini", ""}, Case{"", ""},
                        Case{"Texts.ini", "Texts.ini.ini"}}) {
    GlobalIntl->SetIniFileName("previous");
    TdaIntl form(nullptr);
    form.SetIniFileName(c.given);
    form.SetConnected(true);
    EXPECT_EQ(GlobalIntl->IniFileName(), c.global) << c.given;
  }
}

TEST_F(IntlTest, CheckBoxStyleFollowsAtOnceTextsOnlyOnConnect) {
  TdaIntl form(nullptr);
  form.SetCheckBoxInGridStyle(cbStyleXmark);  // not connected yet: GlobalIntl keeps its own
  EXPECT_EQ(GlobalIntl->CheckBoxInGridStyle(), cbStyleAuto);
  form.SetConnected(true);
  EXPECT_EQ(GlobalIntl->CheckBoxInGridStyle(), cbStyleXmark);

  form.SetCheckBoxInGridStyle(cbStyleCheckmarkFlat);
  EXPECT_EQ(GlobalIntl->CheckBoxInGridStyle(), cbStyleCheckmarkFlat);
  form.UserMessages()->SetLocateNoMatches("Ni zadetkov");
  EXPECT_EQ(GlobalIntl->UserMessages()->LocateNoMatches(), "No matches found");

  // Loading the form runs the copy again.
  form.Loaded();
  EXPECT_EQ(GlobalIntl->UserMessages()->LocateNoMatches(), "Ni zadetkov");
}

TEST_F(IntlTest, ConnectIntlOnGlobalIntlItselfChangesNothing) {
  GlobalIntl->SetIniFileName("Texts");
  GlobalIntl->SetConnected(true);
  GlobalIntl->ConnectIntl();
  EXPECT_EQ(GlobalIntl->IniFileName(), "Texts");
  GlobalIntl->SetCheckBoxInGridStyle(cbStyleXmark);
  EXPECT_EQ(GlobalIntl->CheckBoxInGridStyle(), cbStyleXmark);
}

TEST_F(IntlTest, ValidationErrorUsingMask) {
  TdaIntl intl(nullptr);
  // Without a handler: a beep and the library's text, two blanks kept.
  try {
    intl.DoValidationErrorUsingMask(nullptr, nullptr);
    FAIL() << "no exception";
  } catch (const EInvalidOperation& e) {
    EXPECT_EQ(e.Message(), "Invalid input value.  Use escape key to abandon changes");
  }
  EXPECT_EQ(Ui.Beeps, std::vector<unsigned>{MB_OK});

  // A handler that changes the text only.
  TObject* seenSender = nullptr;
  intl.OnValidationErrorUsingMask = [&](TObject* s, TField*, std::string& msg, bool&) {
    seenSender = s;
    msg = "Neveljaven vnos";
  };
  try {
    intl.DoValidationErrorUsingMask(&intl, nullptr);
    FAIL() << "no exception";
  } catch (const EInvalidOperation& e) {
    EXPECT_EQ(e.Message(), "Neveljaven vnos");
  }
  EXPECT_EQ(seenSender, &intl);
  EXPECT_EQ(Ui.Beeps.size(), 2u);

  // A handler that clears DoDefault: quiet.
  intl.OnValidationErrorUsingMask = [](TObject*, TField*, std::string&, bool& d) { d = false; };
  EXPECT_NO_THROW(intl.DoValidationErrorUsingMask(&intl, nullptr));
  EXPECT_EQ(Ui.Beeps.size(), 2u);
}
