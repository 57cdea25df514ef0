#include "app/helpwindow.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// Room for lines of about this many average characters.
constexpr int kPageChars = 90;

} // namespace

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("Nimbrel Help"));
    setAttribute(Qt::WA_DeleteOnClose);

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("helpBrowser"));
    browser_->setOpenExternalLinks(true);

    auto* bar = new QToolBar(this);
    QAction* back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack),
                                   QStringLiteral("Back"), browser_, &QTextBrowser::backward);
    back->setShortcut(QKeySequence::Back);
    QAction* forward = bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward),
                                      QStringLiteral("Forward"), browser_, &QTextBrowser::forward);
    forward->setShortcut(QKeySequence::Forward);
    bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QStringLiteral("Contents"),
                   browser_, &QTextBrowser::home);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = browser_->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("Nimbrel Help") : title);
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(browser_);

    QSize size(fontMetrics().averageCharWidth() * kPageChars, fontMetrics().height() * 40);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    }
    resize(size);
}

void THelpWindow::ShowPage(const QStringList& places) {
    for (const QString& place : places) {
        if (QFileInfo(place).isFile()) {
            browser_->setSource(QUrl::fromLocalFile(QFileInfo(place).absoluteFilePath()));
            return;
        }
    }
    QString list;
    for (const QString& place : places)
        list += QStringLiteral("<li><code>%1</code></li>").arg(place.toHtmlEscaped());
    browser_->setHtml(
        QStringLiteral("<h2>Help page not found</h2><p>The help page is looked for here:</p>"
                       "<ul>%1</ul><p>Reinstall Nimbrel to restore it.</p>")
            .arg(list));
    setWindowTitle(QStringLiteral("Nimbrel Help"));
}
