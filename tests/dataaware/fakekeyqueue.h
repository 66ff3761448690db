#pragma once
// A key queue of the test's own: keys as codes (27 is Escape), taken as the real queue takes
// them. Installs itself and puts the previous queue back when it goes.
#include <algorithm>
#include <deque>
#include <functional>

#include "keyqueue.h"

struct FakeKeyQueue : TKeyQueue {
  std::deque<int> Keys;
  int Calls = 0;
  std::function<void()> OnCall;  // runs at each call, before the queue is looked at
  TKeyQueue* Previous;
  FakeKeyQueue() : Previous(SetKeyQueue(this)) {}
  ~FakeKeyQueue() override { SetKeyQueue(Previous); }
  bool TakePendingEscape() override {
    ++Calls;
    if (OnCall) OnCall();
    auto it = std::find(Keys.begin(), Keys.end(), 27);
    if (it == Keys.end()) return false;
    Keys.erase(it);
    return true;
  }
};
