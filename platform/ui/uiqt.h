#pragma once
// For Qt-aware code (controls, dialogs): the bridge between Qt and the components.
#include <QString>
#include <functional>
#include <string>
#include <utility>

class TObject;
class QWidget;

// Creates the Qt application object when none exists yet.
void EnsureQtApplication();

// A new widget of type W, after the Qt application object exists.
template <class W, class... A>
W* UiNewWidget(A&&... args) {
  EnsureQtApplication();
  return new W(std::forward<A>(args)...);
}

// Runs Call later, from the event loop, as a queued event that the key queue's check for a
// pending Escape holds back (keyqueue.h); an exception goes to the application's handling.
void UiQueueCall(std::function<void()> Call);

// Runs f for Sender from a Qt slot or event; any exception goes to the application's exception
// handling and never back into Qt.
void UiHandleException(TObject* Sender) noexcept;
template <class F>
void UiDispatch(TObject* Sender, F&& f) noexcept {
  try {
    f();
  } catch (...) {
    UiHandleException(Sender);
  }
}

inline QString QStr(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
inline std::string StdStr(const QString& s) { return s.toStdString(); }
