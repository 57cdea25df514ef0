#include "configwin/comparedialog.h"

#include "config/displayline.h"
#include "configwin/qttext.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

const QStringList kHeaders{QStringLiteral("Item"),        QStringLiteral("Sensor"),
                           QStringLiteral("Address"),     QStringLiteral("File value"),
                           QStringLiteral("Transmitter"), QStringLiteral("Differs")};

// Which entry of the rows a table row shows.
constexpr int kRowRole = Qt::UserRole;

QTableWidgetItem* Cell(const QString& text) {
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return cell;
}

} // namespace

CompareDialog::CompareDialog(QWidget* parent, std::vector<nimbrel::CompareRow> rows)
    : QDialog(parent), rows_(std::move(rows)) {
    setObjectName(QStringLiteral("compareDialog"));
    setWindowTitle(QString::fromLatin1(nimbrel::kCompareCaption));

    std::size_t differing = 0;
    for (const nimbrel::CompareRow& r : rows_)
        differing += r.differs ? 1 : 0;
    auto* note = new QLabel(
        QStringLiteral("%1 of %2 items differ from the transmitter. Check the items to change:")
            .arg(differing)
            .arg(rows_.size()),
        this);
    note->setObjectName(QStringLiteral("compareNote"));

    table_ = new QTableWidget(0, kColumns, this);
    table_->setObjectName(QStringLiteral("compareTable"));
    table_->setHorizontalHeaderLabels(kHeaders);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    // The item names take the room the other columns leave.
    table_->horizontalHeader()->setSectionResizeMode(kName, QHeaderView::Stretch);
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* cell) {
        if (cell->column() != kName || !(cell->flags() & Qt::ItemIsUserCheckable)) return;
        checked_[cell->data(kRowRole).toULongLong()] = cell->checkState() == Qt::Checked;
        UpdateButtons();
    });

    showAll_ = new QCheckBox(QStringLiteral("Show all items"), this);
    showAll_->setObjectName(QStringLiteral("compareShowAll"));
    connect(showAll_, &QCheckBox::toggled, this, [this] { ShowRows(); });

    take_ = new QPushButton(QStringLiteral("Take transmitter values"), this);
    take_->setObjectName(QStringLiteral("compareTake"));
    take_->setAutoDefault(false);
    send_ = new QPushButton(QStringLiteral("Send checked items"), this);
    send_->setObjectName(QStringLiteral("compareSend"));
    send_->setAutoDefault(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(take_, QDialogButtonBox::ActionRole);
    buttons->addButton(send_, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(take_, &QPushButton::clicked, this, [this] { Finish(Choice::TakeValues); });
    connect(send_, &QPushButton::clicked, this, [this] { Finish(Choice::SendChecked); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addWidget(table_, 1);
    layout->addWidget(showAll_);
    layout->addWidget(buttons);

    checked_.reserve(rows_.size());
    for (const nimbrel::CompareRow& r : rows_)
        checked_.push_back(r.differs);
    ShowRows();
    table_->resizeColumnsToContents();
    // Wide enough for every column, within the screen.
    int width = 2 * table_->frameWidth() + table_->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < kColumns; ++c) {
        width += std::max(static_cast<const QAbstractItemView*>(table_)->sizeHintForColumn(c),
                          table_->horizontalHeader()->sectionSizeHint(c));
    }
    width += fontMetrics().averageCharWidth() * 2;
    const QMargins margins = layout->contentsMargins();
    width += margins.left() + margins.right();
    if (const QScreen* screen = this->screen()) {
        width = std::min(width, screen->availableGeometry().width() * 9 / 10);
    }
    resize(std::max(width, fontMetrics().averageCharWidth() * 80), fontMetrics().height() * 25);
}

void CompareDialog::ShowRows() {
    const QSignalBlocker quiet(table_);
    const bool all = showAll_->isChecked();
    table_->setRowCount(0);
    int shown = 0;
    for (std::size_t i = 0; i < rows_.size(); ++i)
        shown += all || rows_[i].differs ? 1 : 0;
    table_->setRowCount(shown);
    int row = 0;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const nimbrel::CompareRow& r = rows_[i];
        if (!all && !r.differs) continue;
        QTableWidgetItem* name = Cell(nimbrel::ShownText(r.name));
        name->setData(kRowRole, static_cast<qulonglong>(i));
        if (r.differs) {
            name->setFlags(name->flags() | Qt::ItemIsUserCheckable);
            name->setCheckState(checked_[i] ? Qt::Checked : Qt::Unchecked);
        }
        table_->setItem(row, kName, name);
        table_->setItem(row, kSensor, Cell(nimbrel::ShownText(r.sensor)));
        table_->setItem(
            row, kAddress,
            Cell(QString::fromStdString(nimbrel::DisplayLine::LongToString(r.address, true))));
        table_->setItem(row, kFileValue, Cell(nimbrel::ShownText(r.fileValue)));
        table_->setItem(
            row, kPttValue,
            Cell(r.pttValue ? nimbrel::ShownText(*r.pttValue) : QStringLiteral("(not read)")));
        table_->setItem(row, kDiffers,
                        Cell(r.differs ? QStringLiteral("yes") : QStringLiteral("no")));
        ++row;
    }
    UpdateButtons();
}

std::vector<std::size_t> CompareDialog::CheckedItems() const {
    std::vector<std::size_t> items;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].differs && checked_[i]) items.push_back(rows_[i].item);
    }
    return items;
}

std::vector<std::size_t> CompareDialog::ShownItems() const {
    std::vector<std::size_t> items;
    for (int row = 0; row < table_->rowCount(); ++row)
        items.push_back(rows_[table_->item(row, kName)->data(kRowRole).toULongLong()].item);
    return items;
}

void CompareDialog::UpdateButtons() {
    const bool any = !CheckedItems().empty();
    take_->setEnabled(any);
    send_->setEnabled(any);
}

void CompareDialog::Finish(Choice choice) {
    if (CheckedItems().empty()) return;
    chosen_ = choice;
    accept();
}
