// Programming a fleet from the window: one configuration (a copy of the
// window's, taken when the dialog opens) into one transmitter on each port
// checked, each unit with its own PTT ID from a range or a list file, every
// attempt recorded in a log file and the programming history.
//
// The fleet engine runs on a worker thread; its news (from the ports'
// threads) is posted to the user interface thread, which shows a row per
// port and the log's records as they are written. Closing the dialog while a
// run goes on offers to cancel it and closes once it has ended.
#pragma once

#include "config/displayline.h"
#include "fleet/fleetengine.h"

#include <QDialog>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTableWidget;

class FleetDialog : public QDialog {
    Q_OBJECT
public:
    using PortLister = std::function<QStringList()>;

    // `listPorts` gives the serial devices offered (the Preferences' list).
    FleetDialog(QWidget* parent, const nimbrel::ItemList& items, std::int32_t sensorCount,
                const std::string& configFile, PortLister listPorts);
    // A run still going is cancelled and waited for.
    ~FleetDialog() override;

    // Start: checks the IDs and the job (one message, nothing started, when
    // they are refused), then runs the fleet. True when it started.
    bool Start();
    bool Running() const { return worker_.joinable(); }
    void Cancel();

    // Adds a port that is not listed (a pseudo-terminal, say), checked.
    void AddPort(const QString& device);

    QListWidget* Ports() const { return ports_; }
    QRadioButton* RangeChoice() const { return rangeChoice_; }
    QRadioButton* ListChoice() const { return listChoice_; }
    QLineEdit* Range() const { return range_; }
    QLineEdit* ListFile() const { return listFile_; }
    QLineEdit* LogFile() const { return logFile_; }
    QPushButton* StartButton() const { return start_; }
    QPushButton* CancelButton() const { return cancel_; }
    // A row per port of the run: port, state, PTT ID, progress, message.
    QTableWidget* Units() const { return units_; }
    // The log's records of the run, as they are written.
    QTableWidget* Records() const { return records_; }
    QLabel* Summary() const { return summary_; }

    void reject() override;

signals:
    void RunEnded();

private:
    QWidget* MakeSetup();
    void RefreshPorts();
    void ChooseListFile();
    void ChooseLogFile();
    // The job from the controls; "" or the one message that refuses it.
    std::string MakeJob(nimbrel::FleetJob& job);
    void SetRunning(bool running);
    // From the ports' threads: keeps the news and has it shown once.
    void Post(const std::function<void()>& keep);
    // User interface thread: shows what was posted.
    void Flush();
    void ShowStatus(const nimbrel::PortStatus& status);
    void ShowRecord(const nimbrel::UnitRecord& record);
    void Finish();

    std::shared_ptr<const nimbrel::ItemList> items_;
    std::int32_t sensorCount_ = 0;
    std::string configFile_;
    std::string copyProblem_; // why the copy of the items cannot be used
    PortLister listPorts_;

    QListWidget* ports_;
    QLineEdit* otherPort_;
    QRadioButton* rangeChoice_;
    QRadioButton* listChoice_;
    QLineEdit* range_;
    QLineEdit* listFile_;
    QLineEdit* logFile_;
    QWidget* setup_;
    QPushButton* start_;
    QPushButton* cancel_;
    QPushButton* close_;
    QTableWidget* units_;
    QTableWidget* records_;
    QLabel* notices_;
    QLabel* summary_;

    std::thread worker_;
    nimbrel::CancelFlag cancelled_{false};
    bool closeWhenEnded_ = false;

    // Posted news, taken by Flush.
    std::mutex lock_;
    bool flushPosted_ = false;
    std::map<std::size_t, nimbrel::PortStatus> statuses_;
    std::vector<nimbrel::UnitRecord> newRecords_;
    std::vector<std::string> newNotices_;
    nimbrel::FleetSummary runSummary_;
};
