#pragma once
// Message boxes, beeps and the screen cursor. All three go through one service so that tests can
// put a recorder in its place; the real service shows Qt message boxes.
#include <deque>
#include <string>
#include <vector>

#include "component.h"

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll,
                  mbYesToAll, mbHelp };
using TMsgDlgButtons = TSmallSet<TMsgDlgBtn>;

// Modal results.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrAll = 8;
inline constexpr int mrNoToAll = 9;
inline constexpr int mrYesToAll = 10;

// Sound types of MessageBeep.
inline constexpr unsigned MB_OK = 0x00;
inline constexpr unsigned MB_ICONHAND = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONASTERISK = 0x40;

// Screen cursors.
using TCursor = int;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crSQLWait = -17;

class TUiService {
public:
  virtual ~TUiService() = default;
  // Shows a modal message box; returns the modal result of the button chosen.
  virtual int MessageBox(const std::string& Text, const std::string& Caption, TMsgDlgType DlgType,
                         TMsgDlgButtons Buttons) = 0;
  virtual void Beep(unsigned SoundType) = 0;
  // The screen cursor was assigned.
  virtual void CursorChanged(TCursor Cursor) = 0;
};

// The service in force (the Qt one unless a test installed another).
TUiService& UiService();
// Installs Service (nullptr: the Qt one again); returns the one it replaces.
TUiService* SetUiService(TUiService* Service);

// Message box with the caption of its type ("Warning", "Error", "Information", "Confirm"; the
// application title for mtCustom). Returns the modal result.
int MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx = 0);
// Plays the system sound of the given type.
bool MessageBeep(unsigned SoundType);

// For tests: records every message box, beep and cursor change and answers message boxes from a
// queue (mrOk when empty, or the first button offered when OK is not among them). Installs itself
// on construction and puts the previous service back on destruction.
class TRecordingUiService : public TUiService {
public:
  struct TMessage {
    std::string Text, Caption;
    TMsgDlgType DlgType;
    TMsgDlgButtons Buttons;
  };
  TRecordingUiService();
  ~TRecordingUiService() override;
  TRecordingUiService(const TRecordingUiService&) = delete;
  TRecordingUiService& operator=(const TRecordingUiService&) = delete;

  int MessageBox(const std::string& Text, const std::string& Caption, TMsgDlgType DlgType,
                 TMsgDlgButtons Buttons) override;
  void Beep(unsigned SoundType) override;
  void CursorChanged(TCursor Cursor) override;

  std::vector<TMessage> Messages;
  std::vector<unsigned> Beeps;
  std::vector<TCursor> Cursors;
  std::deque<int> Answers;

private:
  TUiService* FPrevious;
};
