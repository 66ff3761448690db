// The ODBC error dialog offscreen: records walked with Prev/Next, details hidden on every open,
// the caption, and a picture of the dialog with its details shown.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <functional>

#include "../ui/uitest.h"
#include "ocl.h"
#include "oclerrordialog.h"


namespace {

EODBC ThreeRecords() {
  return EODBC(nullptr, SQL_ERROR,
               {{"42S02", 1, "no such table: Promet"},
                {"HY000", 7, "second record"},
                {"01004", 1205, "third record"}});
}

class UiErrorDialog : public UiFixture {
protected:
  // Shows the dialog modally; Script runs inside its modal loop and must end it.
  void RunModal(TODErrorDialog& D, std::function<void()> Script) {
    QTimer::singleShot(0, [&D, Script] {
      Script();
      if (D.Visible()) D.Close();
    });
    D.ShowModal();
  }
  static void Click(TButton* B) { QTest::mouseClick(B->Widget(), Qt::LeftButton); }
  static void ExpectRecord(TODErrorDialog& D, const std::string& Msg, const std::string& State,
                           const std::string& Native) {
    EXPECT_EQ(D.Memo1->Text(), Msg);
    EXPECT_EQ(D.Edit1->Text(), State);
    EXPECT_EQ(D.Edit2->Text(), Native);
  }
};

TEST_F(UiErrorDialog, OneRecordOpensWithPrevDisabledAndNextStopsOnIt) {
  Application->SetTitle("KolvarIzdaja");
  EODBC e(nullptr, SQL_ERROR, {});  // the library's made-up record
  TODErrorDialog d(nullptr);
  d.Msg = "Connection failed";
  d.ODBCError = &e;
  RunModal(d, [&] {
    EXPECT_EQ(d.Caption(), "Database Error: KolvarIzdaja");
    EXPECT_EQ(d.Label1->Caption(), "Connection failed");
    EXPECT_FALSE(d.Button3->Enabled());
    EXPECT_TRUE(d.Button4->Enabled());
    ExpectRecord(d, "Unable to Retrieve ODBC Error", "", "0");
    Click(d.Button4);
    EXPECT_FALSE(d.Button4->Enabled());
    EXPECT_TRUE(d.Button3->Enabled());  // both are enabled first; only Next is taken back
    ExpectRecord(d, "Unable to Retrieve ODBC Error", "", "0");
    EXPECT_EQ(e.ErrorNum(), 0);
    Click(d.Button3);
    EXPECT_FALSE(d.Button3->Enabled());
    EXPECT_TRUE(d.Button4->Enabled());
    EXPECT_EQ(e.ErrorNum(), 0);
    Click(d.Button1);
  });
  EXPECT_FALSE(d.Visible());
}

TEST_F(UiErrorDialog, ThreeRecordsWalkedWithNextAndPrev) {
  EODBC e = ThreeRecords();
  TODErrorDialog d(nullptr);
  d.ODBCError = &e;
  RunModal(d, [&] {
    ExpectRecord(d, "no such table: Promet", "42S02", "1");
    Click(d.Button4);
    ExpectRecord(d, "second record", "HY000", "7");
    EXPECT_TRUE(d.Button3->Enabled());
    Click(d.Button4);
    ExpectRecord(d, "third record", "01004", "1205");
    EXPECT_TRUE(d.Button4->Enabled());
    Click(d.Button4);  // past the end: stays on the third, Next disabled
    ExpectRecord(d, "third record", "01004", "1205");
    EXPECT_FALSE(d.Button4->Enabled());
    EXPECT_EQ(e.ErrorNum(), 2);
    Click(d.Button3);
    ExpectRecord(d, "second record", "HY000", "7");
    EXPECT_TRUE(d.Button4->Enabled());
    Click(d.Button3);
    ExpectRecord(d, "no such table: Promet", "42S02", "1");
    Click(d.Button3);  // before the start: stays on the first, Prev disabled
    ExpectRecord(d, "no such table: Promet", "42S02", "1");
    EXPECT_FALSE(d.Button3->Enabled());
    EXPECT_EQ(e.ErrorNum(), 0);
    Click(d.Button1);
  });
}

TEST_F(UiErrorDialog, DetailsAreHiddenOnEveryOpen) {
  EODBC e = ThreeRecords();
  TODErrorDialog d(nullptr);
  d.ODBCError = &e;
  EXPECT_EQ(d.ClientHeight(), 244);  // as stored, until shown
  RunModal(d, [&] {
    EXPECT_FALSE(d.DetailsShown);
    EXPECT_EQ(d.ClientHeight(), 86);
    EXPECT_EQ(d.Button2->Caption(), "Details >>");
    Click(d.Button2);
    EXPECT_TRUE(d.DetailsShown);
    EXPECT_EQ(d.ClientHeight(), 245);
    EXPECT_EQ(d.Widget()->height(), 245);
    EXPECT_EQ(d.Button2->Caption(), "Details <<");
    Click(d.Button4);
    Click(d.Button1);
  });
  RunModal(d, [&] {
    EXPECT_FALSE(d.DetailsShown);
    EXPECT_EQ(d.ClientHeight(), 86);
    EXPECT_EQ(d.Button2->Caption(), "Details >>");
    ExpectRecord(d, "no such table: Promet", "42S02", "1");  // back on the first record
    Click(d.Button2);
    Click(d.Button2);
    EXPECT_FALSE(d.DetailsShown);
    EXPECT_EQ(d.ClientHeight(), 86);
    Click(d.Button1);
  });
}

TEST_F(UiErrorDialog, LayoutAndTabOrderAsStored) {
  TODErrorDialog d(nullptr);
  EXPECT_EQ(d.Caption(), "Error");
  EXPECT_EQ(d.ClientWidth(), 291);
  EXPECT_EQ(d.Position(), poScreenCenter);
  EXPECT_EQ(d.BorderStyle(), bsSingle);
  EXPECT_TRUE(d.Button1->Default());
  EXPECT_TRUE(d.Memo1->ReadOnly());
  EXPECT_TRUE(d.Edit1->ReadOnly());
  EXPECT_TRUE(d.Edit2->ReadOnly());
  EXPECT_FALSE(d.Image1->Empty());
  const TWinControl* order[] = {d.Button1, d.Button2, d.Memo1, d.Edit1, d.Edit2, d.Button3, d.Button4};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(order[i]->TabOrder(), i) << order[i]->Name();
  // The right-aligned labels end where they were placed and do not reach the edits.
  EXPECT_EQ(d.Label2->Left() + d.Label2->Width(), 73);
  EXPECT_EQ(d.Label3->Left() + d.Label3->Width(), 217);
  EXPECT_GT(d.Label3->Left(), d.Edit1->Left() + d.Edit1->Width());
}

TEST_F(UiErrorDialog, ShowODBCErrorDialogLeavesTheExceptionToItsOwner) {
  Application->SetTitle("Kolvar");
  EODBC e = ThreeRecords();
  bool seen = false;
  QTimer::singleShot(0, [&] {
    TODErrorDialog* d = nullptr;
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (auto* f = dynamic_cast<TODErrorDialog*>(Screen->Forms(i))) d = f;
    ASSERT_NE(d, nullptr);
    seen = true;
    EXPECT_EQ(d->Caption(), "Database Error: Kolvar");
    EXPECT_EQ(d->Label1->Caption(), "Could not connect");
    EXPECT_TRUE(d->Modal());
    QTest::keyClick(d->Widget(), Qt::Key_Return);  // the default button closes it
  });
  const int before = Screen->FormCount();
  ShowODBCErrorDialog(e, "Could not connect");
  EXPECT_TRUE(seen);
  EXPECT_EQ(Screen->FormCount(), before);
  EXPECT_EQ(e.ErrorCount(), 3);
  EXPECT_EQ(e.Message(), "no such table: Promet");
}

TEST_F(UiErrorDialog, InstalledForTheConnectionsLoadTimeFailures) {
  const TODBCErrorDialogFunc saved = ODBCErrorDialogFunc;
  ODBCErrorDialogFunc = nullptr;
  InstallODBCErrorDialog();
  ASSERT_TRUE(ODBCErrorDialogFunc);
  EODBC e = ThreeRecords();
  std::string shown;
  QTimer::singleShot(0, [&] {
    for (int i = 0; i < Screen->FormCount(); ++i)
      if (auto* d = dynamic_cast<TODErrorDialog*>(Screen->Forms(i))) {
        shown = d->Label1->Caption();
        d->Close();
      }
  });
  ODBCErrorDialogFunc(e, "Cannot connect Database to database.");
  ODBCErrorDialogFunc = saved;
  EXPECT_EQ(shown, "Cannot connect Database to database.");
}

// A picture of the dialog with its details shown; ZELKOR_ERRORDIALOG_PNG names a copy to keep.
TEST_F(UiErrorDialog, PictureWithDetailsShown) {
  Application->SetTitle("KolvarIzdaja");
  EODBC e(nullptr, SQL_ERROR,
          {{"08001", 101, "[unixODBC]Could not connect to the server; No such file or directory "
                          "(is the server running locally and accepting connections?)"}});
  TODErrorDialog d(nullptr);
  d.Msg = "Povezava na bazo MSBRINTEL ni uspela.";
  d.ODBCError = &e;
  QImage image;
  RunModal(d, [&] {
    Click(d.Button2);
    image = d.Widget()->grab().toImage();
    Click(d.Button1);
  });
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.width(), 291 * int(image.devicePixelRatio()));
  EXPECT_EQ(image.height(), 245 * int(image.devicePixelRatio()));
  if (const char* path = std::getenv("ZELKOR_ERRORDIALOG_PNG")) {
    EXPECT_TRUE(image.save(path));
  }
}

}  // namespace
