#pragma once
// Visual controls on Qt widgets. A control is a component (its owner frees it) that wraps one Qt
// widget; its parent is the control it sits in. A windowed control destroys the controls placed
// in it before its own widget goes.
#include <functional>
#include <string>
#include <vector>

#include "classes.h"
#include "component.h"

class QWidget;
class TWinControl;
class TForm;
class TControl;

enum TAlign { alNone, alClient };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// Font of a control; changes apply at once and pass to child controls that keep their parent's.
class TFont : public TPersistent {
public:
  explicit TFont(TControl* Control) : FControl(Control) {}
  std::string Name() const;
  void SetName(const std::string& Value);
  int Size() const;  // points
  void SetSize(int Value);
  bool Bold() const;
  void SetBold(bool Value);
  ZEL_CLASS(TFont, TPersistent)

private:
  TControl* FControl;
};

class TControl : public TComponent {
public:
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  void SetParent(TWinControl* Value);
  // The form this control is placed on (itself for a form), nullptr when none.
  TForm* GetParentForm() const;

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetLeft(int Value) { SetBounds(Value, FTop, FWidth, FHeight); }
  void SetTop(int Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
  void SetWidth(int Value) { SetBounds(FLeft, FTop, Value, FHeight); }
  void SetHeight(int Value) { SetBounds(FLeft, FTop, FWidth, Value); }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign Value);

  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value);
  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }

  TFont* Font() { return &FFont; }
  // Paints the control now, not at the next pass of the message loop.
  void Repaint();

  // The Qt widget behind the control (for Qt-aware code and tests).
  QWidget* Widget() const { return FWidget; }
  // The control whose widget is W or holds W; nullptr when none.
  static TControl* FromWidget(const QWidget* W);

  ZEL_CLASS(TControl, TComponent)

protected:
  // W becomes the control's widget (owned by the control). Create it with UiNewWidget.
  TControl(TComponent* AOwner, QWidget* W);
  // The widget's size changed (lays out alClient children).
  virtual void Resized() {}
  // The widget's font changed.
  virtual void FontChanged() {}
  // Puts the widget into the parent's (after Parent changed from OldParent).
  virtual void PlaceWidget(TWinControl* OldParent);
  virtual void ApplyVisible();
  // Stops all event dispatch to this control; called first by destructors.
  void Unhook();
  friend class TWinControl;
  friend class TForm;
  friend class TControlFilter;

public:
  // False once the control is being destroyed: events are no longer dispatched to it.
  bool Hooked() const { return FHooked; }

private:
  QWidget* FWidget;
  TWinControl* FParent = nullptr;
  TFont FFont{this};
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TAlign FAlign = alNone;
  bool FEnabled = true;
  bool FVisible = true;
  bool FHooked = true;
};

class TWinControl : public TControl {
public:
  ~TWinControl() override;

  int ControlCount() const { return int(FControls.size()); }
  TControl* Controls(int Index) const;  // EListError when out of range

  // Position among the parent's windowed controls in the tab cycle.
  int TabOrder() const;
  void SetTabOrder(int Value);
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool Value);

  // Raises EInvalidOperation "Cannot focus a disabled or invisible window" when it cannot take
  // the focus.
  virtual void SetFocus();
  bool Focused() const;
  bool CanFocus() const;

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

  ZEL_CLASS(TWinControl, TControl)

protected:
  TWinControl(TComponent* AOwner, QWidget* W, bool TabStop);
  // The focus moved into / out of this control within its form. A message box or popup taking
  // the focus for a while is neither.
  virtual void DoEnter();
  virtual void DoExit();
  void Resized() override;
  friend class TControl;
  friend class TForm;

private:
  void AddControl(TControl* C);
  void RemoveControl(TControl* C);
  void CollectTabChain(std::vector<QWidget*>& Chain) const;
  // The first control in tab order that can take the focus; a container passes it on to the
  // first such control inside it.
  TWinControl* FirstInTabOrder() const;
  std::vector<TControl*> FControls;
  std::vector<TWinControl*> FTabList;
  bool FTabStop;
};
