#include "configwin/historydialog.h"

#include "configwin/qttext.h"
#include "fleet/history.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <utility>

namespace {

// Edits settle this long before the history is asked again.
constexpr int kSettleMs = 250;

const QStringList kColumns{QStringLiteral("Time"),    QStringLiteral("PTT ID"),
                           QStringLiteral("Port"),    QStringLiteral("By-id name"),
                           QStringLiteral("Version"), QStringLiteral("File"),
                           QStringLiteral("Outcome"), QStringLiteral("Verified"),
                           QStringLiteral("Bytes"),   QStringLiteral("Message")};

// One line of text: a message's line breaks become blanks.
QString OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return nimbrel::ShownText(text).simplified();
}

QStringList Cells(const nimbrel::HistoryRecord& r) {
    return {QString::fromStdString(r.time),
            r.pttId < 0 ? QString() : QString::number(r.pttId),
            nimbrel::ShownText(r.port),
            nimbrel::ShownText(r.portById),
            OneLine(r.version),
            nimbrel::ShownText(r.configFile),
            QString::fromStdString(r.outcome),
            r.verified ? QStringLiteral("yes") : QStringLiteral("no"),
            QString::number(r.bytesWritten),
            OneLine(r.message)};
}

QString NoHistoryText(const std::string& path) {
    return QStringLiteral("No programming history yet. Every configuration sent from this "
                          "window, with nimbrel-cli or in a fleet run is recorded in %1.")
        .arg(nimbrel::ShownText(path));
}

QLineEdit* FilterEdit(QWidget* parent, const char* name, const QString& placeholder) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setPlaceholderText(placeholder);
    edit->setClearButtonEnabled(true);
    return edit;
}

} // namespace

HistoryDialog::HistoryDialog(QWidget* parent, std::string path)
    : QDialog(parent), path_(std::move(path)) {
    setObjectName(QStringLiteral("historyDialog"));
    setWindowTitle(QStringLiteral("Programming history"));

    id_ = FilterEdit(this, "historyId", QStringLiteral("any"));
    port_ = FilterEdit(this, "historyPort", QStringLiteral("/dev/ttyUSB0 or its by-id name"));
    since_ = FilterEdit(this, "historySince", QStringLiteral("YYYY-MM-DD"));
    search_ = FilterEdit(this, "historySearch", QStringLiteral("text in any column"));
    auto* filters = new QHBoxLayout;
    auto* left = new QFormLayout;
    left->addRow(QStringLiteral("PTT &ID:"), id_);
    left->addRow(QStringLiteral("&Port:"), port_);
    auto* right = new QFormLayout;
    right->addRow(QStringLiteral("Si&nce:"), since_);
    right->addRow(QStringLiteral("&Search:"), search_);
    filters->addLayout(left, 1);
    filters->addLayout(right, 1);

    table_ = new QTableWidget(0, static_cast<int>(kColumns.size()), this);
    table_->setObjectName(QStringLiteral("historyTable"));
    table_->setHorizontalHeaderLabels(kColumns);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);

    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("historyNote"));
    note_->setWordWrap(true);
    note_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(table_, 1);
    layout->addWidget(note_);
    layout->addWidget(buttons);
    resize(fontMetrics().averageCharWidth() * 150, fontMetrics().height() * 30);

    pending_ = new QTimer(this);
    pending_->setSingleShot(true);
    pending_->setInterval(kSettleMs);
    connect(pending_, &QTimer::timeout, this, &HistoryDialog::Refresh);
    for (QLineEdit* edit : {id_, port_, since_, search_})
        connect(edit, &QLineEdit::textChanged, pending_, qOverload<>(&QTimer::start));
    Refresh();
}

void HistoryDialog::Show(const QString& note) {
    table_->setRowCount(0);
    note_->setText(note);
}

void HistoryDialog::Refresh() {
    pending_->stop();
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) {
        Show(NoHistoryText(path_));
        return;
    }

    nimbrel::HistoryFilter filter;
    const std::string id = id_->text().trimmed().toStdString();
    if (!id.empty()) {
        std::int64_t value = 0;
        const auto [end, err] = std::from_chars(id.data(), id.data() + id.size(), value);
        if (err != std::errc() || end != id.data() + id.size() || value < 0) {
            Show(QStringLiteral("A PTT ID is a whole number."));
            return;
        }
        filter.pttId = value;
    }
    filter.port = port_->text().trimmed().toStdString();
    filter.since = since_->text().trimmed().toStdString();
    filter.limit = kMaxRows;

    nimbrel::History history;
    std::optional<std::vector<nimbrel::HistoryRecord>> records;
    if (history.Open(path_)) records = history.Query(filter);
    if (!records) {
        Show(nimbrel::ShownText(history.Error()));
        return;
    }

    const QString search = search_->text().trimmed();
    std::vector<QStringList> rows;
    for (const auto& record : *records) {
        QStringList cells = Cells(record);
        if (search.isEmpty() ||
            std::any_of(cells.begin(), cells.end(), [&search](const QString& cell) {
                return cell.contains(search, Qt::CaseInsensitive);
            })) {
            rows.push_back(std::move(cells));
        }
    }

    table_->setUpdatesEnabled(false);
    table_->setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const QStringList& cells = rows[static_cast<std::size_t>(row)];
        for (int column = 0; column < cells.size(); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column == 1 || column == 8)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (column == 9) item->setToolTip(cells[column]); // the message, read whole
            table_->setItem(row, column, item);
        }
    }
    table_->resizeColumnsToContents();
    table_->setUpdatesEnabled(true);

    const bool filtered = filter.pttId || !filter.port.empty() || !filter.since.empty();
    QString note;
    if (records->empty()) {
        note = filtered ? QStringLiteral("No record matches the filters.") : NoHistoryText(path_);
    } else if (search.isEmpty()) {
        note = records->size() == 1 ? QStringLiteral("1 record.")
                                    : QStringLiteral("%1 records.").arg(records->size());
    } else {
        note = QStringLiteral("%1 of %2 records match the search.")
                   .arg(rows.size())
                   .arg(records->size());
    }
    if (records->size() == static_cast<std::size_t>(kMaxRows)) {
        note +=
            QStringLiteral(" Only the newest %1 are read; narrow the filters to see older ones.")
                .arg(kMaxRows);
    }
    note_->setText(note);
}
