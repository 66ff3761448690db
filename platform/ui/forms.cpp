#include "forms.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QKeyEvent>
#include <QScreen>
#include <QShowEvent>
#include <QWidget>

#include <cstdio>
#include <filesystem>

#include "uiqt.h"
#include "widgets.h"

namespace {

std::vector<TForm*>& FormList() {
  static auto* list = new std::vector<TForm*>;
  return *list;
}

std::string ProgramName() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("zelkor") : exe.stem().string();
}

void WakeUp() {
  if (auto* d = QAbstractEventDispatcher::instance()) d->wakeUp();
}

// The top-level widget of a form: hands the close box, unhandled dialog keys and showing over.
class TFormWidget : public QWidget {
public:
  TFormWidget() : QWidget(nullptr, Qt::Window) {}
  TForm* Form = nullptr;

protected:
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    if (Form && Form->Hooked()) UiDispatch(Form, [this] { Form->CloseBoxPressed(); });
  }
  void keyPressEvent(QKeyEvent* e) override {
    bool handled = false;
    if (Form && Form->Hooked() && (e->modifiers() == Qt::NoModifier || e->modifiers() == Qt::KeypadModifier))
      UiDispatch(Form, [&] { handled = Form && Form->HandleDialogKey(e->key()); });
    if (handled)
      e->accept();
    else
      QWidget::keyPressEvent(e);
  }
  void showEvent(QShowEvent* e) override {
    QWidget::showEvent(e);
    if (!e->spontaneous() && Form && Form->Hooked()) Form->Showing();
  }
  bool event(QEvent* e) override {
    if (e->type() == QEvent::WindowActivate && Form && Form->Hooked()) Screen->FormActivated(Form);
    return QWidget::event(e);
  }
};

}  // namespace

TApplication* Application = new TApplication(nullptr);
TScreen* Screen = new TScreen(nullptr);

namespace {
[[maybe_unused]] const bool ExceptionHookInstalled =
    (HandleExceptionHook = [](TObject* Sender) { Application->HandleException(Sender); }, true);
}  // namespace

// --- Qt bridge -----------------------------------------------------------------------------

void EnsureQtApplication() {
  static QCoreApplication* hooked = nullptr;
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "zelkor";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives as long as the process
  }
  if (hooked == QCoreApplication::instance()) return;
  hooked = QCoreApplication::instance();
  auto* app = qobject_cast<QApplication*>(hooked);
  if (!app) return;
  QApplication::setQuitOnLastWindowClosed(false);
  // The forms ask for the fonts of the original platform; take the narrowest look-alikes here.
  QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "Arimo", "DejaVu Sans Condensed", "DejaVu Sans"});
  QFont::insertSubstitutions("MS Serif", {"Liberation Serif", "DejaVu Serif Condensed", "DejaVu Serif"});
  QObject::connect(app, &QApplication::focusChanged, app, [](QWidget*, QWidget* now) {
    if (!now) return;
    auto* c = dynamic_cast<TWinControl*>(TControl::FromWidget(now));
    if (!c || !c->Hooked() || dynamic_cast<TForm*>(c)) return;
    TForm* f = c->GetParentForm();
    if (f && f->Hooked()) UiDispatch(f, [f, c] { f->FocusMovedTo(c); });
  });
}

void UiHandleException(TObject* Sender) noexcept {
  try {
    Application->HandleException(Sender);
  } catch (...) {
    std::fputs("zelkor: an exception escaped the exception handler\n", stderr);
  }
}

// --- TForm ---------------------------------------------------------------------------------

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner, UiNewWidget<TFormWidget>(), false) {
  static_cast<TFormWidget*>(Widget())->Form = this;
  FVisible = false;
  QFont f("MS Sans Serif");
  f.setPointSize(8);
  Widget()->setFont(f);
  Widget()->setFocusPolicy(Qt::NoFocus);
  SetBounds(0, 0, 320, 240);
  UpdateWindowFlags();
  FormList().push_back(this);
}

TForm::~TForm() {
  Unhook();
  std::erase(FormList(), this);
}

void TForm::AfterConstruction() {
  if (FCreated) return;
  FCreated = true;
  UiDispatch(this, [this] {
    if (OnCreate) OnCreate(this);
  });
}

void TForm::SetCaption(const std::string& Value) {
  FCaption = Value;
  Widget()->setWindowTitle(QStr(Value));
}

void TForm::SetBorderStyle(TFormBorderStyle Value) {
  FBorderStyle = Value;
  UpdateWindowFlags();
}

void TForm::SetBorderIcons(TBorderIcons Value) {
  FBorderIcons = Value;
  UpdateWindowFlags();
}

void TForm::UpdateWindowFlags() {
  Qt::WindowFlags flags = (FBorderStyle == bsDialog ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint;
  if (FBorderIcons.Contains(biSystemMenu)) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (FBorderStyle != bsDialog) {
    if (FBorderIcons.Contains(biMinimize)) flags |= Qt::WindowMinimizeButtonHint;
    if (FBorderIcons.Contains(biMaximize) && FBorderStyle == bsSizeable) flags |= Qt::WindowMaximizeButtonHint;
  }
  const bool shown = Widget()->isVisible();
  Widget()->setWindowFlags(flags);
  if (FBorderStyle == bsSizeable) {
    Widget()->setMinimumSize(0, 0);
    Widget()->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  } else {
    Widget()->setFixedSize(Width(), Height());
  }
  if (shown) Widget()->show();
}

void TForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (FBorderStyle != bsSizeable) Widget()->setFixedSize(Width(), Height());
}

void TForm::SetVisible(bool Value) {
  if (!Value) {
    FVisible = false;
    Widget()->hide();
    return;
  }
  if (!FCreated) AfterConstruction();
  if (Widget()->isVisible()) return;
  FVisible = true;
  UpdateTabChain();
  if (FPosition == poScreenCenter) {
    QScreen* s = QGuiApplication::primaryScreen();
    if (s) {
      const QRect a = s->availableGeometry();
      SetBounds(a.x() + (a.width() - Width()) / 2, a.y() + (a.height() - Height()) / 2, Width(), Height());
    }
  }
  Widget()->show();
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) Widget()->raise();
  Widget()->activateWindow();
  TWinControl* c = FActiveControl.Get();
  // A form shown without an active control gives the focus to the first control in tab order,
  // so that typing goes somewhere (a page control passes it to the first field of its page).
  if (!c || !c->CanFocus()) c = FirstInTabOrder();
  if (c) {
    FActiveControl = c;
    c->Widget()->setFocus(Qt::OtherFocusReason);
  }
}

void TForm::Showing() {
  UiDispatch(this, [this] { DoShow(); });
}

void TForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

void TForm::Close() {
  if (FModal) {
    FModalResult = mrCancel;
    WakeUp();
    return;
  }
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application->MainForm() == this)
    Application->Terminate();
  else if (action == caHide)
    Hide();
  else if (action == caMinimize)
    Widget()->showMinimized();
  else
    Release();
}

void TForm::CloseBoxPressed() { Close(); }

void TForm::CloseModal() {
  TCloseAction action = caHide;
  UiDispatch(this, [&] { DoClose(action); });
  if (action == caNone) FModalResult = mrNone;
  else if (action == caFree) Release();
}

int TForm::ShowModal() {
  if (Visible() || FModal) throw EInvalidOperation("Cannot make a visible window modal");
  EnsureQtApplication();
  FModal = true;
  FModalResult = mrNone;
  TComponentRef<TForm> self(this);
  Widget()->setWindowModality(Qt::ApplicationModal);
  try {
    Show();
    for (;;) {
      if (Application->Terminated())
        FModalResult = mrCancel;
      else if (FModalResult != mrNone)
        CloseModal();
      if (!self || FModalResult != mrNone) break;
      Application->HandleMessage();
      if (!self) break;
    }
  } catch (...) {
    if (self) {
      FModal = false;
      Hide();
      Widget()->setWindowModality(Qt::NonModal);
    }
    throw;
  }
  if (!self) return mrCancel;
  FModal = false;
  Hide();
  Widget()->setWindowModality(Qt::NonModal);
  return FModalResult;
}

void TForm::Release() {
  if (FReleasing) return;
  FReleasing = true;
  Hide();
  TComponentRef<TForm> self(this);
  UiQueueCall([self] { delete self.Get(); });
}

bool TForm::Active() const { return Widget()->isActiveWindow(); }

void TForm::SetActiveControl(TWinControl* Control) {
  if (Control && Control->GetParentForm() != this)
    throw EInvalidOperation("Control is not on this form");
  FActiveControl = Control;
  if (Control && Visible() && Control->CanFocus()) {
    if (!Active()) Widget()->activateWindow();
    Control->Widget()->setFocus(Qt::OtherFocusReason);
  }
}

void TForm::FocusMovedTo(TWinControl* Control) {
  if (!Hooked()) return;
  FActiveControl = Control;
  if (FEntered.Get() == Control) return;
  if (TWinControl* old = FEntered.Get()) {
    FEntered = nullptr;
    if (old->Hooked()) UiDispatch(old, [old] { old->DoExit(); });
  }
  // An exit handler that moved the focus on has had the new control entered already.
  if (FActiveControl.Get() != Control || FEntered.Get() || !Control->Hooked()) return;
  FEntered = Control;
  UiDispatch(Control, [Control] { Control->DoEnter(); });
}

namespace {
void FindButtons(const TWinControl* c, std::vector<TButton*>& out) {
  for (int i = 0; i < c->ControlCount(); ++i) {
    TControl* child = c->Controls(i);
    if (auto* b = dynamic_cast<TButton*>(child)) out.push_back(b);
    if (auto* w = dynamic_cast<TWinControl*>(child)) FindButtons(w, out);
  }
}
bool Usable(const TWinControl* c) { return c->Hooked() && c->Widget()->isVisible() && c->Widget()->isEnabled(); }
}  // namespace

TButton* TForm::FindButton(bool Default) const {
  std::vector<TButton*> buttons;
  FindButtons(this, buttons);
  for (TButton* b : buttons)
    if ((Default ? b->Default() : b->Cancel()) && Usable(b)) return b;
  return nullptr;
}

bool TForm::HandleDialogKey(int QtKey) {
  TButton* b = nullptr;
  if (QtKey == Qt::Key_Return || QtKey == Qt::Key_Enter) {
    b = dynamic_cast<TButton*>(TControl::FromWidget(QApplication::focusWidget()));
    if (!b || b->GetParentForm() != this || !Usable(b)) b = FindButton(true);
  } else if (QtKey == Qt::Key_Escape) {
    b = FindButton(false);
  }
  if (!b) return false;
  b->Click();
  return true;
}

void TForm::UpdateTabChain() {
  std::vector<QWidget*> chain;
  CollectTabChain(chain);
  for (size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

// --- TDataModule ---------------------------------------------------------------------------

void TDataModule::AfterConstruction() {
  if (FCreated) return;
  FCreated = true;
  UiDispatch(this, [this] {
    if (OnCreate) OnCreate(this);
  });
}

// --- TApplication --------------------------------------------------------------------------

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner), FTitle(ProgramName()) {}

void TApplication::Initialize() { EnsureQtApplication(); }

void TApplication::Run() {
  EnsureQtApplication();
  if (!FMainForm) return;
  UiDispatch(this, [this] { FMainForm->Show(); });
  while (!FTerminated) {
    // A main form freed while the loop runs leaves no window to end the program with.
    if (!FMainForm) {
      Terminate();
      break;
    }
    HandleMessage();
  }
}

void TApplication::Terminate() {
  FTerminated = true;
  WakeUp();
}

void TApplication::ProcessMessages() {
  EnsureQtApplication();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TApplication::HandleMessage() {
  EnsureQtApplication();
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr p = std::current_exception();
  if (!p) return;
  auto deliver = [&](Exception& E) {
    try {
      if (OnException)
        OnException(Sender, E);
      else
        ShowException(E);
    } catch (...) {
      std::fputs("zelkor: the exception handler raised an exception\n", stderr);
    }
  };
  try {
    std::rethrow_exception(p);
  } catch (EAbort&) {
  } catch (Exception& E) {
    deliver(E);
  } catch (std::exception& e) {
    Exception E(e.what());
    deliver(E);
  } catch (...) {
    Exception E("Unknown exception");
    deliver(E);
  }
}

void TApplication::ShowException(Exception& E) {
  UiService().MessageBox(E.Message(), FTitle, mtError, {mbOK});
}

// --- TScreen -------------------------------------------------------------------------------

TForm* TScreen::ActiveForm() const {
  if (!QCoreApplication::instance()) return nullptr;
  if (QWidget* w = QApplication::activeWindow(); w && w->isVisible()) {
    auto* f = dynamic_cast<TForm*>(TControl::FromWidget(w));
    return f && f->Hooked() && f->Widget() == w ? f : nullptr;
  }
  // No window is active: a message box has just closed and the window system has not given the
  // activation back yet, or another program has it. The form active last is still the one.
  TForm* f = FLastActive.Get();
  return f && f->Hooked() && f->Widget()->isVisible() ? f : nullptr;
}

void TScreen::FormActivated(TForm* Form) { FLastActive = Form; }

TWinControl* TScreen::ActiveControl() const {
  TForm* f = ActiveForm();
  return f ? f->ActiveControl() : nullptr;
}

void TScreen::SetCursor(TCursor Value) {
  FCursor = Value;
  UiService().CursorChanged(Value);
}

int TScreen::FormCount() const { return int(FormList().size()); }

TForm* TScreen::Forms(int Index) const {
  if (Index < 0 || Index >= FormCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FormList()[size_t(Index)];
}

int TScreen::Width() const {
  EnsureQtApplication();
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().width() : 0;
}

int TScreen::Height() const {
  EnsureQtApplication();
  QScreen* s = QGuiApplication::primaryScreen();
  return s ? s->geometry().height() : 0;
}
