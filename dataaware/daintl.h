#pragma once
// User-visible texts and library-wide settings of the data-aware library. One global instance,
// GlobalIntl, serves the whole run; a further instance with Connected set copies its texts and
// settings into GlobalIntl when its form is loaded.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "component.h"
#include "daintltexts.h"

class TField;

// A text member: getter Name(), setter SetName(v), default from the texts header.
#define DA_TEXT_MEMBER(Name, Default)                                  \
 public:                                                               \
  const std::string& Name() const { return F##Name; }                  \
  void Set##Name(const std::string& Value) { F##Name = Value; }        \
                                                                       \
 private:                                                              \
  std::string F##Name = Default;

class TdaUserMessagesIntl : public TPersistent {
  DA_USER_MESSAGES_TEXTS(DA_TEXT_MEMBER)
 public:
  ZEL_CLASS(TdaUserMessagesIntl, TPersistent)
};

class TdaDBNavigatorIntlHints : public TPersistent {
  DA_NAVIGATOR_HINTS_TEXTS(DA_TEXT_MEMBER)
 public:
  ZEL_CLASS(TdaDBNavigatorIntlHints, TPersistent)
};

class TdaDBNavigatorIntl : public TPersistent {
  DA_NAVIGATOR_TEXTS(DA_TEXT_MEMBER)
 public:
  TdaDBNavigatorIntl();
  TdaDBNavigatorIntlHints* Hints() const { return FHints.get(); }
  ZEL_CLASS(TdaDBNavigatorIntl, TPersistent)

 private:
  std::unique_ptr<TdaDBNavigatorIntlHints> FHints;
};

class TdaSearchDialogIntl : public TPersistent {
  DA_SEARCH_DIALOG_TEXTS(DA_TEXT_MEMBER)
 public:
  ZEL_CLASS(TdaSearchDialogIntl, TPersistent)
};

class TdaLocateDialogIntl : public TPersistent {
  DA_LOCATE_DIALOG_TEXTS(DA_TEXT_MEMBER)
 public:
  ZEL_CLASS(TdaLocateDialogIntl, TPersistent)
};

class TdaMonthCalendarIntl : public TPersistent {
  DA_MONTH_CALENDAR_TEXTS(DA_TEXT_MEMBER)
 public:
  ZEL_CLASS(TdaMonthCalendarIntl, TPersistent)
};

class TdaADOIntl : public TPersistent {
 public:
  bool UseLocateWhenFindingValue() const { return FUseLocateWhenFindingValue; }
  void SetUseLocateWhenFindingValue(bool Value) { FUseLocateWhenFindingValue = Value; }
  ZEL_CLASS(TdaADOIntl, TPersistent)

 private:
  bool FUseLocateWhenFindingValue = true;
};

class TdaFilterDialogIntl : public TPersistent {
  DA_FILTER_DIALOG_TEXTS(DA_TEXT_MEMBER)
 public:
  ZEL_CLASS(TdaFilterDialogIntl, TPersistent)
};

class TdaRichEditMenuLabels : public TPersistent {
  DA_RICH_EDIT_MENU_LABELS_TEXTS(DA_TEXT_MEMBER)
 public:
  ZEL_CLASS(TdaRichEditMenuLabels, TPersistent)
};

class TdaRichEditPopupMenuLabels : public TPersistent {
  DA_RICH_EDIT_POPUP_MENU_LABELS_TEXTS(DA_TEXT_MEMBER)
 public:
  ZEL_CLASS(TdaRichEditPopupMenuLabels, TPersistent)
};

class TdaRichEditParagraphDlg : public TPersistent {
  DA_RICH_EDIT_PARAGRAPH_DIALOG_TEXTS(DA_TEXT_MEMBER)
 public:
  int HelpContext() const { return FHelpContext; }
  void SetHelpContext(int Value) { FHelpContext = Value; }
  ZEL_CLASS(TdaRichEditParagraphDlg, TPersistent)

 private:
  int FHelpContext = 0;
};

class TdaRichEditTabDlg : public TPersistent {
  DA_RICH_EDIT_TAB_DIALOG_TEXTS(DA_TEXT_MEMBER)
 public:
  int HelpContext() const { return FHelpContext; }
  void SetHelpContext(int Value) { FHelpContext = Value; }
  ZEL_CLASS(TdaRichEditTabDlg, TPersistent)

 private:
  int FHelpContext = 0;
};

class TdaDBRichEditIntl : public TPersistent {
  DA_RICH_EDIT_TEXTS(DA_TEXT_MEMBER)
 public:
  TdaDBRichEditIntl();
  TdaRichEditMenuLabels* MenuLabels() const { return FMenuLabels.get(); }
  TdaRichEditPopupMenuLabels* PopupMenuLabels() const { return FPopupMenuLabels.get(); }
  TdaRichEditParagraphDlg* ParagraphDialog() const { return FParagraphDialog.get(); }
  TdaRichEditTabDlg* TabDialog() const { return FTabDialog.get(); }
  ZEL_CLASS(TdaDBRichEditIntl, TPersistent)

 private:
  std::unique_ptr<TdaRichEditMenuLabels> FMenuLabels;
  std::unique_ptr<TdaRichEditPopupMenuLabels> FPopupMenuLabels;
  std::unique_ptr<TdaRichEditParagraphDlg> FParagraphDialog;
  std::unique_ptr<TdaRichEditTabDlg> FTabDialog;
};

enum TdaCheckBoxInGridStyle { cbStyleAuto, cbStyleCheckmark, cbStyleXmark, cbStyleCheckmarkFlat };

// Font styles as a one-byte set: bit 0 bold, 1 italic, 2 underline, 3 strike-out.
using TdaFontStyles = std::uint8_t;

// Msg and DoDefault may be changed by the handler.
using TdaPictureValidationError =
    std::function<void(TObject* Sender, TField* Field, std::string& Msg, bool& DoDefault)>;

class TdaIntl : public TComponent {
 public:
  explicit TdaIntl(TComponent* AOwner);
  ~TdaIntl() override;

  TdaADOIntl* ADO() const { return FADO.get(); }
  TdaDBNavigatorIntl* Navigator() const { return FNavigator.get(); }
  TdaSearchDialogIntl* SearchDialog() const { return FSearchDialog.get(); }
  TdaLocateDialogIntl* LocateDialog() const { return FLocateDialog.get(); }
  TdaMonthCalendarIntl* MonthCalendar() const { return FMonthCalendar.get(); }
  TdaUserMessagesIntl* UserMessages() const { return FUserMessages.get(); }
  TdaFilterDialogIntl* FilterDialog() const { return FFilterDialog.get(); }
  TdaDBRichEditIntl* RichEdit() const { return FRichEdit.get(); }

  bool OKCancelBitmapped() const { return FOKCancelBitmapped; }
  void SetOKCancelBitmapped(bool Value) { FOKCancelBitmapped = Value; }
  TdaFontStyles DialogFontStyle() const { return FDialogFontStyle; }
  void SetDialogFontStyle(TdaFontStyles Value) { FDialogFontStyle = Value; }
  DA_INTL_TEXTS(DA_TEXT_MEMBER)
 public:
  bool Connected() const { return FConnected; }
  // True copies this instance into GlobalIntl at once (and again when the form is loaded).
  void SetConnected(bool Value);
  const std::string& IniFileName() const { return FIniFileName; }
  void SetIniFileName(const std::string& Value) { FIniFileName = Value; }
  TdaCheckBoxInGridStyle CheckBoxInGridStyle() const { return FCheckBoxInGridStyle; }
  // On a connected instance other than GlobalIntl the style goes to GlobalIntl too.
  void SetCheckBoxInGridStyle(TdaCheckBoxInGridStyle Value);
  bool UseLocateMethodForSearch() const { return FUseLocateMethodForSearch; }
  void SetUseLocateMethodForSearch(bool Value) { FUseLocateMethodForSearch = Value; }
  std::int32_t DefaultEpochYear() const { return FDefaultEpochYear; }
  void SetDefaultEpochYear(std::int32_t Value) { FDefaultEpochYear = Value; }
  std::int32_t FilterMemoSize() const { return FFilterMemoSize; }
  void SetFilterMemoSize(std::int32_t Value) { FFilterMemoSize = Value; }

  TdaPictureValidationError OnValidationErrorUsingMask;

  void Loaded() override;
  // Copies this instance's texts and settings into GlobalIntl (its objects stay the same);
  // nothing on GlobalIntl itself. Connected is not copied.
  void ConnectIntl();
  // Reports a value that does not fit a picture mask: the handler may change the message or
  // clear DoDefault; by default a beep and EInvalidOperation with the message.
  virtual void DoValidationErrorUsingMask(TObject* Sender, TField* Field);

  ZEL_CLASS(TdaIntl, TComponent)

 private:
  std::unique_ptr<TdaADOIntl> FADO;
  std::unique_ptr<TdaDBNavigatorIntl> FNavigator;
  std::unique_ptr<TdaSearchDialogIntl> FSearchDialog;
  std::unique_ptr<TdaLocateDialogIntl> FLocateDialog;
  std::unique_ptr<TdaMonthCalendarIntl> FMonthCalendar;
  bool FOKCancelBitmapped = true;
  TdaFontStyles FDialogFontStyle = 0;
  bool FConnected = false;
  std::unique_ptr<TdaUserMessagesIntl> FUserMessages;
  std::unique_ptr<TdaFilterDialogIntl> FFilterDialog;
  std::unique_ptr<TdaDBRichEditIntl> FRichEdit;
  std::string FIniFileName;
  TdaCheckBoxInGridStyle FCheckBoxInGridStyle = cbStyleAuto;
  bool FUseLocateMethodForSearch = true;
  std::int32_t FDefaultEpochYear = 1950;
  std::int32_t FFilterMemoSize = 0x10000;
};

// The library's texts for the whole run; none before CreateGlobalIntl and after it is freed.
extern TdaIntl* GlobalIntl;

// Creates GlobalIntl (owned by AOwner, normally the application; none is allowed) unless it
// exists. Call before the main window is created.
void CreateGlobalIntl(TComponent* AOwner = nullptr);
// Frees GlobalIntl (also removing it from its owner); nothing when it is already gone.
void FreeGlobalIntl();

// GlobalIntl's FilterMemoSize; the default 65536 while there is no GlobalIntl.
std::int32_t GetFilterMemoSize();
