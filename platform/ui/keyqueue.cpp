#include "keyqueue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QPointer>

#include <memory>
#include <utility>
#include <vector>

namespace {

// Holds back the user input that the window system delivers while it is installed: an Escape
// press is taken, everything else kept to be posted again afterwards, so that no click or
// key runs a handler in the middle of the work that asks.
class TInputHold : public QObject {
public:
  bool EscapeTaken = false;
  std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> Held;

protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    const bool input = Event->isInputEvent() && Event->type() != QEvent::ShortcutOverride;
    if ((!input && Event->type() != QEvent::Shortcut) || (!Watched->isWidgetType() && !Watched->isWindowType()))
      return false;
    if (!EscapeTaken && Event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Escape) {
      EscapeTaken = true;
      return true;
    }
    Held.emplace_back(Watched, std::unique_ptr<QEvent>(Event->clone()));
    return true;
  }
};

class TQtKeyQueue : public TKeyQueue {
public:
  bool TakePendingEscape() override {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || FPumping) return false;  // no window system, or asked from inside the pump
    TInputHold hold;
    {
      // Undone however the pump ends: the held input goes back in its order.
      struct TPump {
        QCoreApplication* App;
        TInputHold& Hold;
        bool& Pumping;
        TPump(QCoreApplication* a, TInputHold& h, bool& p) : App(a), Hold(h), Pumping(p) {
          Pumping = true;
          App->installEventFilter(&Hold);
        }
        ~TPump() {
          App->removeEventFilter(&Hold);
          Pumping = false;
          for (auto& [receiver, event] : Hold.Held)
            if (receiver) QCoreApplication::postEvent(receiver, event.release());
        }
      } pump(app, hold, FPumping);
      // Timers wait: only what is queued now is looked at.
      QCoreApplication::processEvents(QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers);
    }
    return hold.EscapeTaken;
  }

private:
  bool FPumping = false;
};

TQtKeyQueue QtQueue;
TKeyQueue* Current = &QtQueue;

}  // namespace

TKeyQueue& KeyQueue() { return *Current; }

TKeyQueue* SetKeyQueue(TKeyQueue* Queue) {
  TKeyQueue* previous = Current;
  Current = Queue ? Queue : &QtQueue;
  return previous;
}
