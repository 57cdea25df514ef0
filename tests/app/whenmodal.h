// Drives a real modal dialog from a test: `act` runs on the dialog once it is
// up; a dialog still open two seconds after `act` is rejected, so a test
// fails instead of hanging.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace nimbrel::test {

inline void WhenModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, [timer, started, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr && started->elapsed() < 20000) return;
        timer->stop();
        timer->deleteLater();
        if (modal == nullptr) {
            ADD_FAILURE() << "no dialog came up";
            return;
        }
        act(modal);
        QPointer<QWidget> left(modal);
        QTimer::singleShot(2000, [left] {
            auto* dlg = qobject_cast<QDialog*>(left.data());
            if (dlg == nullptr || !dlg->isVisible()) return;
            ADD_FAILURE() << "dialog left open";
            dlg->reject();
        });
    });
    timer->start(20);
}

} // namespace nimbrel::test
