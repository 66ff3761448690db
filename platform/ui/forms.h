#pragma once
// Forms, data modules, the application object and the screen.
#include <functional>
#include <string>
#include <type_traits>

#include "component.h"
#include "controls.h"
#include "dialogs.h"

class TButton;

enum TCloseAction { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;

enum TPosition { poDesigned, poScreenCenter };
enum TFormBorderStyle { bsSingle, bsSizeable, bsDialog };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize };
using TBorderIcons = TSmallSet<TBorderIcon>;

// A top-level window. Left, Top, Width and Height are the window's client geometry (the window
// manager draws the frame outside it). The default font is "MS Sans Serif", 8 points.
class TForm : public TWinControl {
public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  // Fires OnCreate once. Application->CreateForm calls it; a form built another way gets it at
  // its first Show or ShowModal.
  void AfterConstruction();

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);
  int ClientWidth() const { return Width(); }
  int ClientHeight() const { return Height(); }
  void SetClientWidth(int Value) { SetWidth(Value); }
  void SetClientHeight(int Value) { SetHeight(Value); }
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition Value) { FPosition = Value; }
  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons Value);

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetVisible(bool Value) override;
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Asks the close handler; the action decides: caNone keeps the form, caHide hides it (the main
  // form ends the application instead), caFree releases it. In a modal form it sets ModalResult
  // to mrCancel and the modal loop closes it.
  void Close();
  // Shows the form modally and runs the message loop until ModalResult is set; returns it.
  // Raises EInvalidOperation "Cannot make a visible window modal" for a visible form.
  int ShowModal();
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int Value) { FModalResult = Value; }
  bool Modal() const { return FModal; }
  // Frees the form once the current event is done.
  void Release();
  // True while its window is the active one.
  bool Active() const;

  // The control that has (or will get, once the form is shown) the focus.
  TWinControl* ActiveControl() const { return FActiveControl.Get(); }
  void SetActiveControl(TWinControl* Control);

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TCloseEvent OnClose;

  // Internal: the focus moved to Control (a control of this form).
  void FocusMovedTo(TWinControl* Control);
  // Internal: Return/Enter and Escape not taken by the focused control.
  bool HandleDialogKey(int QtKey);
  // Internal: the window's close box was pressed.
  void CloseBoxPressed();
  // Internal: the window is being shown.
  void Showing();
  // Internal: sets the Qt focus chain from the tab orders.
  void UpdateTabChain();

  ZEL_CLASS(TForm, TWinControl)

protected:
  virtual void DoClose(TCloseAction& Action);
  virtual void DoShow();

private:
  void UpdateWindowFlags();
  void CloseModal();
  TButton* FindButton(bool Default) const;
  std::string FCaption;
  TPosition FPosition = poDesigned;
  TFormBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons{biSystemMenu, biMinimize, biMaximize};
  TComponentRef<TWinControl> FActiveControl;
  TComponentRef<TWinControl> FEntered;
  int FModalResult = mrNone;
  bool FModal = false;
  bool FCreated = false;
  bool FReleasing = false;
};

// A non-visual container of components (connections, statements), created like a form.
class TDataModule : public TComponent {
public:
  explicit TDataModule(TComponent* AOwner) : TComponent(AOwner) {}
  // Fires OnCreate once; Application->CreateForm calls it.
  void AfterConstruction();
  TNotifyEvent OnCreate;
  ZEL_CLASS(TDataModule, TComponent)

private:
  bool FCreated = false;
};

using TExceptionEvent = std::function<void(TObject* Sender, Exception& E)>;

class TApplication : public TComponent {
public:
  explicit TApplication(TComponent* AOwner);

  // Starts the window system (also done on demand by the first control).
  void Initialize();
  // Creates a form or data module owned by the application and stores it in Reference before
  // its creation handler runs. The first form created becomes the main form. An exception
  // from the constructor clears Reference and propagates; one from the creation handler goes to
  // HandleException and the instance stays.
  template <class T>
  void CreateForm(T*& Reference) {
    static_assert(std::is_base_of_v<TComponent, T>);
    Reference = nullptr;
    T* instance = new T(this);
    Reference = instance;
    if constexpr (std::is_base_of_v<TForm, T> || std::is_base_of_v<TDataModule, T>)
      instance->AfterConstruction();
    if constexpr (std::is_base_of_v<TForm, T>)
      if (!FMainForm) FMainForm = instance;
  }
  // Shows the main form and runs the message loop until the application terminates (the main
  // form closes or is freed, or Terminate is called). Returns at once without a main form.
  void Run();
  // Ends the message loop at its next pass, also when called before Run; no close handler runs.
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Handles every pending event, then returns.
  void ProcessMessages();
  // Waits for and handles events once.
  void HandleMessage();

  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }
  TForm* MainForm() const { return FMainForm.Get(); }

  // Call from a catch block: EAbort (and its descendants) is ignored; any other exception goes
  // to OnException when assigned, otherwise to ShowException. Never raises.
  void HandleException(TObject* Sender);
  // Error box with the message and the title as caption.
  void ShowException(Exception& E);
  TExceptionEvent OnException;

  ZEL_CLASS(TApplication, TComponent)

private:
  std::string FTitle;
  TComponentRef<TForm> FMainForm;
  bool FTerminated = false;
};

class TScreen : public TComponent {
public:
  explicit TScreen(TComponent* AOwner) : TComponent(AOwner) {}
  // The form whose window is active; nullptr when the active window is none of ours. While no
  // window is active, the form that was active last, as long as it is shown.
  TForm* ActiveForm() const;
  // The focused control of the active form.
  TWinControl* ActiveControl() const;
  TCursor Cursor() const { return FCursor; }
  // A plain assignment, handed to the service.
  void SetCursor(TCursor Value);
  int FormCount() const;
  TForm* Forms(int Index) const;
  int Width() const;
  int Height() const;
  // Internal: the window of Form became the active one.
  void FormActivated(TForm* Form);
  ZEL_CLASS(TScreen, TComponent)

private:
  TCursor FCursor = crDefault;
  TComponentRef<TForm> FLastActive;
};

// The process's application object and screen; they live as long as the process.
extern TApplication* Application;
extern TScreen* Screen;
