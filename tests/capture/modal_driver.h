// Acting on a modal dialog from inside the test: a timer polls every 10 ms for the active
// modal widget of the wanted type and hands it to the action once.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace zelvane::test {

template <class Dialog> void whenModal(std::function<void(Dialog*)> action, int timeoutMs = 5000) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, action, timeoutMs] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            action(dialog);
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            delete clock;
            ADD_FAILURE() << "no modal " << Dialog::staticMetaObject.className() << " appeared";
            if (QWidget* other = QApplication::activeModalWidget()) {
                other->close();
            }
        }
    });
    timer->start(10);
}

} // namespace zelvane::test
