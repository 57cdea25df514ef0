#include "app/qtui.h"

#include "configwin/qttext.h"
#include "platform/text.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>

namespace nimbrel {
namespace {

QWidget* DialogParent(QMainWindow* frame) {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* active = QApplication::activeWindow()) return active;
    return frame;
}

QString FromText(const std::string& s) {
    return ShownText(s, /*keepLineBreaks=*/true);
}

// A message box is only as wide as its text and buttons, and the window
// system cuts a longer title ("So...on"): the box is made wide enough for its
// caption and the title bar's icon and buttons.
void FitCaption(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr || box.windowTitle().isEmpty()) return;
    const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
    const int width = metrics.horizontalAdvance(box.windowTitle()) + 8 * metrics.height();
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace

QString MessageText(const std::string& text) {
    return FromText(SingleNewlines(text));
}

QString QtFilter(const std::string& filter) {
    const QStringList parts = FromText(filter).split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString label = parts[i].trimmed();
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString t = p.trimmed();
            patterns << (t == QLatin1String("*.*") ? QStringLiteral("*") : t);
        }
        if (patterns.isEmpty()) continue;
        // A label that already names its patterns in brackets gets Qt's own.
        if (label.endsWith(QLatin1Char(')'))) {
            const qsizetype open = label.lastIndexOf(QLatin1Char('('));
            if (open >= 0) label = label.left(open).trimmed();
        }
        out << QStringLiteral("%1 (%2)").arg(label, patterns.join(QLatin1Char(' ')));
    }
    return out.join(QStringLiteral(";;"));
}

Answer QtUi::MessageBox(const std::string& text, const std::string& caption, Buttons buttons,
                        Icon icon) {
    QMessageBox box(DialogParent(frame_));
    box.setWindowTitle(FromText(caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(MessageText(text));
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Icon::Stop:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    QMessageBox::StandardButtons set;
    QMessageBox::StandardButton first = QMessageBox::Ok;
    switch (buttons) {
    case Buttons::Ok:
        set = QMessageBox::Ok;
        break;
    case Buttons::OkCancel:
        set = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case Buttons::YesNo:
        set = QMessageBox::Yes | QMessageBox::No;
        first = QMessageBox::Yes;
        break;
    case Buttons::YesNoCancel:
        set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        first = QMessageBox::Yes;
        break;
    }
    box.setStandardButtons(set);
    box.setDefaultButton(first);
    FitCaption(box);
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        break;
    }
    // Closed without a button: the box's way out.
    if (set.testFlag(QMessageBox::Cancel)) return Answer::Cancel;
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

std::optional<std::string> QtUi::InputText(const std::string& caption, const std::string& prompt,
                                           const std::string& initial, int maxChars) {
    QInputDialog dlg(DialogParent(frame_));
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setWindowTitle(FromText(caption));
    dlg.setLabelText(FromText(prompt));
    dlg.setTextEchoMode(QLineEdit::Normal);
    dlg.setTextValue(FromText(initial));
    if (auto* edit = dlg.findChild<QLineEdit*>(); edit != nullptr && maxChars > 0) {
        edit->setMaxLength(maxChars);
    }
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    QString value = dlg.textValue();
    if (maxChars > 0) value.truncate(maxChars);
    return value.toStdString();
}

std::optional<std::string> QtUi::ChooseFile(const FileRequest& request) {
    QFileDialog dlg(DialogParent(frame_), FromText(request.caption));
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setNameFilter(QtFilter(request.filter));
    dlg.setDefaultSuffix(FromText(request.defaultExt));
    if (request.save) {
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        dlg.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    } else {
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    }
    if (!request.initialName.empty())
        dlg.selectFile(QFile::decodeName(request.initialName.c_str()));
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
    return QFile::encodeName(dlg.selectedFiles().constFirst()).toStdString();
}

void QtUi::ServeQtEvents(int maxWaitMs) {
    if (maxWaitMs <= 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    // The timer bounds the wait; any other event ends it sooner.
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    timer.start(maxWaitMs);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtUi::StatusText(const std::string& text) {
    if (frame_ != nullptr) frame_->statusBar()->showMessage(FromText(text));
}

} // namespace nimbrel
