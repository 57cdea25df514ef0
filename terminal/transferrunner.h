// Runs one transfer of the engine while the user interface stays live: the
// transfer works on a thread of its own, the user sees a progress dialog with
// Cancel, the windows take no input meanwhile (so no window code runs inside
// a transfer), and the engine's questions and messages are asked on the user
// interface thread through the Ui in force.
#pragma once

#include "engine/transferengine.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QTimer;
class QWidget;

namespace nimbrel {
class LinkSession;
}

class TransferRunner : public QObject {
    Q_OBJECT
public:
    using Job = std::function<nimbrel::Outcome(nimbrel::TransferEngine&)>;
    using StatusFn = std::function<std::string(const nimbrel::Progress&)>;

    // Runs `job` on a worker thread with an engine on `session`'s link and
    // answers its outcome once the job has finished and everything it posted
    // (OnUiThread) has run. The session is busy meanwhile; a port that went
    // away is closed afterwards. Refused, after one message, while another
    // transfer runs or when the session's port is not open. The engine starts with the session's
    // started state as "entered"; a transfer that sent the exit string on its way out clears the
    // started state. `status`, when given, turns progress into status-bar texts (cleared at the
    // end). `last`, when given, holds the last progress the transfer reported; it is written on
    // the job's thread as the transfer reports, so the job may read it too.
    static nimbrel::Outcome Run(QWidget* parent, nimbrel::LinkSession& session,
                                const QString& title, const Job& job, const StatusFn& status = {},
                                nimbrel::Progress* last = nullptr);

    // While a transfer runs: cancels it and runs `then` on the user interface
    // thread once it has ended (for a window closed meanwhile).
    void CancelThen(std::function<void()> then);
    // Asks "A transfer with the transmitter is running. Cancel it and
    // <closing>?"; on Yes, CancelThen(then).
    void OfferCancelThen(const std::string& closing, std::function<void()> then);

    // From the job's thread: runs `fn` on the user interface thread, in order.
    static void OnUiThread(std::function<void()> fn);

    // The transfer running now, or null.
    static TransferRunner* Current();
    void RequestCancel();
    bool CancelRequested() const;
    // The progress dialog: null until ProgressDelayMs have passed with the
    // transfer still running; hidden while the transfer asks a question.
    QDialog* Dialog() const { return dialog_; }

    // The dialog's second line: "3 s elapsed, 7 s left, 10 of 80 bytes".
    // Elapsed seconds round down and those left round up, so a wait of n
    // whole seconds always shows n in all.
    static QString DetailText(const nimbrel::Progress& progress);

    // Around each question the transfer asks on the user interface thread:
    // the progress dialog makes way for it and comes back, if the transfer
    // still runs, ProgressDelayMs after it.
    void BeginQuestion();
    void EndQuestion();

private:
    TransferRunner(QWidget* parent, const QString& title);
    ~TransferRunner() override;
    // True, after one message, while another transfer runs or when the
    // session's port is not open.
    static bool Refused(const nimbrel::LinkSession& session);
    // This transfer becomes current, the session busy, user input held back.
    void Begin(nimbrel::LinkSession& session);
    // The progress dialog becomes due ProgressDelayMs from now.
    void StartDialogDelay();
    // The worker has ended: the dialog goes, input and status return.
    void End(const StatusFn& status);
    // The session is free again (closed if its port went away); what was to
    // follow the transfer is queued.
    void Release(nimbrel::LinkSession& session);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void ShowProgress(const nimbrel::Progress& progress);
    // Shows the dialog if it is due, no question is open and no other
    // window is modal (then it tries again shortly).
    void ShowDialogIfDue();
    void MakeDialog();
    void Refresh();

    QPointer<QWidget> parent_; // null once it has gone: the dialog then has none
    QString title_;
    QPointer<QDialog> dialog_; // deleted with its parent, if that goes first
    QLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QTimer* due_ = nullptr; // runs until the dialog may show
    int delayMs_ = 0;
    int questions_ = 0;
    bool finished_ = false;
    nimbrel::Progress latest_;
    nimbrel::CancelFlag cancel_{false};
    std::vector<std::function<void()>> after_;
    qint64 startMs_ = 0;
};
