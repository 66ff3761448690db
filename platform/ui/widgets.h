#pragma once
// The standard controls: edit, memo, label, button, bevel, image, gauge, page control.
#include <string>

#include "controls.h"
#include "dialogs.h"

class QLineEdit;
class QPlainTextEdit;

// Key-press event: Key is the typed character (UTF-32); set it to 0 to refuse it or to another
// character to type that instead.
using TKeyPressEvent = std::function<void(TObject* Sender, char32_t& Key)>;

// Single-line edit.
class TCustomEdit : public TWinControl {
public:
  std::string Text() const;
  void SetText(const std::string& Value);
  bool ReadOnly() const;
  void SetReadOnly(bool Value);
  int MaxLength() const { return FMaxLength; }  // characters; 0 = no limit
  void SetMaxLength(int Value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  // Selects the whole text when the focus enters.
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool Value) { FAutoSelect = Value; }
  void SelectAll();
  // Selection in characters.
  int SelStart() const;
  int SelLength() const;
  void SetSelStart(int Value);
  void SetSelLength(int Value);

  TNotifyEvent OnChange;
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TKeyPressEvent OnKeyPress;

  // Internal: a printable character is about to be typed; returns the character to type
  // (0: none). Runs KeyPress, which fires OnKeyPress.
  char32_t FilterKey(char32_t Key);
  // Internal: inserts pasted text; each character is checked as if typed.
  void PasteText(const std::string& Text);

  ZEL_CLASS(TCustomEdit, TWinControl)

protected:
  TCustomEdit(TComponent* AOwner);
  void DoEnter() override;
  // Key filter of the class; the default fires OnKeyPress.
  virtual void KeyPress(char32_t& Key);
  QLineEdit* LineEdit() const;
  // Pasting through the key filter (for controls that filter keys).
  void SetFilterPaste(bool Value);

private:
  TAlignment FAlignment = taLeftJustify;
  int FMaxLength = 0;
  bool FAutoSelect = true;
};

class TEdit : public TCustomEdit {
public:
  explicit TEdit(TComponent* AOwner) : TCustomEdit(AOwner) {}
  ZEL_CLASS(TEdit, TCustomEdit)
};

// Multi-line edit.
class TMemo : public TWinControl {
public:
  explicit TMemo(TComponent* AOwner);
  std::string Text() const;
  void SetText(const std::string& Value);
  bool ReadOnly() const;
  void SetReadOnly(bool Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  TNotifyEvent OnChange;
  ZEL_CLASS(TMemo, TWinControl)

private:
  QPlainTextEdit* TextEdit() const;
  bool FWordWrap = true;
};

class TLabel : public TControl {
public:
  explicit TLabel(TComponent* AOwner);
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  // Fits the size to the caption; a right-aligned label keeps its right edge.
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  ZEL_CLASS(TLabel, TControl)

protected:
  void FontChanged() override;

private:
  void AdjustBounds();
  std::string FCaption;
  TAlignment FAlignment = taLeftJustify;
  bool FWordWrap = false;
  bool FAutoSize = true;
  bool FAdjusting = false;
};

class TButton : public TWinControl {
public:
  explicit TButton(TComponent* AOwner);
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);
  // Return/Enter in the form clicks the default button unless another button has the focus.
  bool Default() const { return FDefault; }
  void SetDefault(bool Value);
  // Escape in the form clicks the cancel button.
  bool Cancel() const { return FCancel; }
  void SetCancel(bool Value) { FCancel = Value; }
  // A non-zero result is given to the form when the button is clicked.
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int Value) { FModalResult = Value; }
  // Sets the form's ModalResult (when non-zero), then fires OnClick.
  virtual void Click();
  TNotifyEvent OnClick;
  ZEL_CLASS(TButton, TWinControl)

private:
  std::string FCaption;
  bool FDefault = false;
  bool FCancel = false;
  int FModalResult = mrNone;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };

class TBevel : public TControl {
public:
  explicit TBevel(TComponent* AOwner);
  TBevelShape Shape() const { return FShape; }
  void SetShape(TBevelShape Value);
  TBevelStyle Style() const { return FStyle; }
  void SetStyle(TBevelStyle Value);
  ZEL_CLASS(TBevel, TControl)

private:
  TBevelShape FShape = bsBox;
  TBevelStyle FStyle = bsLowered;
};

class TImage : public TControl {
public:
  explicit TImage(TComponent* AOwner);
  // Shows the toolkit's standard icon of a message type, centred in the control.
  void SetStandardIcon(TMsgDlgType IconType);
  bool Empty() const { return FEmpty; }
  ZEL_CLASS(TImage, TControl)

private:
  bool FEmpty = true;
};

// Horizontal progress bar with the percentage in its middle.
class TGauge : public TControl {
public:
  explicit TGauge(TComponent* AOwner);
  int Progress() const { return FProgress; }
  // Kept within MinValue..MaxValue; the gauge repaints at once.
  void SetProgress(int Value);
  int MinValue() const { return FMinValue; }
  void SetMinValue(int Value);
  int MaxValue() const { return FMaxValue; }
  void SetMaxValue(int Value);
  // Progress as a whole percentage of the range.
  int PercentDone() const;
  bool ShowText() const { return FShowText; }
  void SetShowText(bool Value);
  ZEL_CLASS(TGauge, TControl)

private:
  int FProgress = 0;
  int FMinValue = 0;
  int FMaxValue = 100;
  bool FShowText = true;
};

class TPageControl;

// One page of a page control; controls are placed on it.
class TTabSheet : public TWinControl {
public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);
  TPageControl* PageControl() const { return FPageControl; }
  // Adds the sheet as the last page of Value (removes it from its former page control).
  void SetPageControl(TPageControl* Value);
  int PageIndex() const;
  ZEL_CLASS(TTabSheet, TWinControl)

protected:
  void PlaceWidget(TWinControl* OldParent) override;
  void ApplyVisible() override;

private:
  friend class TPageControl;
  std::string FCaption;
  TPageControl* FPageControl = nullptr;
};

class TPageControl : public TWinControl {
public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;
  int PageCount() const { return int(FPages.size()); }
  TTabSheet* Pages(int Index) const;  // EListError when out of range
  TTabSheet* ActivePage() const;
  void SetActivePage(TTabSheet* Value);
  int ActivePageIndex() const;
  void SetActivePageIndex(int Value);
  // The user switched pages.
  TNotifyEvent OnChange;
  ZEL_CLASS(TPageControl, TWinControl)

private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* Page);
  void RemovePage(TTabSheet* Page);
  std::vector<TTabSheet*> FPages;
  bool FUpdating = false;
};
