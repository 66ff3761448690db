#include "daintl.h"

#include "dialogs.h"
#include "published.h"

TdaIntl* GlobalIntl = nullptr;

namespace {

#define DA_PUBLISH_TEXT(Name, Default) PublishProperty(Cls, #Name, &C::Name, &C::Set##Name);
#define DA_COPY_TEXT(Name, Default) to->Set##Name(from->Name());

// Published by the names of the members, so streams and the helpers can reach them by name.
void RegisterIntlProperties() {
  const char* Cls = nullptr;
  {
    using C = TdaUserMessagesIntl;
    Cls = "TdaUserMessagesIntl";
    RegisterPublishedClass(Cls, "TPersistent");
    DA_USER_MESSAGES_TEXTS(DA_PUBLISH_TEXT)
  }
  {
    using C = TdaDBNavigatorIntlHints;
    Cls = "TdaDBNavigatorIntlHints";
    RegisterPublishedClass(Cls, "TPersistent");
    DA_NAVIGATOR_HINTS_TEXTS(DA_PUBLISH_TEXT)
  }
  {
    using C = TdaDBNavigatorIntl;
    Cls = "TdaDBNavigatorIntl";
    RegisterPublishedClass(Cls, "TPersistent");
    DA_NAVIGATOR_TEXTS(DA_PUBLISH_TEXT)
    PublishProperty(Cls, "Hints", &C::Hints);
  }
  {
    using C = TdaSearchDialogIntl;
    Cls = "TdaSearchDialogIntl";
    RegisterPublishedClass(Cls, "TPersistent");
    DA_SEARCH_DIALOG_TEXTS(DA_PUBLISH_TEXT)
  }
  {
    using C = TdaLocateDialogIntl;
    Cls = "TdaLocateDialogIntl";
    RegisterPublishedClass(Cls, "TPersistent");
    DA_LOCATE_DIALOG_TEXTS(DA_PUBLISH_TEXT)
  }
  {
    using C = TdaMonthCalendarIntl;
    Cls = "TdaMonthCalendarIntl";
    RegisterPublishedClass(Cls, "TPersistent");
    DA_MONTH_CALENDAR_TEXTS(DA_PUBLISH_TEXT)
  }
  {
    using C = TdaADOIntl;
    Cls = "TdaADOIntl";
    RegisterPublishedClass(Cls, "TPersistent");
    PublishProperty(Cls, "UseLocateWhenFindingValue", &C::UseLocateWhenFindingValue,
                    &C::SetUseLocateWhenFindingValue);
  }
  {
    using C = TdaFilterDialogIntl;
    Cls = "TdaFilterDialogIntl";
    RegisterPublishedClass(Cls, "TPersistent");
    DA_FILTER_DIALOG_TEXTS(DA_PUBLISH_TEXT)
  }
  {
    using C = TdaRichEditMenuLabels;
    Cls = "TdaRichEditMenuLabels";
    RegisterPublishedClass(Cls, "TPersistent");
    DA_RICH_EDIT_MENU_LABELS_TEXTS(DA_PUBLISH_TEXT)
  }
  {
    using C = TdaRichEditPopupMenuLabels;
    Cls = "TdaRichEditPopupMenuLabels";
    RegisterPublishedClass(Cls, "TPersistent");
    DA_RICH_EDIT_POPUP_MENU_LABELS_TEXTS(DA_PUBLISH_TEXT)
  }
  {
    using C = TdaRichEditParagraphDlg;
    Cls = "TdaRichEditParagraphDlg";
    RegisterPublishedClass(Cls, "TPersistent");
    DA_RICH_EDIT_PARAGRAPH_DIALOG_TEXTS(DA_PUBLISH_TEXT)
    PublishProperty(Cls, "HelpContext", &C::HelpContext, &C::SetHelpContext);
  }
  {
    using C = TdaRichEditTabDlg;
    Cls = "TdaRichEditTabDlg";
    RegisterPublishedClass(Cls, "TPersistent");
    DA_RICH_EDIT_TAB_DIALOG_TEXTS(DA_PUBLISH_TEXT)
    PublishProperty(Cls, "HelpContext", &C::HelpContext, &C::SetHelpContext);
  }
  {
    using C = TdaDBRichEditIntl;
    Cls = "TdaDBRichEditIntl";
    RegisterPublishedClass(Cls, "TPersistent");
    DA_RICH_EDIT_TEXTS(DA_PUBLISH_TEXT)
    PublishProperty(Cls, "MenuLabels", &C::MenuLabels);
    PublishProperty(Cls, "PopupMenuLabels", &C::PopupMenuLabels);
    PublishProperty(Cls, "ParagraphDialog", &C::ParagraphDialog);
    PublishProperty(Cls, "TabDialog", &C::TabDialog);
  }
  {
    using C = TdaIntl;
    Cls = "TdaIntl";
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
  {
    auto* from = FilterDialog();
    auto* to = g->FilterDialog();
    DA_FILTER_DIALOG_TEXTS(DA_COPY_TEXT)
  }
  {
    auto* from = RichEdit();
    auto* to = g->RichEdit();
    DA_RICH_EDIT_TEXTS(DA_COPY_TEXT)
  }
  {
    auto* from = RichEdit()->MenuLabels();
    auto* to = g->RichEdit()->MenuLabels();
    DA_RICH_EDIT_MENU_LABELS_TEXTS(DA_COPY_TEXT)
  }
  {
    auto* from = RichEdit()->PopupMenuLabels();
    auto* to = g->RichEdit()->PopupMenuLabels();
    DA_RICH_EDIT_POPUP_MENU_LABELS_TEXTS(DA_COPY_TEXT)
  }
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
  {
    auto* from = SearchDialog();
    auto* to = g->SearchDialog();
    DA_SEARCH_DIALOG_TEXTS(DA_COPY_TEXT)
  }
  {
    auto* from = MonthCalendar();
    auto* to = g->MonthCalendar();
    DA_MONTH_CALENDAR_TEXTS(DA_COPY_TEXT)
  }
  {
    auto* from = LocateDialog();
    auto* to = g->LocateDialog();
    DA_LOCATE_DIALOG_TEXTS(DA_COPY_TEXT)
  }
  g->ADO()->SetUseLocateWhenFindingValue(ADO()->UseLocateWhenFindingValue());
  {
    auto* from = Navigator();
    auto* to = g->Navigator();
    DA_NAVIGATOR_TEXTS(DA_COPY_TEXT)
  }
  {
    auto* from = Navigator()->Hints();
    auto* to = g->Navigator()->Hints();
    DA_NAVIGATOR_HINTS_TEXTS(DA_COPY_TEXT)
  }
  g->SetOKCancelBitmapped(OKCancelBitmapped());
  {
    auto* from = UserMessages();
    auto* to = g->UserMessages();
    DA_USER_MESSAGES_TEXTS(DA_COPY_TEXT)
  }
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
