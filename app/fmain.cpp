#include "fmain.h"

#include "fpublicvar.h"
#include "numbers.h"
#include "stdproc.h"
#include "stdprocfmt.h"
#include "text.h"

TMain* Main = nullptr;

namespace {

const char* const FormCaption = "Kolvar";

// The controls of one page; both pages have the same layout.
struct TPageControls {
  TEdit*& KljucOD;
  TEdit*& KljucDO;
  TEdit*& FileName;
  TNumberEdit*& StevPrenosa;
  TGauge*& Artikli;
  TGauge*& Promet;
  TButton*& Kreiraj;
  TButton*& Konec;
};

TLabel* NewLabel(TMain* Owner, TWinControl* Parent, const std::string& Name, const std::string& Caption,
                 int Left, int Top) {
  auto* l = new TLabel(Owner);
  l->SetName(Name);
  l->SetParent(Parent);
  l->SetCaption(Caption);
  l->SetLeft(Left);
  l->SetTop(Top);
  return l;
}

template <class T>
T* NewControl(TMain* Owner, TWinControl* Parent, const std::string& Name, int Left, int Top, int Width,
              int Height) {
  auto* c = new T(Owner);
  c->SetName(Name);
  c->SetParent(Parent);
  c->SetBounds(Left, Top, Width, Height);
  return c;
}

void BuildPage(TMain* Owner, TTabSheet* Page, const std::string& Suffix, int FirstLabel, TPageControls C) {
  const int labelX = 16, fieldX = 152;
  auto label = [&](const char* Caption, int Top) {
    NewLabel(Owner, Page, "Label" + std::to_string(FirstLabel++), Caption, labelX, Top + 4);
  };
  label("Od številke:", 12);
  C.KljucOD = NewControl<TEdit>(Owner, Page, "fKljuc" + Suffix + "OD", fieldX, 12, 121, 21);
  label("Do številke:", 40);
  C.KljucDO = NewControl<TEdit>(Owner, Page, "fKljuc" + Suffix + "DO", fieldX, 40, 121, 21);
  label("Pot in ime datoteke:", 68);
  C.FileName = NewControl<TEdit>(Owner, Page, "fFileName" + Suffix, fieldX, 68, 289, 21);
  label("Številka prenosa:", 96);
  C.StevPrenosa = NewControl<TNumberEdit>(Owner, Page, "fStevPrenosa" + Suffix, fieldX, 96, 81, 21);
  C.StevPrenosa->SetEntryRequired(integervalue);
  C.StevPrenosa->SetDisplayFormat("0;-0");
  label("Artikli:", 128);
  C.Artikli = NewControl<TGauge>(Owner, Page, "gArtikli" + Suffix, fieldX, 128, 289, 21);
  C.Artikli->SetProgress(0);
  label("Promet:", 156);
  C.Promet = NewControl<TGauge>(Owner, Page, "gPromet" + Suffix, fieldX, 156, 289, 21);
  C.Promet->SetProgress(0);
  C.Kreiraj = NewControl<TButton>(Owner, Page, "bKreiraj" + Suffix, fieldX, 192, 89, 25);
  C.Kreiraj->SetCaption("Kreiraj");
  C.Konec = NewControl<TButton>(Owner, Page, "bKonec" + Suffix, fieldX + 104, 192, 89, 25);
  C.Konec->SetCaption("Konec");
  // From key, to key, file name, create, end, transfer number.
  C.KljucOD->SetTabOrder(0);
  C.KljucDO->SetTabOrder(1);
  C.FileName->SetTabOrder(2);
  C.Kreiraj->SetTabOrder(3);
  C.Konec->SetTabOrder(4);
  C.StevPrenosa->SetTabOrder(5);
}

// The INI's transfer number; a value that is no integer falls back to 1, so that one damaged
// entry neither ends the start-up early nor lets the close handler save design texts.
double TransferNumber(const std::string& Key) {
  int value = 1;
  if (!TryStrToInt(GetStringFromIniFile("Kolvar", Key, "1"), value)) value = 1;
  return value;
}

// Both gauges of a page back to 0 (repainted only when they show something else).
void ResetGauges(TGauge* Artikli, TGauge* Promet) {
  for (TGauge* g : {Artikli, Promet})
    if (g->Progress() != 0) g->SetProgress(0);
}

void CheckKeyRange(const std::string& KljucOD, const std::string& KljucDO) {
  if (KljucOD.empty() || KljucDO.empty()) throw Exception("Od številke do številke moraš obvezno vnesti !");
  // Five characters: the document number starts at the key's second character, so its first
  // four characters are the key's characters two to five.
  if (Utf8Left(KljucOD, 5) != Utf8Left(KljucDO, 5))
    throw Exception("Prvi štirje znaki od številke do številke morajo biti enaki !");
}

}  // namespace

TMain::TMain(TComponent* AOwner) : TForm(AOwner) {
  SetName("Main");
  SetCaption(FormCaption);
  SetBounds(192, 107, 471, 282);
  Font()->SetName("MS Sans Serif");

  PageControl1 = new TPageControl(this);
  PageControl1->SetName("PageControl1");
  PageControl1->SetParent(this);
  PageControl1->SetAlign(alClient);
  cIzdaja = new TTabSheet(this);
  cIzdaja->SetName("cIzdaja");
  cIzdaja->SetCaption("Izdaja blaga");
  cIzdaja->SetPageControl(PageControl1);
  cPrevzem = new TTabSheet(this);
  cPrevzem->SetName("cPrevzem");
  cPrevzem->SetCaption("Prevzem blaga");
  cPrevzem->SetPageControl(PageControl1);

  BuildPage(this, cIzdaja, "Izd", 1,
            {fKljucIzdOD, fKljucIzdDO, fFileNameIzd, fStevPrenosaIzd, gArtikliIzd, gPrometIzd, bKreirajIzd, bKonecIzd});
  BuildPage(this, cPrevzem, "Pre", 7,
            {fKljucPreOD, fKljucPreDO, fFileNamePre, fStevPrenosaPre, gArtikliPre, gPrometPre, bKreirajPre, bKonecPre});
  PageControl1->SetActivePage(cIzdaja);

  bKreirajIzd->OnClick = [this](TObject* Sender) { bKreirajIzdClick(Sender); };
  bKreirajPre->OnClick = [this](TObject* Sender) { bKreirajPreClick(Sender); };
  bKonecIzd->OnClick = [this](TObject* Sender) { bKonecIzdClick(Sender); };
  bKonecPre->OnClick = [this](TObject* Sender) { bKonecIzdClick(Sender); };
  OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
  OnClose = [this](TObject* Sender, TCloseAction& Action) { FormClose(Sender, Action); };
}

void TMain::FormCreate(TObject* Sender) {
  try {
    Font()->SetName("MS Serif");
    Font()->SetName("MS Sans Serif");
    ReadProgramSettings();
    const std::string company = GetStringFromIniFile("Program", "Podjetje", "");
    SetCaption(std::string(FormCaption) + " " + company);
    Application->SetTitle("Brintel KolvarIzdaja " + company);

    fKljucIzdOD->SetText(GetStringFromIniFile("Kolvar", "KljucIzdOD", "00000000000"));
    fKljucIzdDO->SetText(GetStringFromIniFile("Kolvar", "KljucIzdDO", "00000000000"));
    fFileNameIzd->SetText(GetStringFromIniFile("Kolvar", "FileNameIzd", "c:\\KolvarIzdaja"));
    fStevPrenosaIzd->SetValue(TransferNumber("StevPrenosaIzd"));
    gArtikliIzd->SetProgress(0);
    gPrometIzd->SetProgress(0);

    fKljucPreOD->SetText(GetStringFromIniFile("Kolvar", "KljucPreOD", "00000000000"));
    fKljucPreDO->SetText(GetStringFromIniFile("Kolvar", "KljucPreDO", "00000000000"));
    fFileNamePre->SetText(GetStringFromIniFile("Kolvar", "FileNamePre", "c:\\KolvarPrevzem"));
    fStevPrenosaPre->SetValue(TransferNumber("StevPrenosaPre"));
    gArtikliPre->SetProgress(0);
    gPrometPre->SetProgress(0);

    TestBuildNo(ParamStr(0), true);
  } catch (Exception& E) {
    WriteErrorLog(&E, Sender, "FormCreate");
  }
}

void TMain::FormClose(TObject* Sender, TCloseAction& Action) {
  (void)Sender;
  (void)Action;
  auto number = [](TNumberEdit* E) {
    try {
      // A number typed into a field that still has the focus has not reached Value yet.
      E->UpdateValueFromText();
      return IntToStr(Round(E->Value()));
    } catch (Exception&) {
      return std::string("1");  // a value no integer can hold: start again at 1
    }
  };
  WriteStringToIniFile("Kolvar", "KljucIzdOD", fKljucIzdOD->Text());
  WriteStringToIniFile("Kolvar", "KljucIzdDO", fKljucIzdDO->Text());
  WriteStringToIniFile("Kolvar", "FileNameIzd", fFileNameIzd->Text());
  WriteStringToIniFile("Kolvar", "StevPrenosaIzd", number(fStevPrenosaIzd));
  WriteStringToIniFile("Kolvar", "KljucPreOD", fKljucPreOD->Text());
  WriteStringToIniFile("Kolvar", "KljucPreDO", fKljucPreDO->Text());
  WriteStringToIniFile("Kolvar", "FileNamePre", fFileNamePre->Text());
  WriteStringToIniFile("Kolvar", "StevPrenosaPre", number(fStevPrenosaPre));
}

void TMain::bKonecIzdClick(TObject* Sender) {
  (void)Sender;
  Close();
}

void TMain::bKreirajIzdClick(TObject* Sender) {
  (void)Sender;
  const std::string from = fKljucIzdOD->Text();
  const std::string to = fKljucIzdDO->Text();
  CheckKeyRange(from, to);
  ResetGauges(gArtikliIzd, gPrometIzd);
  ExportArtikli(from, to, fFileNameIzd->Text(), gArtikliIzd);
  ExportPrometIzd();
}

void TMain::bKreirajPreClick(TObject* Sender) {
  (void)Sender;
  const std::string from = fKljucPreOD->Text();
  const std::string to = fKljucPreDO->Text();
  CheckKeyRange(from, to);
  ResetGauges(gArtikliPre, gPrometPre);
  ExportArtikli(from, to, fFileNamePre->Text(), gArtikliPre);
  ExportPrometPre();
}

std::string TMain::FormatNumber(int64_t Value) {
  const std::string s = FloatToStrSQL(static_cast<double>(Value) / 10000);
  const size_t p = s.find('.');
  if (p == std::string::npos) return s + ".00";
  return s.substr(0, p + 1) + (s.substr(p + 1) + "00").substr(0, 2);
}
