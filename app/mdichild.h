// The MDI child frame around a configuration or terminal window. Closing the
// frame asks its client window (CanClose); when the client window is destroyed
// by other means, the frame closes itself.
#pragma once

#include <QMdiSubWindow>

class TNimbrelMDIClient;

namespace nimbrel {
class ChildWindow;
}

class TNimbrelMDIChild : public QMdiSubWindow {
    Q_OBJECT
public:
    // `client` is the window framed; the frame takes ownership of it.
    TNimbrelMDIChild(TNimbrelMDIClient* mdiClient, const QString& title, QWidget* client);

    QWidget* ClientWindow() const { return widget(); }

protected:
    void closeEvent(QCloseEvent* event) override;
};
