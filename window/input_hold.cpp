#include "window/input_hold.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <utility>

namespace palvimo {

namespace {

// The events by which a user acts on the window: keys, clicks, drags, the
// wheel, access keys, context menus, text input, touch and tablets. Moving
// the mouse with no button down only hovers, and is not held.
bool Is_User_Input(const QEvent& event) {
  switch (event.type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
      return true;
    case QEvent::MouseMove:
      return static_cast<const QMouseEvent&>(event).buttons() != Qt::NoButton;
    default:
      return false;
  }
}

}  // namespace

Input_Hold::Input_Hold(Passes passes, QObject* parent) : QObject(parent), passes_(std::move(passes)) {}

void Input_Hold::Process_Holding() {
  if (holding_depth_++ == 0) QCoreApplication::instance()->installEventFilter(this);
  // Timers and socket notifiers run the program's own handlers; they wait.
  QCoreApplication::processEvents(QEventLoop::X11ExcludeTimers | QEventLoop::ExcludeSocketNotifiers);
  if (--holding_depth_ == 0) QCoreApplication::instance()->removeEventFilter(this);
}

void Input_Hold::Deliver_Held(const std::function<bool()>& stop) {
  while (!held_.empty() && !stop()) {
    Held next = std::move(held_.front());
    held_.pop_front();
    // Straight to notify rather than sendEvent, which would mark the event as
    // the program's own: a click must still give the focus as the user's does.
    if (next.receiver) QCoreApplication::instance()->notify(next.receiver, next.event.get());
  }
}

bool Input_Hold::eventFilter(QObject* watched, QEvent* event) {
  if (holding_depth_ == 0 || !Is_User_Input(*event) || passes_(watched, event)) return false;
  held_.push_back({watched, std::unique_ptr<QEvent>(event->clone())});
  return true;
}

}  // namespace palvimo
