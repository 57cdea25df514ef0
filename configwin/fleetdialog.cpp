#include "configwin/fleetdialog.h"

#include "config/configfile.h"
#include "configwin/qttext.h"
#include "fleet/history.h"
#include "fleet/idsource.h"
#include "platform/options.h"
#include "platform/settingskeys.h"
#include "platform/ui.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

using nimbrel::Buttons;
using nimbrel::CurrentUi;
using nimbrel::Icon;

namespace {

constexpr const char* kCaption = "Program a fleet";

enum UnitColumn { kPortColumn, kStateColumn, kIdColumn, kProgressColumn, kMessageColumn };

QString FromPath(const std::string& path) {
    return QFile::decodeName(path.c_str());
}

std::string ToPath(const QString& path) {
    return QFile::encodeName(path.trimmed()).toStdString();
}

QTableWidget* MakeTable(QWidget* parent, const char* name, const QStringList& columns) {
    auto* table = new QTableWidget(0, static_cast<int>(columns.size()), parent);
    table->setObjectName(QLatin1String(name));
    table->setHorizontalHeaderLabels(columns);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

// Sets a cell's text; a long one (a message) can be read whole in its tool tip.
void SetCell(QTableWidget* table, int row, int column, const QString& text) {
    QTableWidgetItem* item = table->item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        table->setItem(row, column, item);
    }
    item->setText(text);
    item->setToolTip(text.size() > 30 ? text : QString());
}

// A message on one line.
QString OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return nimbrel::ShownText(text).simplified();
}

// The text of a list file, or nullopt with the message naming it.
std::optional<std::string> ReadListFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "The ID list " + path + " cannot be read: " + std::strerror(errno) + ".";
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// "12004 to 12063" for consecutive IDs, else the first few.
std::string IdsText(const std::vector<nimbrel::FleetId>& ids) {
    bool consecutive = true;
    for (std::size_t i = 1; i < ids.size(); ++i)
        consecutive = consecutive && ids[i].id == ids[i - 1].id + 1;
    if (ids.size() > 1 && consecutive)
        return std::to_string(ids.front().id) + " to " + std::to_string(ids.back().id);
    std::string text;
    for (std::size_t i = 0; i < ids.size() && i < 8; ++i)
        text += (i == 0 ? "" : ", ") + std::to_string(ids[i].id);
    if (ids.size() > 8) text += ", ...";
    return text;
}

} // namespace

FleetDialog::FleetDialog(QWidget* parent, const nimbrel::ItemList& items, std::int32_t sensorCount,
                         const std::string& configFile, PortLister listPorts)
    : QDialog(parent), sensorCount_(sensorCount), configFile_(configFile),
      listPorts_(std::move(listPorts)) {
    // The run works on its own copy: the window's items stay the window's.
    auto copy = std::make_shared<nimbrel::ItemList>();
    std::vector<std::string> problems;
    nimbrel::LoadConfigText(nimbrel::ConfigFileText(sensorCount, items), configFile, *copy,
                            problems);
    // A copy that differs from the window's is never programmed.
    if (!problems.empty()) copyProblem_ = nimbrel::ConfigProblemsText(configFile, problems);
    items_ = std::move(copy);

    setObjectName(QStringLiteral("fleetDialog"));
    setWindowTitle(QString::fromLatin1(kCaption));

    setup_ = MakeSetup();
    units_ = MakeTable(this, "fleetUnits",
                       {QStringLiteral("Port"), QStringLiteral("State"), QStringLiteral("PTT ID"),
                        QStringLiteral("Progress"), QStringLiteral("Message")});
    records_ =
        MakeTable(this, "fleetRecords",
                  {QStringLiteral("Time"), QStringLiteral("Port"), QStringLiteral("PTT ID"),
                   QStringLiteral("Outcome"), QStringLiteral("Verified"), QStringLiteral("Bytes"),
                   QStringLiteral("Seconds"), QStringLiteral("Message")});
    notices_ = new QLabel(this);
    notices_->setObjectName(QStringLiteral("fleetNotices"));
    notices_->setWordWrap(true);
    notices_->hide();
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("fleetSummary"));
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    start_ = new QPushButton(QStringLiteral("&Start"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    close_ = new QPushButton(QStringLiteral("Close"), this);
    cancel_->setEnabled(false);
    start_->setDefault(true);
    connect(start_, &QPushButton::clicked, this, [this] { Start(); });
    connect(cancel_, &QPushButton::clicked, this, &FleetDialog::Cancel);
    connect(close_, &QPushButton::clicked, this, &FleetDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(summary_, 1);
    buttons->addWidget(start_);
    buttons->addWidget(cancel_);
    buttons->addWidget(close_);

    auto* unitsBox = new QGroupBox(QStringLiteral("Ports"), this);
    auto* unitsLayout = new QVBoxLayout(unitsBox);
    unitsLayout->addWidget(units_);
    auto* recordsBox = new QGroupBox(QStringLiteral("Log"), this);
    auto* recordsLayout = new QVBoxLayout(recordsBox);
    recordsLayout->addWidget(records_);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(unitsBox);
    split->addWidget(recordsBox);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(setup_);
    layout->addWidget(split, 1);
    layout->addWidget(notices_);
    layout->addLayout(buttons);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    resize(fontMetrics().averageCharWidth() * 130, fontMetrics().height() * 48);
}

FleetDialog::~FleetDialog() {
    if (worker_.joinable()) {
        cancelled_.store(true);
        worker_.join();
    }
}

QWidget* FleetDialog::MakeSetup() {
    auto* setup = new QWidget(this);

    auto* config = new QLabel(setup);
    config->setObjectName(QStringLiteral("fleetConfig"));
    const QString name = configFile_.empty() ? QStringLiteral("(new configuration)")
                                             : nimbrel::ShownText(configFile_);
    config->setText(QStringLiteral("%1, %2 items").arg(name).arg(items_->size()));
    config->setTextInteractionFlags(Qt::TextSelectableByMouse);

    ports_ = new QListWidget(setup);
    ports_->setMaximumHeight(fontMetrics().height() * 7);
    ports_->setObjectName(QStringLiteral("fleetPorts"));
    otherPort_ = new QLineEdit(setup);
    otherPort_->setObjectName(QStringLiteral("fleetOtherPort"));
    otherPort_->setPlaceholderText(QStringLiteral("another device, e.g. /dev/pts/3"));
    auto* add = new QPushButton(QStringLiteral("&Add"), setup);
    auto* refresh = new QPushButton(QStringLiteral("&Refresh"), setup);
    connect(add, &QPushButton::clicked, this, [this] {
        AddPort(otherPort_->text());
        otherPort_->clear();
    });
    connect(otherPort_, &QLineEdit::returnPressed, add, &QPushButton::click);
    connect(refresh, &QPushButton::clicked, this, &FleetDialog::RefreshPorts);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(otherPort_, 1);
    portRow->addWidget(add);
    portRow->addWidget(refresh);
    auto* portColumn = new QVBoxLayout;
    portColumn->addWidget(ports_, 1);
    portColumn->addLayout(portRow);

    rangeChoice_ = new QRadioButton(QStringLiteral("ID &range:"), setup);
    listChoice_ = new QRadioButton(QStringLiteral("ID &list file:"), setup);
    rangeChoice_->setChecked(true);
    range_ = new QLineEdit(setup);
    range_->setObjectName(QStringLiteral("fleetRange"));
    range_->setPlaceholderText(QStringLiteral("12000-12063"));
    listFile_ = new QLineEdit(setup);
    listFile_->setObjectName(QStringLiteral("fleetListFile"));
    listFile_->setPlaceholderText(QStringLiteral("one ID a line, # comments"));
    auto* browseList = new QPushButton(QStringLiteral("Browse\u2026"), setup);
    connect(browseList, &QPushButton::clicked, this, &FleetDialog::ChooseListFile);
    connect(range_, &QLineEdit::textEdited, rangeChoice_,
            [this] { rangeChoice_->setChecked(true); });
    connect(listFile_, &QLineEdit::textEdited, listChoice_,
            [this] { listChoice_->setChecked(true); });

    logFile_ = new QLineEdit(setup);
    logFile_->setObjectName(QStringLiteral("fleetLog"));
    if (!configFile_.empty()) {
        const QFileInfo info(FromPath(configFile_));
        logFile_->setText(
            info.dir().filePath(info.completeBaseName() + QStringLiteral("-fleet.jsonl")));
    }
    auto* browseLog = new QPushButton(QStringLiteral("Browse\u2026"), setup);
    connect(browseLog, &QPushButton::clicked, this, &FleetDialog::ChooseLogFile);

    auto* listRow = new QHBoxLayout;
    listRow->addWidget(listFile_, 1);
    listRow->addWidget(browseList);
    auto* logRow = new QHBoxLayout;
    logRow->addWidget(logFile_, 1);
    logRow->addWidget(browseLog);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Configuration:"), config);
    form->addRow(rangeChoice_, range_);
    form->addRow(listChoice_, listRow);
    auto* logLabel = new QLabel(QStringLiteral("Log &file:"), setup);
    logLabel->setBuddy(logFile_);
    form->addRow(logLabel, logRow);

    auto* portsBox = new QGroupBox(QStringLiteral("Ports to program"), setup);
    portsBox->setLayout(portColumn);
    auto* layout = new QHBoxLayout(setup);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(form, 1);
    layout->addWidget(portsBox, 1);
    layout->setAlignment(form, Qt::AlignTop);

    RefreshPorts();
    return setup;
}

void FleetDialog::RefreshPorts() {
    QStringList checked;
    QStringList added;
    for (int i = 0; i < ports_->count(); ++i) {
        const QListWidgetItem* item = ports_->item(i);
        if (item->checkState() == Qt::Checked) checked << item->text();
        if (item->data(Qt::UserRole).toBool()) added << item->text();
    }
    ports_->clear();
    QStringList listed = listPorts_ ? listPorts_() : QStringList();
    for (const QString& device : added) {
        if (!listed.contains(device)) listed << device;
    }
    for (const QString& device : listed) {
        auto* item = new QListWidgetItem(device, ports_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(checked.contains(device) ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, added.contains(device));
    }
}

void FleetDialog::AddPort(const QString& device) {
    const QString path = device.trimmed();
    if (path.isEmpty()) return;
    for (int i = 0; i < ports_->count(); ++i) {
        if (ports_->item(i)->text() == path) {
            ports_->item(i)->setCheckState(Qt::Checked);
            return;
        }
    }
    auto* item = new QListWidgetItem(path, ports_);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
    item->setData(Qt::UserRole, true);
}

void FleetDialog::ChooseListFile() {
    nimbrel::FileRequest request;
    request.caption = "ID list";
    request.filter = "ID lists (*.txt)|*.txt|All Files (*.*)|*.*|";
    request.mustExist = true;
    request.pathMustExist = true;
    if (const auto path = CurrentUi().ChooseFile(request); path && !path->empty()) {
        listFile_->setText(FromPath(*path));
        listChoice_->setChecked(true);
    }
}

void FleetDialog::ChooseLogFile() {
    nimbrel::FileRequest request;
    request.save = true;
    request.caption = "Fleet log";
    request.filter = "Fleet logs (*.jsonl)|*.jsonl|All Files (*.*)|*.*|";
    request.defaultExt = "jsonl";
    request.initialName = ToPath(logFile_->text());
    if (const auto path = CurrentUi().ChooseFile(request); path && !path->empty())
        logFile_->setText(FromPath(*path));
}

std::string FleetDialog::MakeJob(nimbrel::FleetJob& job) {
    if (!copyProblem_.empty()) return copyProblem_;
    std::string error;
    std::optional<std::vector<nimbrel::FleetId>> ids;
    if (rangeChoice_->isChecked()) {
        ids = nimbrel::IdsFromRange(range_->text().toStdString(), *items_, error);
    } else if (const auto text = ReadListFile(ToPath(listFile_->text()), error)) {
        ids = nimbrel::IdsFromList(*text, *items_, error);
    }
    if (!ids) return error;

    const nimbrel::SettingsSnapshot settings;
    job.items = items_;
    job.sensorCount = sensorCount_;
    job.configFile = configFile_;
    job.ids = std::move(*ids);
    for (int i = 0; i < ports_->count(); ++i) {
        if (ports_->item(i)->checkState() == Qt::Checked)
            job.ports.push_back(ToPath(ports_->item(i)->text()));
    }
    job.link = nimbrel::ReadLinkOptions(settings);
    job.transfer = nimbrel::ReadTransferOptions(settings);
    job.transfer.readAfterWrite = true;
    job.awakeWaitMs = settings.Get(nimbrel::keys::kAwakeWaitMs);
    job.stationPollMs = settings.Get(nimbrel::keys::kStationPollMs);
    job.stationGoneMs = settings.Get(nimbrel::keys::kStationGoneMs);
    job.logPath = ToPath(logFile_->text());
    job.historyPath = nimbrel::ConfiguredHistoryPath(settings);
    if (job.ports.empty()) return "Check at least one port to program.";
    if (job.logPath.empty()) return "Name the log file the records of the run are written to.";
    return nimbrel::CheckFleetJob(job);
}

bool FleetDialog::Start() {
    if (Running()) return false;
    nimbrel::FleetJob job;
    const std::string refusal = MakeJob(job);
    if (!refusal.empty()) {
        CurrentUi().MessageBox(refusal, kCaption, Buttons::Ok, Icon::Exclamation);
        return false;
    }

    units_->setRowCount(0);
    records_->setRowCount(0);
    notices_->clear();
    notices_->hide();
    summary_->clear();
    for (const std::string& port : job.ports) {
        const int row = units_->rowCount();
        units_->insertRow(row);
        SetCell(units_, row, kPortColumn, nimbrel::ShownText(port));
        SetCell(units_, row, kStateColumn,
                QString::fromLatin1(nimbrel::PortStateName(nimbrel::PortState::Waiting)));
        auto* bar = new QProgressBar(units_);
        bar->setRange(0, 1);
        bar->setValue(0);
        units_->setCellWidget(row, kProgressColumn, bar);
    }
    units_->resizeColumnToContents(kPortColumn);

    cancelled_.store(false);
    SetRunning(true);
    worker_ = std::thread([this, job = std::move(job)]() mutable {
        nimbrel::FleetCallbacks callbacks;
        callbacks.status = [this](const nimbrel::PortStatus& status) {
            Post([&] { statuses_[status.index] = status; });
        };
        callbacks.record = [this](const nimbrel::UnitRecord& record) {
            Post([&] { newRecords_.push_back(record); });
        };
        callbacks.notice = [this](const std::string& notice) {
            Post([&] { newNotices_.push_back(notice); });
        };
        nimbrel::FleetEngine engine(std::move(job), std::move(callbacks), &cancelled_);
        nimbrel::FleetSummary summary = engine.Run();
        {
            std::lock_guard<std::mutex> guard(lock_);
            runSummary_ = std::move(summary);
        }
        QMetaObject::invokeMethod(this, &FleetDialog::Finish, Qt::QueuedConnection);
    });
    return true;
}

void FleetDialog::SetRunning(bool running) {
    setup_->setEnabled(!running);
    start_->setEnabled(!running);
    cancel_->setEnabled(running);
}

void FleetDialog::Cancel() {
    if (!Running()) return;
    cancelled_.store(true);
    cancel_->setEnabled(false);
    summary_->setText(QStringLiteral("Cancelling\u2026"));
}

void FleetDialog::reject() {
    if (!Running()) {
        QDialog::reject();
        return;
    }
    if (closeWhenEnded_) return;
    if (CurrentUi().MessageBox("A fleet run is going on.\r\nCancel it and close the window?",
                               kCaption, Buttons::YesNo, Icon::Question) != nimbrel::Answer::Yes) {
        return;
    }
    closeWhenEnded_ = true;
    Cancel();
}

void FleetDialog::Post(const std::function<void()>& keep) {
    std::lock_guard<std::mutex> guard(lock_);
    keep();
    if (flushPosted_) return;
    flushPosted_ = true;
    QMetaObject::invokeMethod(this, &FleetDialog::Flush, Qt::QueuedConnection);
}

void FleetDialog::Flush() {
    std::map<std::size_t, nimbrel::PortStatus> statuses;
    std::vector<nimbrel::UnitRecord> records;
    std::vector<std::string> notices;
    {
        std::lock_guard<std::mutex> guard(lock_);
        statuses.swap(statuses_);
        records.swap(newRecords_);
        notices.swap(newNotices_);
        flushPosted_ = false;
    }
    for (const auto& [index, status] : statuses)
        ShowStatus(status);
    if (!statuses.empty()) units_->resizeColumnToContents(kStateColumn);
    for (const auto& record : records)
        ShowRecord(record);
    for (const auto& notice : notices) {
        const QString line = OneLine(notice);
        notices_->setText(notices_->text().isEmpty() ? line : notices_->text() + "\n" + line);
        notices_->show();
    }
}

void FleetDialog::ShowStatus(const nimbrel::PortStatus& status) {
    const int row = static_cast<int>(status.index);
    if (row >= units_->rowCount()) return;
    QString state = QString::fromLatin1(nimbrel::PortStateName(status.state));
    if (status.attempt > 1) state += QStringLiteral(" (attempt %1)").arg(status.attempt);
    SetCell(units_, row, kStateColumn, state);
    SetCell(units_, row, kIdColumn, status.id < 0 ? QString() : QString::number(status.id));

    const nimbrel::Progress& p = status.progress;
    auto* bar = qobject_cast<QProgressBar*>(units_->cellWidget(row, kProgressColumn));
    if (bar != nullptr) {
        if (status.state == nimbrel::PortState::Done ||
            status.state == nimbrel::PortState::Skipped) {
            bar->setRange(0, 1);
            bar->setValue(1);
        } else if (p.steps > 0) {
            bar->setRange(0, p.steps);
            bar->setValue(p.step);
        } else if (p.totalBytes > 0) {
            bar->setRange(0, 1000);
            bar->setValue(static_cast<int>(1000 * p.bytes / p.totalBytes));
        }
    }
    SetCell(units_, row, kMessageColumn, OneLine(status.message.empty() ? p.what : status.message));
}

void FleetDialog::ShowRecord(const nimbrel::UnitRecord& r) {
    const int row = records_->rowCount();
    records_->insertRow(row);
    const QStringList cells{QString::fromStdString(r.time),
                            nimbrel::ShownText(r.portById.empty() ? r.port : r.portById),
                            r.pttId < 0 ? QString() : QString::number(r.pttId),
                            QString::fromStdString(r.outcome),
                            r.verified ? QStringLiteral("yes") : QStringLiteral("no"),
                            QString::number(r.bytesWritten),
                            QString::number(static_cast<double>(r.durationMs) / 1000.0, 'f', 1),
                            OneLine(r.message)};
    for (int column = 0; column < cells.size(); ++column)
        SetCell(records_, row, column, cells[column]);
    records_->resizeColumnsToContents();
    records_->scrollToBottom();
}

void FleetDialog::Finish() {
    if (worker_.joinable()) worker_.join();
    Flush();
    nimbrel::FleetSummary summary;
    {
        std::lock_guard<std::mutex> guard(lock_);
        summary = std::move(runSummary_);
    }
    std::string text = std::to_string(summary.programmed) + " programmed, " +
                       std::to_string(summary.failed) + " failed";
    if (summary.alreadyDone > 0)
        text += ", " + std::to_string(summary.alreadyDone) + " already done";
    text += ".";
    if (summary.cancelled) text += " The run was cancelled.";
    if (!summary.left.empty()) {
        text += " " + std::to_string(summary.left.size()) + " ID" +
                (summary.left.size() == 1 ? " was" : "s were") + " not used and stay" +
                (summary.left.size() == 1 ? "s" : "") + " free: " + IdsText(summary.left) + ".";
    }
    if (summary.logFailed) text += " Not every record could be written to the log.";
    if (!summary.historyProblem.empty()) text += " " + summary.historyProblem;
    summary_->setText(OneLine(text));
    SetRunning(false);
    emit RunEnded();
    if (closeWhenEnded_) {
        closeWhenEnded_ = false;
        QDialog::reject();
    }
}
