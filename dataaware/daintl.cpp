#include "daintl.h"

#include "dialogs.h"
#include "published.h"

TdaIntl* GlobalIntl = nullptr;

namespace {

#define DA_PUBLISH_TEXT(Name, Default) PublishProperty(Cls, #Name, &C::Name, &C::Set##Name);
#define DA_COPY_TEXT(Name, Default) to->Set##Name(from->Name());

// A text group's class and every text of it, by name.
#define DA_PUBLISH_GROUP(Class, TEXTS)          \
  {                                             \
    using C = Class;                            \
    const char* Cls = #Class;                   \
    RegisterPublishedClass(Cls, "TPersistent"); \
    TEXTS(DA_PUBLISH_TEXT)                      \
  }

// Every text of one group of this instance into the same group of GlobalIntl (g).
#define DA_COPY_GROUP(Group, TEXTS) \
  {                                 \
    auto* from = Group;             \
    auto* to = g->Group;            \
    TEXTS(DA_COPY_TEXT)             \
  }

// Published by the names of the members, so streams and the helpers can reach them by name.
void RegisterIntlProperties() {
  DA_PUBLISH_GROUP(TdaUserMessagesIntl, DA_USER_MESSAGES_TEXTS)
  DA_PUBLISH_GROUP(TdaDBNavigatorIntlHints, DA_NAVIGATOR_HINTS_TEXTS)
  DA_PUBLISH_GROUP(TdaDBNavigatorIntl, DA_NAVIGATOR_TEXTS)
  PublishProperty("TdaDBNavigatorIntl", "Hints", &TdaDBNavigatorIntl::Hints);
  DA_PUBLISH_GROUP(TdaSearchDialogIntl, DA_SEARCH_DIALOG_TEXTS)
  DA_PUBLISH_GROUP(TdaLocateDialogIntl, DA_LOCATE_DIALOG_TEXTS)
  DA_PUBLISH_GROUP(TdaMonthCalendarIntl, DA_MONTH_CALENDAR_TEXTS)
  RegisterPublishedClass("TdaADOIntl", "TPersistent");
  PublishProperty("TdaADOIntl", "UseLocateWhenFindingValue", &TdaADOIntl::UseLocateWhenFindingValue,
                  &TdaADOIntl::SetUseLocateWhenFindingValue);
  DA_PUBLISH_GROUP(TdaFilterDialogIntl, DA_FILTER_DIALOG_TEXTS)
  DA_PUBLISH_GROUP(TdaRichEditMenuLabels, DA_RICH_EDIT_MENU_LABELS_TEXTS)
  DA_PUBLISH_GROUP(TdaRichEditPopupMenuLabels, DA_RICH_EDIT_POPUP_MENU_LABELS_TEXTS)
  DA_PUBLISH_GROUP(TdaRichEditParagraphDlg, DA_RICH_EDIT_PARAGRAPH_DIALOG_TEXTS)
  PublishProperty("TdaRichEditParagraphDlg", "HelpContext", &TdaRichEditParagraphDlg::HelpContext,
                  &TdaRichEditParagraphDlg::SetHelpContext);
  DA_PUBLISH_GROUP(TdaRichEditTabDlg, DA_RICH_EDIT_TAB_DIALOG_TEXTS)
  PublishProperty("TdaRichEditTabDlg", "HelpContext", &TdaRichEditTabDlg::HelpContext,
                  &TdaRichEditTabDlg::SetHelpContext);
  DA_PUBLISH_GROUP(TdaDBRichEditIntl, DA_RICH_EDIT_TEXTS)
  {
    using C = TdaDBRichEditIntl;
    const char* Cls = "TdaDBRichEditIntl";
    PublishProperty(Cls, "MenuLabels", &C::MenuLabels);
    PublishProperty(Cls, "PopupMenuLabels", &C::PopupMenuLabels);
    PublishProperty(Cls, "ParagraphDialog", &C::ParagraphDialog);
    PublishProperty(Cls, "TabDialog", &C::TabDialog);
  }
  {
    using C = TdaIntl;
    const char* Cls = "TdaIntl";
    RegisterPublishedClass(Cls, "TComponent");
    PublishProperty(Cls, "ADO", &C::ADO);
    PublishProperty(Cls, "Navigator", &C::Navigator);
    PublishProperty(Cls, "SearchDialog", &C::SearchDialog);
    PublishProperty(Cls, "LocateDialog", &C::LocateDialog);
    PublishProperty(Cls, "MonthCalendar", &C::MonthCalendar);
    PublishProperty(Cls, "OKCancelBitmapped", &C::OKCancelBitmapped, &C::SetOKCancelBitmapped);
    PublishProperty(Cls, "DialogFontStyle", &C::DialogFontStyle, &C::SetDialogFontStyle);
    DA_INTL_TEXTS(DA_PUBLISH_TEXT)
    PublishProperty(Cls, "Connected", &C::Connected, &C::SetConnected);
    PublishProperty(Cls, "UserMessages", &C::UserMessages);
    PublishProperty(Cls, "FilterDialog", &C::FilterDialog);
    PublishProperty(Cls, "RichEdit", &C::RichEdit);
    PublishProperty(Cls, "IniFileName", &C::IniFileName, &C::SetIniFileName);
    PublishProperty(Cls, "CheckBoxInGridStyle", &C::CheckBoxInGridStyle,
                    &C::SetCheckBoxInGridStyle);
    PublishProperty(Cls, "UseLocateMethodForSearch", &C::UseLocateMethodForSearch,
                    &C::SetUseLocateMethodForSearch);
    PublishProperty(Cls, "DefaultEpochYear", &C::DefaultEpochYear, &C::SetDefaultEpochYear);
    PublishProperty(Cls, "FilterMemoSize", &C::FilterMemoSize, &C::SetFilterMemoSize);
  }
}

}  // namespace

TdaDBNavigatorIntl::TdaDBNavigatorIntl() : FHints(std::make_unique<TdaDBNavigatorIntlHints>()) {}

TdaDBRichEditIntl::TdaDBRichEditIntl()
    : FMenuLabels(std::make_unique<TdaRichEditMenuLabels>()),
      FPopupMenuLabels(std::make_unique<TdaRichEditPopupMenuLabels>()),
      FParagraphDialog(std::make_unique<TdaRichEditParagraphDlg>()),
      FTabDialog(std::make_unique<TdaRichEditTabDlg>()) {}

TdaIntl::TdaIntl(TComponent* AOwner)
    : TComponent(AOwner),
      FADO(std::make_unique<TdaADOIntl>()),
      FNavigator(std::make_unique<TdaDBNavigatorIntl>()),
      FSearchDialog(std::make_unique<TdaSearchDialogIntl>()),
      FLocateDialog(std::make_unique<TdaLocateDialogIntl>()),
      FMonthCalendar(std::make_unique<TdaMonthCalendarIntl>()),
      FUserMessages(std::make_unique<TdaUserMessagesIntl>()),
      FFilterDialog(std::make_unique<TdaFilterDialogIntl>()),
      FRichEdit(std::make_unique<TdaDBRichEditIntl>()) {
  static const bool registered = (RegisterIntlProperties(), true);
  (void)registered;
}

TdaIntl::~TdaIntl() {
  // Cleared first, so nothing told of this component's end reads a dying GlobalIntl.
  if (GlobalIntl == this) GlobalIntl = nullptr;
}

void TdaIntl::SetConnected(bool Value) {
  FConnected = Value;
  if (Value) ConnectIntl();
}

void TdaIntl::SetCheckBoxInGridStyle(TdaCheckBoxInGridStyle Value) {
  FCheckBoxInGridStyle = Value;
  if (FConnected && GlobalIntl != nullptr && GlobalIntl != this)
    GlobalIntl->SetCheckBoxInGridStyle(Value);
}

void TdaIntl::Loaded() {
  TComponent::Loaded();
  if (FConnected) ConnectIntl();
}

void TdaIntl::ConnectIntl() {
  TdaIntl* g = GlobalIntl;
  if (g == nullptr || g == this) return;
  DA_COPY_GROUP(FilterDialog(), DA_FILTER_DIALOG_TEXTS)
  DA_COPY_GROUP(RichEdit(), DA_RICH_EDIT_TEXTS)
  DA_COPY_GROUP(RichEdit()->MenuLabels(), DA_RICH_EDIT_MENU_LABELS_TEXTS)
  DA_COPY_GROUP(RichEdit()->PopupMenuLabels(), DA_RICH_EDIT_POPUP_MENU_LABELS_TEXTS)
  {
    auto* from = RichEdit()->ParagraphDialog();
    auto* to = g->RichEdit()->ParagraphDialog();
    DA_RICH_EDIT_PARAGRAPH_DIALOG_TEXTS(DA_COPY_TEXT)
    to->SetHelpContext(from->HelpContext());
  }
  {
    auto* from = RichEdit()->TabDialog();
    auto* to = g->RichEdit()->TabDialog();
    DA_RICH_EDIT_TAB_DIALOG_TEXTS(DA_COPY_TEXT)
    to->SetHelpContext(from->HelpContext());
  }
  DA_COPY_GROUP(SearchDialog(), DA_SEARCH_DIALOG_TEXTS)
  DA_COPY_GROUP(MonthCalendar(), DA_MONTH_CALENDAR_TEXTS)
  DA_COPY_GROUP(LocateDialog(), DA_LOCATE_DIALOG_TEXTS)
  g->ADO()->SetUseLocateWhenFindingValue(ADO()->UseLocateWhenFindingValue());
  DA_COPY_GROUP(Navigator(), DA_NAVIGATOR_TEXTS)
  DA_COPY_GROUP(Navigator()->Hints(), DA_NAVIGATOR_HINTS_TEXTS)
  g->SetOKCancelBitmapped(OKCancelBitmapped());
  DA_COPY_GROUP(UserMessages(), DA_USER_MESSAGES_TEXTS)
  {
    auto* from = this;
    auto* to = g;
    DA_INTL_TEXTS(DA_COPY_TEXT)
  }
  if (FIniFileName.empty() || FIniFileName == ".ini")
    g->SetIniFileName("");
  else
    g->SetIniFileName(FIniFileName + ".ini");
  g->SetCheckBoxInGridStyle(FCheckBoxInGridStyle);
  g->OnValidationErrorUsingMask = OnValidationErrorUsingMask;
  g->SetDialogFontStyle(FDialogFontStyle);
  g->SetUseLocateMethodForSearch(FUseLocateMethodForSearch);
  g->SetDefaultEpochYear(FDefaultEpochYear);
  g->SetFilterMemoSize(FFilterMemoSize);
}

void TdaIntl::DoValidationErrorUsingMask(TObject* Sender, TField* Field) {
  std::string Msg = DA_INVALID_INPUT_VALUE_TEXT;
  bool DoDefault = true;
  if (OnValidationErrorUsingMask) OnValidationErrorUsingMask(Sender, Field, Msg, DoDefault);
  if (DoDefault) {
    MessageBeep(MB_OK);
    throw EInvalidOperation(Msg);
  }
}

void CreateGlobalIntl(TComponent* AOwner) {
  if (GlobalIntl == nullptr) GlobalIntl = new TdaIntl(AOwner);
}

void FreeGlobalIntl() {
  // The destructor clears GlobalIntl and leaves the owner's list.
  delete GlobalIntl;
}

std::int32_t GetFilterMemoSize() { return GlobalIntl != nullptr ? GlobalIntl->FilterMemoSize() : 0x10000; }
