#pragma once

#include <QObject>
#include <QPointer>
#include <deque>
#include <functional>
#include <memory>

class QEvent;

namespace palvimo {

// Holds the user's input back while the window is only kept alive, and
// delivers it later, in the order it came. What ends the program is let
// through at once.
class Input_Hold : public QObject {
 public:
  // Says whether an input event may go on to `receiver` at once.
  using Passes = std::function<bool(QObject* receiver, QEvent* event)>;

  explicit Input_Hold(Passes passes, QObject* parent = nullptr);

  // Handles the events already waiting, except timers and socket notifiers;
  // input that `passes` refuses is held instead of handled.
  void Process_Holding();
  // Delivers the held input, oldest first, each to its receiver as if it
  // came now, until `stop` returns true; what is left stays held. A handler
  // may call it again: the events are still delivered once each, in order.
  void Deliver_Held(const std::function<bool()>& stop);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Held {
    QPointer<QObject> receiver;
    std::unique_ptr<QEvent> event;
  };

  Passes passes_;
  std::deque<Held> held_;
  int holding_depth_ = 0;
};

}  // namespace palvimo
