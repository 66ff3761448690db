// The goods-transfer program: the library-wide parts first, then the main window, the data
// module and the message loop; at the end everything goes in the reverse order.
#include "daintl.h"
#include "fdatasif.h"
#include "fmain.h"
#include "forms.h"
#include "fpublicvar.h"
#include "ocl.h"
#include "oclerrordialog.h"

int main(int argc, char** argv) {
  SetProgramParams(argc, argv);
  // The data-aware library's texts exist before any window and outlive them all.
  CreateGlobalIntl();
  // A connection that fails while its component is loaded shows the library's dialog.
  InstallODBCErrorDialog();

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
  ODBCErrorDialogFunc = nullptr;
  FreeGlobalEnv();
  FreeGlobalIntl();
  return 0;
}
