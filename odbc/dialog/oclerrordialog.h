#pragma once
// The library's modal dialog for one EODBC: a short text, and on demand the diagnostic records
// one at a time with their message, SQLSTATE and native error.
#include <string>

#include "forms.h"
#include "oclerror.h"
#include "widgets.h"

class TODErrorDialog : public TForm {
public:
  explicit TODErrorDialog(TComponent* AOwner);

  TImage* Image1;
  TLabel* Label1;
  TButton* Button1;
  TButton* Button2;
  TBevel* Bevel1;
  TMemo* Memo1;
  TLabel* Label2;
  TEdit* Edit1;
  TLabel* Label3;
  TEdit* Edit2;
  TButton* Button3;
  TButton* Button4;

  // The short text shown on top.
  std::string Msg;
  // The exception shown; not owned.
  EODBC* ODBCError = nullptr;
  bool DetailsShown = false;

  void FormShow(TObject* Sender);
  void Button1Click(TObject* Sender);
  void Button2Click(TObject* Sender);
  void Button3Click(TObject* Sender);
  void Button4Click(TObject* Sender);

  void HideDetails();
  void ShowDetails();
  void ShowRecord();

  ZEL_CLASS(TODErrorDialog, TForm)

private:
  void FitLabels();
  // One step of Prev/Next: Move, or at the list's end Back again and disable Pressed.
  void Step(bool (EODBC::*Move)(), bool (EODBC::*Back)(), TButton* Pressed);
};

// Shows E with Text on top in a modal dialog without owner. E stays its raiser's.
void ShowODBCErrorDialog(EODBC& E, const std::string& Text);

// Makes the connection component show its load-time connect failures with this dialog
// (ODBCErrorDialogFunc). The program calls it once at start; nothing installs it by itself, so
// code without a screen (tests of the library) never blocks on a modal dialog.
void InstallODBCErrorDialog();
