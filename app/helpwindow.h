// The help page in a window of the program, for a desktop that has no viewer
// for it: a browser with back, forward and home, following the page's links
// and showing its pictures. Links to other sites go to the desktop.
#pragma once

#include <QStringList>
#include <QWidget>

class QTextBrowser;

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* parent = nullptr);

    // Shows the first of `places` that exists, else a page naming them.
    void ShowPage(const QStringList& places);

    QTextBrowser* Browser() const { return browser_; }

private:
    QTextBrowser* browser_ = nullptr;
};
