#include "keyqueue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <QWindow>

#include <functional>
#include <memory>
#include <typeinfo>
#include <utility>
#include <vector>

#include "uiqt.h"

namespace {

// A call queued for the event loop, as an event that can be copied, so that a hold can keep it
// back and post it again.
class TQueuedCallEvent : public QEvent {
public:
  static QEvent::Type Kind() {
    static const QEvent::Type kind = QEvent::Type(QEvent::registerEventType());
    return kind;
  }
  explicit TQueuedCallEvent(std::function<void()> Call) : QEvent(Kind()), FCall(std::move(Call)) {}
  TQueuedCallEvent* clone() const override { return new TQueuedCallEvent(*this); }
  void Run() const { FCall(); }

private:
  TQueuedCallEvent(const TQueuedCallEvent&) = default;
  std::function<void()> FCall;
};

class TCallReceiver : public QObject {
protected:
  bool event(QEvent* Event) override {
    if (Event->type() != TQueuedCallEvent::Kind()) return QObject::event(Event);
    UiDispatch(nullptr, [&] { static_cast<TQueuedCallEvent*>(Event)->Run(); });
    return true;
  }
};

// Holds back everything the event loop delivers while it is installed: an Escape press is
// taken, painting is asked for again afterwards, every other event is kept as a copy to be
// posted again afterwards in its order, so that no handler runs in the middle of the work that
// asks. An event of which the toolkit gives no copy (a call it queued itself through its
// meta-object system) cannot be held and is delivered.
class THold : public QObject {
public:
  bool EscapeTaken = false;
  std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> Held;
  std::vector<QPointer<QObject>> Repaint;

protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    const QEvent::Type type = Event->type();
    // The toolkit's question whether a widget wants a key for itself, answered at once; the
    // key press it asks about is held like any other.
    if (type == QEvent::ShortcutOverride) return false;
    if (!EscapeTaken && type == QEvent::KeyPress && static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Escape) {
      EscapeTaken = true;
      return true;
    }
    if (type == QEvent::Paint || type == QEvent::UpdateRequest || type == QEvent::UpdateLater ||
        type == QEvent::Expose) {
      Repaint.emplace_back(Watched);
      return true;
    }
    std::unique_ptr<QEvent> copy(Event->clone());
    if (!copy || typeid(*copy) != typeid(*Event)) return false;
    Held.emplace_back(Watched, std::move(copy));
    return true;
  }
};

class TQtKeyQueue : public TKeyQueue {
public:
  bool TakePendingEscape() override {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || FPumping) return false;  // no window system, or asked from inside the pump
    THold hold;
    {
      // Undone however the pump ends: the held events go back in their order.
      struct TPump {
        QCoreApplication* App;
        THold& Hold;
        bool& Pumping;
        TPump(QCoreApplication* a, THold& h, bool& p) : App(a), Hold(h), Pumping(p) {
          Pumping = true;
          App->installEventFilter(&Hold);
        }
        ~TPump() {
          App->removeEventFilter(&Hold);
          Pumping = false;
          for (auto& [receiver, event] : Hold.Held)
            if (receiver) QCoreApplication::postEvent(receiver, event.release());
          for (const QPointer<QObject>& receiver : Hold.Repaint) {
            if (auto* w = qobject_cast<QWidget*>(receiver.data())) w->update();
            else if (auto* win = qobject_cast<QWindow*>(receiver.data())) win->requestUpdate();
          }
        }
      } pump(app, hold, FPumping);
      // Timers and sockets wait: only what is queued now is looked at.
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

void UiQueueCall(std::function<void()> Call) {
  EnsureQtApplication();
  static TCallReceiver* receiver = new TCallReceiver;  // lives as long as the process
  QCoreApplication::postEvent(receiver, new TQueuedCallEvent(std::move(Call)));
}
