// The key queue on Qt's event queue: a pending Escape is taken, every other input waits in its
// order and is handled afterwards.
#include "keyqueue.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "uiqt.h"
#include "uitest.h"
#include "widgets.h"

namespace {

struct UiKeyQueue : UiFixture {
  TForm* Form = nullptr;
  TEdit* Edit = nullptr;
  TButton* Button = nullptr;
  int Clicks = 0;
  void SetUp() override {
    Form = new TForm(&App);
    Edit = new TEdit(Form);
    Edit->SetParent(Form);
    Edit->SetBounds(8, 8, 120, 21);
    Button = new TButton(Form);
    Button->SetParent(Form);
    Button->SetBounds(8, 40, 75, 25);
    Button->OnClick = [this](TObject*) { ++Clicks; };
    ShowActive(Form);
    Edit->Widget()->setFocus();
  }
  void PostKey(int Key, const char* Text) {
    QCoreApplication::postEvent(Edit->Widget(), new QKeyEvent(QEvent::KeyPress, Key, Qt::NoModifier, Text));
    QCoreApplication::postEvent(Edit->Widget(), new QKeyEvent(QEvent::KeyRelease, Key, Qt::NoModifier, Text));
  }
  void PostClick() {
    const QPointF at(10, 10);
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
      QCoreApplication::postEvent(Button->Widget(), new QMouseEvent(t, at, Button->Widget()->mapToGlobal(at),
                                                                     Qt::LeftButton, t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                                     Qt::NoModifier));
  }
};

}  // namespace

TEST_F(UiKeyQueue, TakesOnlyAPendingEscapeAndKeepsTheRestInOrder) {
  PostKey(Qt::Key_A, "a");
  PostClick();
  PostKey(Qt::Key_Escape, "\x1b");
  PostKey(Qt::Key_B, "b");
  EXPECT_TRUE(KeyQueue().TakePendingEscape());
  EXPECT_EQ(Edit->Text(), "") << "nothing handled during the check";
  EXPECT_EQ(Clicks, 0);
  App.ProcessMessages();
  EXPECT_EQ(Edit->Text(), "ab");
  EXPECT_EQ(Clicks, 1);
  // Nothing pending; then keys without an Escape.
  EXPECT_FALSE(KeyQueue().TakePendingEscape());
  PostKey(Qt::Key_C, "c");
  EXPECT_FALSE(KeyQueue().TakePendingEscape());
  EXPECT_FALSE(KeyQueue().TakePendingEscape());
  App.ProcessMessages();
  EXPECT_EQ(Edit->Text(), "abc");
}

// Queued work waits too, and keeps its place among the input.
TEST_F(UiKeyQueue, QueuedWorkWaitsInItsOrder) {
  std::vector<std::string> log;
  struct Receiver : QObject {
    std::vector<std::string>* Log = nullptr;
    bool event(QEvent* e) override {
      if (e->type() != QEvent::User) return QObject::event(e);
      Log->push_back("event");
      return true;
    }
  } receiver;
  receiver.Log = &log;
  Edit->OnChange = [&](TObject*) { log.push_back("key " + Edit->Text()); };
  UiQueueCall([&] { log.push_back("call 1"); });
  PostKey(Qt::Key_A, "a");
  QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
  PostKey(Qt::Key_Escape, "\x1b");
  UiQueueCall([&] { log.push_back("call 2"); });
  EXPECT_TRUE(KeyQueue().TakePendingEscape());
  EXPECT_TRUE(log.empty()) << "nothing ran during the check";
  App.ProcessMessages();
  EXPECT_EQ(log, (std::vector<std::string>{"call 1", "key a", "event", "call 2"}));
}

TEST(KeyQueueSeam, AFakeTakesThePlaceOfTheQtQueue) {
  struct Fake : TKeyQueue {
    bool TakePendingEscape() override { return true; }
  } fake;
  TKeyQueue* qt = SetKeyQueue(&fake);
  EXPECT_TRUE(KeyQueue().TakePendingEscape());
  EXPECT_EQ(SetKeyQueue(nullptr), &fake);
  EXPECT_EQ(&KeyQueue(), qt);
}
