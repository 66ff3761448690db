#include "oclerrordialog.h"

#include <memory>

#include "numbers.h"
#include "ocl.h"

namespace {

template <class T>
T* Place(TODErrorDialog* Form, const char* Name, int Left, int Top, int Width, int Height) {
  T* c = new T(Form);
  c->SetName(Name);
  c->SetParent(Form);
  c->SetBounds(Left, Top, Width, Height);
  return c;
}

}  // namespace

TODErrorDialog::TODErrorDialog(TComponent* AOwner) : TForm(AOwner) {
  SetName("ODErrorDialog");
  SetCaption("Error");
  SetBorderStyle(bsSingle);
  SetBorderIcons({biSystemMenu});
  SetPosition(poScreenCenter);
  SetClientWidth(291);
  SetClientHeight(244);

  // Created in tab order: Button1, Button2, Memo1, Edit1, Edit2, Button3, Button4.
  Image1 = Place<TImage>(this, "Image1", 12, 12, 32, 32);
  Image1->SetStandardIcon(mtError);
  Label1 = Place<TLabel>(this, "Label1", 56, 12, 225, 41);
  Label1->SetAutoSize(false);
  Label1->SetWordWrap(true);
  Button1 = Place<TButton>(this, "Button1", 108, 56, 75, 25);
  Button1->SetCaption("OK");
  Button1->SetDefault(true);
  Button2 = Place<TButton>(this, "Button2", 212, 56, 75, 25);
  Button2->SetCaption("Details >>");
  Bevel1 = Place<TBevel>(this, "Bevel1", 4, 88, 281, 2);
  Memo1 = Place<TMemo>(this, "Memo1", 8, 100, 277, 81);
  Memo1->SetReadOnly(true);
  Label2 = Place<TLabel>(this, "Label2", 8, 192, 65, 13);
  Label2->SetAlignment(taRightJustify);
  Label2->SetCaption("ODBC Error");
  Edit1 = Place<TEdit>(this, "Edit1", 80, 188, 61, 21);
  Edit1->SetReadOnly(true);
  Label3 = Place<TLabel>(this, "Label3", 144, 192, 73, 13);
  Label3->SetAlignment(taRightJustify);
  Label3->SetCaption("Database Error");
  Edit2 = Place<TEdit>(this, "Edit2", 224, 188, 61, 21);
  Edit2->SetReadOnly(true);
  Button3 = Place<TButton>(this, "Button3", 108, 216, 75, 25);
  Button3->SetCaption("Prev");
  Button4 = Place<TButton>(this, "Button4", 212, 216, 75, 25);
  Button4->SetCaption("Next");
  FitLabels();

  OnShow = [this](TObject* Sender) { FormShow(Sender); };
  Button1->OnClick = [this](TObject* Sender) { Button1Click(Sender); };
  Button2->OnClick = [this](TObject* Sender) { Button2Click(Sender); };
  Button3->OnClick = [this](TObject* Sender) { Button3Click(Sender); };
  Button4->OnClick = [this](TObject* Sender) { Button4Click(Sender); };
}

// The two right-aligned labels keep their right edges; where this system's fonts run wider than
// the layout allows, they take a smaller size rather than run into the edit on their left.
void TODErrorDialog::FitLabels() {
  const struct {
    TLabel* Label;
    int MinLeft;
  } fits[] = {{Label2, 2}, {Label3, Edit1->Left() + Edit1->Width() + 2}};
  for (const auto& f : fits) {
    const int right = f.Label->Left() + f.Label->Width();
    for (int size = Font()->Size(); f.Label->Left() < f.MinLeft && size > 6;) {
      f.Label->Font()->SetSize(--size);
      f.Label->SetBounds(right - f.Label->Width(), f.Label->Top(), f.Label->Width(), f.Label->Height());
    }
  }
}

void TODErrorDialog::FormShow(TObject*) {
  SetCaption("Database Error: " + Application->Title());
  Label1->SetCaption(Msg);
  HideDetails();
  if (ODBCError) ODBCError->First();
  ShowRecord();
  Button3->SetEnabled(false);
  Button4->SetEnabled(true);
}

void TODErrorDialog::HideDetails() {
  SetClientHeight(Bevel1->Top() - 2);
  DetailsShown = false;
  Button2->SetCaption("Details >>");
}

void TODErrorDialog::ShowDetails() {
  SetClientHeight(Button4->Top() + Button4->Height() + 4);
  DetailsShown = true;
  Button2->SetCaption("Details <<");
}

void TODErrorDialog::ShowRecord() {
  if (!ODBCError) return;
  Memo1->SetText(ODBCError->ErrorMsg());
  Edit1->SetText(ODBCError->SqlState());
  Edit2->SetText(IntToStr(ODBCError->NativeError()));
}

void TODErrorDialog::Button1Click(TObject*) { Close(); }

void TODErrorDialog::Button2Click(TObject*) {
  if (DetailsShown)
    HideDetails();
  else
    ShowDetails();
}

void TODErrorDialog::Button3Click(TObject*) { Step(&EODBC::Prev, &EODBC::Next, Button3); }

void TODErrorDialog::Button4Click(TObject*) { Step(&EODBC::Next, &EODBC::Prev, Button4); }

void TODErrorDialog::Step(bool (EODBC::*Move)(), bool (EODBC::*Back)(), TButton* Pressed) {
  Button3->SetEnabled(true);
  Button4->SetEnabled(true);
  if (!ODBCError) return;
  if ((ODBCError->*Move)()) {
    ShowRecord();
  } else {
    // Past either end: back onto the last record shown, and that way is closed.
    (ODBCError->*Back)();
    Pressed->SetEnabled(false);
  }
}

void ShowODBCErrorDialog(EODBC& E, const std::string& Text) {
  auto dialog = std::make_unique<TODErrorDialog>(nullptr);
  dialog->Msg = Text;
  dialog->ODBCError = &E;
  dialog->ShowModal();
}

void InstallODBCErrorDialog() { ODBCErrorDialogFunc = ShowODBCErrorDialog; }
