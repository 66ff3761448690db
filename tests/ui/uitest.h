#pragma once
// Shared fixture of the window-toolkit tests: a fresh application object and a recording
// dialog service per test.
#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include "forms.h"


class UiFixture : public ::testing::Test {
protected:
  UiFixture() : FSaved(Application) {
    Application = &App;
    Application->Initialize();
  }
  ~UiFixture() override { Application = FSaved; }

  // Shows the form and waits until its window is the active one.
  static void ShowActive(TForm* F) {
    F->Show();
    F->Widget()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(F->Widget()));
  }

  TRecordingUiService Rec;
  TApplication App{nullptr};

private:
  TApplication* FSaved;
};
