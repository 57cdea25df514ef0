// The MDI child frame around a configuration or terminal window. Closing the
// frame asks its client window (CanClose); when the client window is destroyed
// by other means, the frame closes itself.
//
// The frame asks CanClose once per close; a client window's own closeEvent
// must not ask the user again. To close a framed window from inside, close
// its frame (MDIChild->close()) or delete the window.
#pragma once

#include <QMdiSubWindow>
#include <QMetaObject>

class TNimbrelMDIClient;

namespace nimbrel {
class ChildWindow;
}

class TNimbrelMDIChild : public QMdiSubWindow {
    Q_OBJECT
public:
    // `client` is the window framed; the frame takes ownership of it. The
    // frame adds itself to `mdiClient` (not shown yet).
    TNimbrelMDIChild(TNimbrelMDIClient* mdiClient, const QString& title, QWidget* client);
    ~TNimbrelMDIChild() override;

    QWidget* ClientWindow() const { return widget(); }

    // Asks the client window whether it may close (true when it is not a
    // nimbrel::ChildWindow or is gone).
    bool QueryClose();
    // Closes without asking again (the client window has already agreed).
    void CloseAgreed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QMetaObject::Connection clientDestroyed_;
    bool agreed_ = false;
};
