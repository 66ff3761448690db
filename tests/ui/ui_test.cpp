// Application object, forms, controls and the dialog service, offscreen with real widgets.
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <string>
#include <vector>

#include "uitest.h"
#include "widgets.h"


namespace {

class TLogForm : public TForm {
public:
  explicit TLogForm(TComponent* AOwner) : TForm(AOwner) {
    Edit1 = new TEdit(this);
    Edit1->SetName("Edit1");
    Edit1->SetParent(this);
    Edit1->SetBounds(8, 8, 100, 21);
    Edit2 = new TEdit(this);
    Edit2->SetName("Edit2");
    Edit2->SetParent(this);
    Edit2->SetBounds(8, 40, 100, 21);
    Button1 = new TButton(this);
    Button1->SetName("Button1");
    Button1->SetParent(this);
    Button1->SetBounds(8, 72, 75, 25);
    OnCreate = [this](TObject*) {
      Log.push_back("create");
      if (ThrowOnCreate) throw Exception("create failed");
    };
    OnShow = [this](TObject*) { Log.push_back("show"); };
    OnClose = [this](TObject*, TCloseAction& A) {
      Log.push_back("close");
      A = CloseAction;
    };
    for (TEdit* e : {Edit1, Edit2}) {
      e->OnEnter = [this](TObject* s) { Log.push_back("enter " + static_cast<TEdit*>(s)->Name()); };
      e->OnExit = [this](TObject* s) { Log.push_back("exit " + static_cast<TEdit*>(s)->Name()); };
    }
  }
  static inline bool ThrowOnCreate = false;
  TEdit* Edit1;
  TEdit* Edit2;
  TButton* Button1;
  TCloseAction CloseAction = caHide;
  std::vector<std::string> Log;
  // The log without focus entries.
  std::vector<std::string> Events() const {
    std::vector<std::string> out;
    for (const auto& e : Log)
      if (e.rfind("enter ", 0) != 0 && e.rfind("exit ", 0) != 0) out.push_back(e);
    return out;
  }
};

class TFailingForm : public TForm {
public:
  explicit TFailingForm(TComponent* AOwner) : TForm(AOwner) { throw EInvalidOperation("no window"); }
};

struct TModule : TDataModule {
  explicit TModule(TComponent* AOwner) : TDataModule(AOwner) {
    OnCreate = [this](TObject*) {
      MainFormAtCreate = Application->MainForm() != nullptr;
      SelfAtCreate = *Reference == this;
    };
  }
  static inline TModule** Reference = nullptr;
  bool MainFormAtCreate = false, SelfAtCreate = false;
};

using UiApplication = UiFixture;

TEST_F(UiApplication, FirstCreatedFormIsMainAndItsCreateHandlerRunsInsideTheCall) {
  TLogForm* main = nullptr;
  TLogForm* second = nullptr;
  Application->CreateForm(main);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->Log, std::vector<std::string>{"create"});
  Application->CreateForm(second);
  EXPECT_EQ(Application->MainForm(), main);
  EXPECT_EQ(second->Owner(), Application);
  EXPECT_FALSE(main->Visible());
  // A data module's creation handler sees the main form and the module's own reference.
  TModule* module = nullptr;
  TModule::Reference = &module;
  Application->CreateForm(module);
  EXPECT_TRUE(module->MainFormAtCreate);
  EXPECT_TRUE(module->SelfAtCreate);
  EXPECT_EQ(Application->MainForm(), main);
}

TEST_F(UiApplication, FailingCreateHandlerIsReportedAndTheFormStays) {
  TLogForm::ThrowOnCreate = true;
  TLogForm* form = nullptr;
  Application->CreateForm(form);
  TLogForm::ThrowOnCreate = false;
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Application->MainForm(), form);
  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].Text, "create failed");
}

TEST_F(UiApplication, FailingConstructorClearsTheReferenceAndRaises) {
  TFailingForm* form = reinterpret_cast<TFailingForm*>(&App);  // any non-null value
  EXPECT_THROW(Application->CreateForm(form), EInvalidOperation);
  EXPECT_EQ(form, nullptr);
  EXPECT_EQ(Application->MainForm(), nullptr);
}

TEST_F(UiApplication, TerminateBeforeRunEndsTheLoopWithoutCloseHandler) {
  TLogForm* main = nullptr;
  Application->CreateForm(main);
  Application->Terminate();
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(main->Events(), (std::vector<std::string>{"create", "show"}));
}

TEST_F(UiApplication, ClosingTheMainFormEndsRun) {
  TLogForm* main = nullptr;
  Application->CreateForm(main);
  QTimer::singleShot(0, [main] { main->Close(); });
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(main->Events(), (std::vector<std::string>{"create", "show", "close"}));
}

TEST_F(UiApplication, CloseActionNoneKeepsTheMainFormRunning) {
  TLogForm* main = nullptr;
  Application->CreateForm(main);
  main->CloseAction = caNone;
  QTimer::singleShot(0, [main] {
    main->Close();
    EXPECT_FALSE(Application->Terminated());
    EXPECT_TRUE(main->Widget()->isVisible());
    Application->Terminate();
  });
  Application->Run();
  EXPECT_EQ(main->Events(), (std::vector<std::string>{"create", "show", "close"}));
}

TEST_F(UiApplication, ExceptionInAButtonHandlerReachesTheDefaultHandlingAndTheProgramGoesOn) {
  Application->SetTitle("Kolvar test");
  TLogForm* form = nullptr;
  Application->CreateForm(form);
  int clicks = 0;
  form->Button1->OnClick = [&](TObject*) {
    if (++clicks == 1) throw Exception("Od številke do številke moraš obvezno vnesti !");
  };
  ShowActive(form);
  QTest::mouseClick(form->Button1->Widget(), Qt::LeftButton);
  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].Text, "Od številke do številke moraš obvezno vnesti !");
  EXPECT_EQ(Rec.Messages[0].Caption, "Kolvar test");
  EXPECT_EQ(Rec.Messages[0].DlgType, mtError);
  EXPECT_EQ(Rec.Messages[0].Buttons, TMsgDlgButtons{mbOK});
  // The program goes on: the next click runs normally.
  QTest::mouseClick(form->Button1->Widget(), Qt::LeftButton);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(Rec.Messages.size(), 1u);
}

TEST_F(UiApplication, AnExceptionInsideTheRunningLoopIsShownAndTheLoopGoesOn) {
  TLogForm* main = nullptr;
  Application->CreateForm(main);
  int clicks = 0;
  main->Button1->OnClick = [&](TObject*) {
    if (++clicks == 1) throw EConvertError("'x' is not a valid integer value");
  };
  for (int i = 0; i < 2; ++i)
    QTimer::singleShot(0, [main] { QTest::mouseClick(main->Button1->Widget(), Qt::LeftButton); });
  QTimer::singleShot(0, [main] { main->Close(); });
  Application->Run();
  EXPECT_EQ(clicks, 2);
  ASSERT_EQ(Rec.Messages.size(), 1u);
  EXPECT_EQ(Rec.Messages[0].Text, "'x' is not a valid integer value");
  EXPECT_EQ(main->Events(), (std::vector<std::string>{"create", "show", "close"}));
}

TEST_F(UiApplication, FreeingTheMainFormEndsRun) {
  TLogForm* main = nullptr;
  Application->CreateForm(main);
  QTimer::singleShot(0, [main] { delete main; });
  bool stillRunning = false;
  QTimer guard;  // ends a loop that would otherwise run on without a window
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [&] {
    stillRunning = true;
    Application->Terminate();
  });
  guard.start(5000);
  Application->Run();
  EXPECT_FALSE(stillRunning);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(Application->MainForm(), nullptr);
}

TEST_F(UiApplication, SilentAbortShowsNothingAndOnExceptionReplacesTheBox) {
  TLogForm* form = nullptr;
  Application->CreateForm(form);
  ShowActive(form);
  form->Button1->OnClick = [](TObject*) { Abort(); };
  QTest::mouseClick(form->Button1->Widget(), Qt::LeftButton);
  EXPECT_TRUE(Rec.Messages.empty());

  std::vector<std::string> seen;
  Application->OnException = [&](TObject* Sender, Exception& E) {
    seen.push_back(std::string(Sender->ClassName()) + ":" + E.ClassName() + ":" + E.Message());
  };
  form->Button1->OnClick = [](TObject*) { throw EConvertError("bad number"); };
  QTest::mouseClick(form->Button1->Widget(), Qt::LeftButton);
  form->Button1->OnClick = [](TObject*) { throw std::runtime_error("plain"); };
  QTest::mouseClick(form->Button1->Widget(), Qt::LeftButton);
  EXPECT_EQ(seen, (std::vector<std::string>{"TButton:EConvertError:bad number", "TButton:Exception:plain"}));
  EXPECT_TRUE(Rec.Messages.empty());
}

TEST_F(UiApplication, MessageDlgBeepAndCursorGoThroughTheService) {
  Application->SetTitle("Naslov");
  EXPECT_EQ(MessageDlg("Pozor", mtWarning, {mbOK}), mrOk);
  Rec.Answers.push_back(mrNo);
  EXPECT_EQ(MessageDlg("Res?", mtConfirmation, {mbYes, mbNo}), mrNo);
  MessageDlg("Info", mtInformation, {mbOK});
  MessageDlg("Napaka", mtError, {mbOK});
  MessageDlg("Po meri", mtCustom, {mbOK});
  std::vector<std::string> captions;
  for (auto& m : Rec.Messages) captions.push_back(m.Caption);
  EXPECT_EQ(captions, (std::vector<std::string>{"Warning", "Confirm", "Information", "Error", "Naslov"}));
  MessageBeep(MB_ICONASTERISK);
  EXPECT_EQ(Rec.Beeps, std::vector<unsigned>{MB_ICONASTERISK});
  Screen->SetCursor(crHourGlass);
  Screen->SetCursor(crDefault);
  EXPECT_EQ(Screen->Cursor(), crDefault);
  EXPECT_EQ(Rec.Cursors, (std::vector<TCursor>{crHourGlass, crDefault}));
}

TEST_F(UiApplication, TheQtServiceShowsRealMessageBoxesAndSetsTheCursor) {
  TUiService* recorder = SetUiService(nullptr);  // the Qt service for this test
  struct TShown {
    std::string Title, Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
  };
  std::vector<TShown> shown;
  // Answers the next box with Button once it is up.
  auto answer = [&](QMessageBox::StandardButton Button) {
    QTimer::singleShot(0, [&shown, Button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      shown.push_back({box->windowTitle().toStdString(), box->text().toStdString(), box->icon()});
      box->button(Button)->click();
    });
  };
  answer(QMessageBox::Ok);
  EXPECT_EQ(MessageDlg("Napaka pri odpiranju datoteke: Š !", mtError, {mbOK}), mrOk);
  answer(QMessageBox::No);
  EXPECT_EQ(MessageDlg("Res?", mtConfirmation, {mbYes, mbNo}), mrNo);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].Title, "Error");
  EXPECT_EQ(shown[0].Text, "Napaka pri odpiranju datoteke: Š !");
  EXPECT_EQ(shown[0].Icon, QMessageBox::Critical);
  EXPECT_EQ(shown[1].Title, "Confirm");
  EXPECT_EQ(shown[1].Icon, QMessageBox::Question);

  Screen->SetCursor(crHourGlass);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  Screen->SetCursor(crHourGlass);  // a plain assignment: one default brings the normal cursor back
  Screen->SetCursor(crDefault);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  SetUiService(recorder);
}

using UiForms = UiFixture;

TEST_F(UiForms, FocusEnterAndExitFollowTheFocusButNotAnotherWindow) {
  TLogForm* form = nullptr;
  Application->CreateForm(form);
  form->SetActiveControl(form->Edit1);
  ShowActive(form);
  EXPECT_EQ(Screen->ActiveForm(), form);
  EXPECT_EQ(Screen->ActiveControl(), form->Edit1);
  form->Edit2->SetFocus();
  EXPECT_EQ(Screen->ActiveControl(), form->Edit2);

  // Another window takes the focus for a while (as a message box would): no exit, no enter.
  QWidget other;
  auto* line = new QLineEdit(&other);
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  line->setFocus();
  EXPECT_EQ(Screen->ActiveForm(), nullptr);
  other.hide();
  form->Widget()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form->Widget()));
  EXPECT_EQ(Screen->ActiveControl(), form->Edit2);

  QTest::keyClick(form->Edit2->Widget(), Qt::Key_Tab);
  EXPECT_EQ(form->Log, (std::vector<std::string>{"create", "show", "enter Edit1", "exit Edit1", "enter Edit2",
                                                  "exit Edit2"}));
  EXPECT_EQ(Screen->ActiveControl(), form->Button1);
}

TEST_F(UiForms, TabOrderDecidesTheFocusChain) {
  TLogForm* form = nullptr;
  Application->CreateForm(form);
  EXPECT_EQ(form->Edit1->TabOrder(), 0);
  EXPECT_EQ(form->Button1->TabOrder(), 2);
  form->Button1->SetTabOrder(0);
  EXPECT_EQ(form->Edit1->TabOrder(), 1);
  EXPECT_EQ(form->Edit2->TabOrder(), 2);
  form->SetActiveControl(form->Button1);
  ShowActive(form);
  ASSERT_TRUE(form->Button1->Focused());
  QTest::keyClick(form->Button1->Widget(), Qt::Key_Tab);
  EXPECT_TRUE(form->Edit1->Focused());
  QTest::keyClick(form->Edit1->Widget(), Qt::Key_Tab);
  EXPECT_TRUE(form->Edit2->Focused());
}

TEST_F(UiForms, ReturnClicksTheDefaultButtonAndHiddenOrDisabledControlsCannotTakeTheFocus) {
  TLogForm* form = nullptr;
  Application->CreateForm(form);
  int clicks = 0;
  form->Button1->OnClick = [&](TObject*) { ++clicks; };
  form->Button1->SetDefault(true);
  form->SetActiveControl(form->Edit1);
  ShowActive(form);
  QTest::keyClick(form->Edit1->Widget(), Qt::Key_Return);
  EXPECT_EQ(clicks, 1);
  form->Button1->SetEnabled(false);
  QTest::keyClick(form->Edit1->Widget(), Qt::Key_Return);
  EXPECT_EQ(clicks, 1);
  EXPECT_THROW(form->Button1->SetFocus(), EInvalidOperation);
  form->Edit2->SetVisible(false);
  EXPECT_FALSE(form->Edit2->CanFocus());
  EXPECT_THROW(form->Edit2->SetFocus(), EInvalidOperation);
}

TEST_F(UiForms, EscapeClicksCancelReturnOnAFocusedButtonClicksItAndTheCloseBoxCloses) {
  TLogForm* main = nullptr;
  TLogForm* form = nullptr;
  Application->CreateForm(main);
  Application->CreateForm(form);
  auto* cancel = new TButton(form);
  cancel->SetParent(form);
  cancel->SetBounds(100, 72, 75, 25);
  cancel->SetCancel(true);
  std::vector<std::string> clicks;
  cancel->OnClick = [&](TObject*) { clicks.push_back("cancel"); };
  form->Button1->SetDefault(true);
  form->Button1->OnClick = [&](TObject*) { clicks.push_back("default"); };
  form->SetActiveControl(cancel);
  ShowActive(form);
  QTest::keyClick(cancel->Widget(), Qt::Key_Return);  // the focused button, not the default one
  QTest::keyClick(form->Edit1->Widget(), Qt::Key_Escape);
  EXPECT_EQ(clicks, (std::vector<std::string>{"cancel", "cancel"}));
  form->Widget()->close();  // the window's close box
  EXPECT_EQ(form->Events(), (std::vector<std::string>{"create", "show", "close"}));
  EXPECT_FALSE(form->Widget()->isVisible());
  EXPECT_FALSE(Application->Terminated());  // not the main form
}

TEST_F(UiForms, ExceptionsFromFocusHandlersAreHandledAndTheFocusStillMoves) {
  TLogForm* form = nullptr;
  Application->CreateForm(form);
  form->Edit1->OnExit = [](TObject*) { throw Exception("exit failed"); };
  form->Edit2->OnEnter = [](TObject*) { throw Exception("enter failed"); };
  form->SetActiveControl(form->Edit1);
  ShowActive(form);
  form->Edit2->SetFocus();
  EXPECT_TRUE(form->Edit2->Focused());
  EXPECT_EQ(Screen->ActiveControl(), form->Edit2);
  ASSERT_EQ(Rec.Messages.size(), 2u);
  EXPECT_EQ(Rec.Messages[0].Text, "exit failed");
  EXPECT_EQ(Rec.Messages[1].Text, "enter failed");
}

TEST_F(UiForms, ShowModalReturnsTheButtonsResultAndCloseGivesCancel) {
  TLogForm* form = nullptr;
  Application->CreateForm(form);
  form->Button1->SetModalResult(mrOk);
  QTimer::singleShot(0, [form] { QTest::mouseClick(form->Button1->Widget(), Qt::LeftButton); });
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_FALSE(form->Visible());
  EXPECT_FALSE(form->Widget()->isVisible());

  QTimer::singleShot(0, [form] { form->Close(); });
  EXPECT_EQ(form->ShowModal(), mrCancel);
  // The close handler ran when the modal loop closed the form both times.
  EXPECT_EQ(std::count(form->Log.begin(), form->Log.end(), "close"), 2);

  form->Show();
  EXPECT_THROW(form->ShowModal(), EInvalidOperation);
  form->Hide();
}

TEST_F(UiForms, CloseActionNoneKeepsAModalFormOpen) {
  TLogForm* form = nullptr;
  Application->CreateForm(form);
  form->CloseAction = caNone;
  int tries = 0;
  std::function<void()> tryClose = [&] {
    ++tries;
    if (tries == 2) form->CloseAction = caHide;
    form->Close();
    if (tries < 2) QTimer::singleShot(0, tryClose);
  };
  QTimer::singleShot(0, tryClose);
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_EQ(tries, 2);
}

TEST_F(UiForms, ReleaseFreesTheFormAfterTheEventAndOwnerForgetsIt) {
  TLogForm* form = nullptr;
  Application->CreateForm(form);
  TComponentRef<TLogForm> ref(form);
  form->CloseAction = caFree;
  TLogForm* second = nullptr;
  Application->CreateForm(second);  // not the main form, so caFree applies
  TComponentRef<TLogForm> ref2(second);
  second->CloseAction = caFree;
  second->Show();
  second->Close();
  EXPECT_TRUE(ref2);
  Application->ProcessMessages();
  EXPECT_FALSE(ref2);
  EXPECT_EQ(Application->ComponentCount(), 1);
}

TEST_F(UiForms, AlClientFillsTheParentAndPagesHoldTheirControls) {
  TForm* form = nullptr;
  Application->CreateForm(form);
  form->SetBounds(10, 10, 471, 282);
  auto* pages = new TPageControl(form);
  pages->SetParent(form);
  pages->SetAlign(alClient);
  EXPECT_EQ(pages->Width(), 471);
  EXPECT_EQ(pages->Height(), 282);
  auto* issue = new TTabSheet(form);
  issue->SetCaption("Izdaja blaga");
  issue->SetPageControl(pages);
  auto* receipt = new TTabSheet(form);
  receipt->SetCaption("Prevzem blaga");
  receipt->SetPageControl(pages);
  auto* gauge = new TGauge(form);
  gauge->SetParent(receipt);
  gauge->SetBounds(8, 8, 200, 20);
  ASSERT_EQ(pages->PageCount(), 2);
  EXPECT_EQ(pages->Pages(1), receipt);
  EXPECT_EQ(receipt->PageIndex(), 1);
  EXPECT_EQ(pages->ActivePage(), issue);
  int changes = 0;
  pages->OnChange = [&](TObject*) { ++changes; };
  pages->SetActivePage(receipt);
  EXPECT_EQ(pages->ActivePageIndex(), 1);
  EXPECT_EQ(changes, 0);  // only the user's switch fires OnChange
  EXPECT_EQ(gauge->GetParentForm(), form);
  auto* onIssue = new TEdit(form);
  onIssue->SetParent(issue);
  EXPECT_FALSE(onIssue->CanFocus());  // its page is not the active one
  pages->SetActivePage(issue);
  EXPECT_TRUE(onIssue->CanFocus());
  delete onIssue;

  ShowActive(form);
  pages->SetActivePage(receipt);
  // The gauge paints inside SetProgress, not at the next pass of the message loop.
  struct PaintCounter : QObject {
    int Paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++Paints;
      return false;
    }
  } counter;
  gauge->Widget()->installEventFilter(&counter);
  gauge->SetProgress(60);
  EXPECT_GE(counter.Paints, 1);
  gauge->Widget()->removeEventFilter(&counter);
  EXPECT_EQ(gauge->PercentDone(), 60);
  gauge->SetProgress(250);
  EXPECT_EQ(gauge->Progress(), 100);
  gauge->SetProgress(-5);
  EXPECT_EQ(gauge->Progress(), 0);
  form->SetWidth(500);
  EXPECT_EQ(pages->Width(), 500);

  delete receipt;  // its gauge goes with it
  EXPECT_EQ(pages->PageCount(), 1);
  EXPECT_EQ(form->ComponentCount(), 2);
  delete form;
}

TEST_F(UiForms, TextsKeepTheirCharacters) {
  TForm* form = nullptr;
  Application->CreateForm(form);
  const std::string text = "Od številke: Čebelarstvo Žalec";
  auto* edit = new TEdit(form);
  edit->SetText(text);
  EXPECT_EQ(edit->Text(), text);
  edit->SetSelStart(3);
  edit->SetSelLength(8);
  EXPECT_EQ(edit->SelStart(), 3);
  EXPECT_EQ(edit->SelLength(), 8);
  EXPECT_EQ(static_cast<QLineEdit*>(edit->Widget())->selectedText().toStdString(), "številke");
  auto* memo = new TMemo(form);
  memo->SetText("prva\ndruga vrstica š");
  EXPECT_EQ(memo->Text(), "prva\ndruga vrstica š");
  form->SetCaption("Kolvar Čačak");
  EXPECT_EQ(form->Widget()->windowTitle().toStdString(), "Kolvar Čačak");
}

TEST_F(UiForms, GeometryAndFontNameAsSet) {
  TLogForm* form = nullptr;
  Application->CreateForm(form);
  EXPECT_EQ(form->Font()->Name(), "MS Sans Serif");
  EXPECT_EQ(form->Font()->Size(), 8);
  form->SetBounds(192, 107, 471, 282);
  form->Font()->SetName("MS Serif");
  form->Font()->SetName("MS Sans Serif");
  ShowActive(form);
  EXPECT_EQ(form->Left(), 192);
  EXPECT_EQ(form->Top(), 107);
  EXPECT_EQ(form->ClientWidth(), 471);
  EXPECT_EQ(form->ClientHeight(), 282);
  EXPECT_EQ(form->Widget()->geometry(), QRect(192, 107, 471, 282));
  EXPECT_EQ(form->Font()->Name(), "MS Sans Serif");
  // Controls that keep their parent's font follow the form's.
  EXPECT_EQ(form->Edit1->Font()->Name(), "MS Sans Serif");
  EXPECT_EQ(form->Edit1->Font()->Size(), 8);
  form->Edit1->SetBounds(20, 30, 150, 21);
  EXPECT_EQ(form->Edit1->Widget()->geometry(), QRect(20, 30, 150, 21));
}

TEST_F(UiForms, LabelAutoSizeKeepsTheRightEdgeOfARightAlignedLabel) {
  TForm* form = nullptr;
  Application->CreateForm(form);
  auto* label = new TLabel(form);
  label->SetParent(form);
  label->SetAlignment(taRightJustify);
  label->SetBounds(144, 192, 73, 13);
  label->SetCaption("Database Error");
  EXPECT_EQ(label->Left() + label->Width(), 217);
  auto* fixed = new TLabel(form);
  fixed->SetParent(form);
  fixed->SetAutoSize(false);
  fixed->SetWordWrap(true);
  fixed->SetBounds(56, 12, 225, 41);
  fixed->SetCaption("A long text that wraps over more than one line of the label");
  EXPECT_EQ(fixed->Width(), 225);
  EXPECT_EQ(fixed->Height(), 41);
}

}  // namespace
