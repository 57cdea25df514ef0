#include "terminal/usercommands.h"

#include "configwin/qttext.h"
#include "terminal/termhost.h"
#include "terminal/termwin.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace {

constexpr std::size_t kMaxCommandText = 254;
// Dialog units of the list's layout: 240 by 223.
constexpr int kWidthUnits = 240;
constexpr int kHeightUnits = 223;

UserCommands::Driver& CurrentDriver() {
    static UserCommands::Driver driver;
    return driver;
}

} // namespace

std::string UserCommandsXfer::SelectedText() const {
    if (selected < 0 || static_cast<std::size_t>(selected) >= entries.size()) return {};
    return entries[static_cast<std::size_t>(selected)].substr(0, kMaxCommandText);
}

ListBox::ListBox(QWidget* parent, int id) : QListWidget(parent), id_(id) {}

void ListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton) return;
    for (QWidget* w = parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(w)) {
            dialog->accept();
            return;
        }
    }
}

UserCommands::UserCommands(QWidget* parent, UserCommandsXfer& transfer)
    : QDialog(parent), transfer_(transfer) {
    setWindowTitle(QStringLiteral("User command list (available commands)"));

    auto* caption = new QLabel(QStringLiteral("Available commands"), this);
    list_ = new ListBox(this, kListId);
    list_->setObjectName(QStringLiteral("list101"));
    list_->setAccessibleName(QStringLiteral("Available commands"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    caption->setBuddy(list_);
    for (const std::string& entry : transfer_.entries)
        list_->addItem(nimbrel::ShownText(entry));
    if (transfer_.selected >= 0 && transfer_.selected < list_->count()) {
        list_->setCurrentRow(transfer_.selected);
    }

    auto* buttons = new QDialogButtonBox(this);
    execute_ = buttons->addButton(QStringLiteral("Execute"), QDialogButtonBox::AcceptRole);
    close_ = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
    execute_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* note = new QLabel(QStringLiteral("The Execute button does not close window"), this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons);
    layout->addWidget(note);

    // Dialog units: a quarter of the average character width, an eighth of
    // the font height.
    const QFontMetrics metrics(font());
    resize(kWidthUnits * metrics.averageCharWidth() / 4, kHeightUnits * metrics.height() / 8);
    list_->setFocus();
}

int UserCommands::Execute() {
    const Driver driver = CurrentDriver();
    if (!driver) return exec();
    setResult(Rejected);
    driver(*this);
    return result();
}

void UserCommands::done(int result) {
    if (result == Accepted) {
        const QList<QListWidgetItem*> chosen = list_->selectedItems();
        transfer_.selected = chosen.isEmpty() ? -1 : list_->row(chosen.front());
    }
    QDialog::done(result);
}

UserCommands::ScopedDriver::ScopedDriver(Driver driver)
    : previous_(std::exchange(CurrentDriver(), std::move(driver))) {}

UserCommands::ScopedDriver::~ScopedDriver() {
    CurrentDriver() = std::move(previous_);
}

void TermWin::CmUsercommand() {
    // The list is filled once; it does not change while the dialog comes back.
    UserCommandsXfer transfer;
    if (Host() != nullptr) Host()->FillCommandList(transfer.entries);

    const QPointer<TermWin> self(this);
    for (;;) {
        int result;
        {
            UserCommands dialog(this, transfer);
            result = dialog.Execute();
        }
        if (self.isNull() || result != QDialog::Accepted) return;

        std::string text = transfer.SelectedText();
        if (Host() != nullptr) Host()->GetCommand(text);
        // Sent as it is: no case change, no splitting, no line end.
        Send(text, "the user command");
    }
}
