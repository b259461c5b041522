// Acting on a modal dialog or a pop-up menu from inside the test, while the code under test
// waits in its own event loop: a timer polls every 10 ms for the active pop-up or modal
// widget of the wanted type and hands it to the action once.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace zelvane::test {

template <class Window> void whenShown(std::function<void(Window*)> action, int timeoutMs = 5000) {
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, action, timeoutMs] {
        QWidget* top = QApplication::activePopupWidget();
        if (top == nullptr) {
            top = QApplication::activeModalWidget();
        }
        if (auto* window = qobject_cast<Window*>(top)) {
            timer->stop();
            timer->deleteLater();
            action(window);
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no " << Window::staticMetaObject.className() << " appeared";
            if (top != nullptr) {
                top->close();
            }
        }
    });
    timer->start(10);
}

} // namespace zelvane::test
