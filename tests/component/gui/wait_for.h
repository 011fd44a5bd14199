// Waiting in the GUI tests: the event loop runs while the condition is checked, so clicks, queued
// calls and timers of the views under test are handled meanwhile.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>

namespace kestrava::testing {

// Processes events until `done` holds or `ms` have passed; whether it holds.
template <class F>
bool WaitFor(F&& done, int ms = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

}  // namespace kestrava::testing
