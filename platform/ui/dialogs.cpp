#include "dialogs.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QPointer>

#include "forms.h"
#include "uiqt.h"

namespace {

struct TButtonMap {
  TMsgDlgBtn Btn;
  QMessageBox::StandardButton Qt;
  int Result;
};
const TButtonMap kButtons[] = {
    {mbYes, QMessageBox::Yes, mrYes},          {mbNo, QMessageBox::No, mrNo},
    {mbOK, QMessageBox::Ok, mrOk},             {mbCancel, QMessageBox::Cancel, mrCancel},
    {mbAbort, QMessageBox::Abort, mrAbort},    {mbRetry, QMessageBox::Retry, mrRetry},
    {mbIgnore, QMessageBox::Ignore, mrIgnore}, {mbAll, QMessageBox::YesToAll, mrAll},
    {mbNoToAll, QMessageBox::NoToAll, mrNoToAll}, {mbYesToAll, QMessageBox::YesToAll, mrYesToAll},
    {mbHelp, QMessageBox::Help, mrNone},
};

// Qt message boxes, the system beep and the application's override cursor.
class TQtUiService : public TUiService {
public:
  int MessageBox(const std::string& Text, const std::string& Caption, TMsgDlgType DlgType,
                 TMsgDlgButtons Buttons) override {
    EnsureQtApplication();
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (DlgType) {
      case mtWarning: icon = QMessageBox::Warning; break;
      case mtError: icon = QMessageBox::Critical; break;
      case mtInformation: icon = QMessageBox::Information; break;
      case mtConfirmation: icon = QMessageBox::Question; break;
      case mtCustom: break;
    }
    QMessageBox::StandardButtons qtButtons;
    for (const auto& b : kButtons)
      if (Buttons.Contains(b.Btn)) qtButtons |= b.Qt;
    if (!qtButtons) qtButtons = QMessageBox::Ok;
    // Over the window that was active, which gets the activation back when the box closes
    // (a window system may leave that to the program).
    QPointer<QWidget> owner = QApplication::activeWindow();
    QMessageBox box(icon, QStr(Caption), QStr(Text), qtButtons, owner);
    box.setTextFormat(Qt::PlainText);
    const int answer = box.exec();
    if (owner && owner->isVisible()) owner->activateWindow();
    for (const auto& b : kButtons)
      if (answer == b.Qt) return b.Result;
    return mrCancel;
  }
  void Beep(unsigned) override {
    EnsureQtApplication();
    QApplication::beep();
  }
  void CursorChanged(TCursor Cursor) override {
    EnsureQtApplication();
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    Qt::CursorShape shape;
    switch (Cursor) {
      case crDefault: return;
      case crNone: shape = Qt::BlankCursor; break;
      case crCross: shape = Qt::CrossCursor; break;
      case crIBeam: shape = Qt::IBeamCursor; break;
      case crHourGlass: shape = Qt::WaitCursor; break;
      case crSQLWait: shape = Qt::BusyCursor; break;
      default: shape = Qt::ArrowCursor; break;
    }
    QApplication::setOverrideCursor(QCursor(shape));
  }
};

TUiService* gService = nullptr;

TUiService& QtService() {
  static auto* s = new TQtUiService;
  return *s;
}

}  // namespace

TUiService& UiService() { return gService ? *gService : QtService(); }

TUiService* SetUiService(TUiService* Service) {
  TUiService* old = gService;
  gService = Service;
  return old;
}

int MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int) {
  std::string caption;
  switch (DlgType) {
    case mtWarning: caption = "Warning"; break;
    case mtError: caption = "Error"; break;
    case mtInformation: caption = "Information"; break;
    case mtConfirmation: caption = "Confirm"; break;
    case mtCustom: caption = Application->Title(); break;
  }
  return UiService().MessageBox(Msg, caption, DlgType, Buttons);
}

bool MessageBeep(unsigned SoundType) {
  UiService().Beep(SoundType);
  return true;
}

// --- TRecordingUiService -------------------------------------------------------------------

TRecordingUiService::TRecordingUiService() : FPrevious(SetUiService(this)) {}

TRecordingUiService::~TRecordingUiService() { SetUiService(FPrevious); }

int TRecordingUiService::MessageBox(const std::string& Text, const std::string& Caption,
                                    TMsgDlgType DlgType, TMsgDlgButtons Buttons) {
  Messages.push_back({Text, Caption, DlgType, Buttons});
  if (!Answers.empty()) {
    const int a = Answers.front();
    Answers.pop_front();
    return a;
  }
  if (Buttons.Contains(mbOK) || Buttons.Empty()) return mrOk;
  for (const auto& b : kButtons)
    if (Buttons.Contains(b.Btn)) return b.Result;
  return mrOk;
}

void TRecordingUiService::Beep(unsigned SoundType) { Beeps.push_back(SoundType); }

void TRecordingUiService::CursorChanged(TCursor Cursor) { Cursors.push_back(Cursor); }
