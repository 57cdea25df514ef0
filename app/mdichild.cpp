#include "app/mdichild.h"

#include "platform/commandtarget.h"
#include "app/mdiclient.h"

#include <QCloseEvent>

TNimbrelMDIChild::TNimbrelMDIChild(TNimbrelMDIClient* mdiClient, const QString& title,
                                   QWidget* client) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(client);
    setWindowTitle(title);
    if (client != nullptr) {
        // Deleting the client window closes the frame once control returns.
        clientDestroyed_ = connect(client, &QObject::destroyed, this, [this] {
            agreed_ = true;
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        });
    }
    if (mdiClient != nullptr) mdiClient->addSubWindow(this);
}

TNimbrelMDIChild::~TNimbrelMDIChild() {
    disconnect(clientDestroyed_);
}

bool TNimbrelMDIChild::QueryClose() {
    if (agreed_) return true;
    auto* target = dynamic_cast<nimbrel::ChildWindow*>(widget());
    return target == nullptr || target->CanClose();
}

void TNimbrelMDIChild::CloseAgreed() {
    agreed_ = true;
    close();
}

void TNimbrelMDIChild::closeEvent(QCloseEvent* event) {
    if (!QueryClose()) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
    if (!event->isAccepted()) agreed_ = false;
}
