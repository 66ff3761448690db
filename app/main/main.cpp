// The goods-transfer program: the main window, then the data module, then the message loop.
#include "fdatasif.h"
#include "fmain.h"
#include "forms.h"
#include "fpublicvar.h"
#include "ocl.h"

int main(int argc, char** argv) {
  SetProgramParams(argc, argv);
  Application->Initialize();
  Application->CreateForm(Main);     // its creation handler reads the settings
  Application->CreateForm(DataSif);  // needs the settings and the main window
  Application->Run();
  // The forms and the data module go first, so both connections are closed before the
  // environment they live in.
  while (Application->ComponentCount() > 0)
    delete Application->Components(Application->ComponentCount() - 1);
  Main = nullptr;
  DataSif = nullptr;
  FreeGlobalEnv();
  return 0;
}
