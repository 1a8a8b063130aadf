#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <functional>
#include <thread>
#include <utility>

namespace palvimo {

// Runs `work` on a thread of its own, then `done` with its result on the
// window's thread, provided `receiver` is still there. Reading records in
// the home folder can stall (a network home, a sleeping drive): the window
// never waits for it. The thread is let go, so that a read that never ends
// holds up neither the window nor the program's end.
template <class Result>
void Run_Off_Thread(QObject* receiver, std::function<Result()> work, std::function<void(Result)> done) {
  QPointer<QObject> still_there(receiver);
  std::thread([still_there = std::move(still_there), work = std::move(work), done = std::move(done)]() mutable {
    Result result = work();
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) return;
    QMetaObject::invokeMethod(
        application,
        [still_there = std::move(still_there), done = std::move(done), result = std::move(result)]() mutable {
          if (still_there) done(std::move(result));
        },
        Qt::QueuedConnection);
  }).detach();
}

}  // namespace palvimo
