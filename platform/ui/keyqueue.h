#pragma once
// The keyboard input that waits to be handled, for work that runs long inside one event (a
// filter reading many records) and must notice the Escape key meanwhile: the counterpart of
// peeking at the message queue for keyboard messages. Tests put a fake queue in its place.
class TKeyQueue {
public:
  virtual ~TKeyQueue() = default;
  // Takes the first pending key press of Escape out of the queue: true when there was one.
  // Nothing else runs: every other pending event (keys, mouse input, queued work, painting)
  // waits, in its order. The one exception is a method call that Qt queued itself
  // (QMetaObject::invokeMethod, QTimer::singleShot with 0): Qt offers no way to keep one back
  // and deliver it later, so it runs; the program queues its own work with UiQueueCall.
  virtual bool TakePendingEscape() = 0;
};

// The queue in force (the Qt one unless a test installed another).
TKeyQueue& KeyQueue();
// Installs Queue (nullptr: the Qt one again); returns the one it replaces.
TKeyQueue* SetKeyQueue(TKeyQueue* Queue);
