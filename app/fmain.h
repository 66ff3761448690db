#pragma once
// The program's one window: the goods-issue and goods-receipt pages, their last-used values and
// the three export files (articles ".ART", goods issue ".VEN", goods receipt ".NOT").
#include <cstdint>
#include <string>

#include "forms.h"
#include "numedit.h"
#include "widgets.h"

class TMain : public TForm {
public:
  explicit TMain(TComponent* AOwner);

  TPageControl* PageControl1;
  TTabSheet* cIzdaja;   // "Izdaja blaga"
  TTabSheet* cPrevzem;  // "Prevzem blaga"

  TEdit* fKljucIzdOD;
  TEdit* fKljucIzdDO;
  TEdit* fFileNameIzd;
  TNumberEdit* fStevPrenosaIzd;
  TGauge* gArtikliIzd;
  TGauge* gPrometIzd;
  TButton* bKreirajIzd;
  TButton* bKonecIzd;

  TEdit* fKljucPreOD;
  TEdit* fKljucPreDO;
  TEdit* fFileNamePre;
  TNumberEdit* fStevPrenosaPre;
  TGauge* gArtikliPre;
  TGauge* gPrometPre;
  TButton* bKreirajPre;
  TButton* bKonecPre;

  // Reads the program settings, restores the last-used values of both pages and runs the
  // build-number check. A failure is logged under "FormCreate" and ends the handler.
  void FormCreate(TObject* Sender);
  // Writes the last-used values of both pages to [Kolvar].
  void FormClose(TObject* Sender, TCloseAction& Action);
  // Both "Konec" buttons: closes the window.
  void bKonecIzdClick(TObject* Sender);
  // "Kreiraj" on the issue page: checks the key range, then the articles and the issue file.
  void bKreirajIzdClick(TObject* Sender);
  // Writes FileName + ".ART" for the key range, advancing Gauge.
  void ExportArtikli(const std::string& KljucOD, const std::string& KljucDO,
                     const std::string& FileName, TGauge* Gauge);
  // Writes fFileNameIzd + ".VEN"; raises fStevPrenosaIzd by one once the file is complete.
  void ExportPrometIzd();
  // An amount given in ten-thousandths, with a point and exactly two decimals, cut, not rounded.
  static std::string FormatNumber(int64_t Value);
  // "Kreiraj" on the receipt page: the articles and the receipt file.
  void bKreirajPreClick(TObject* Sender);
  // Writes fFileNamePre + ".NOT"; raises fStevPrenosaPre by one once the file is complete.
  void ExportPrometPre();

  ZEL_CLASS(TMain, TForm)
};

extern TMain* Main;
