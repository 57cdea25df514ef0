#include "terminal/transferrunner.h"

#include "link/linksession.h"
#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "platform/ui.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

using nimbrel::Answer;
using nimbrel::Buttons;
using nimbrel::Icon;
using nimbrel::Outcome;

namespace {

std::atomic<TransferRunner*> current{nullptr};

// The engine's Ui on the worker thread: every question and message is asked
// through the Ui in force, on the user interface thread, and waits for it.
class ForwardingUi : public nimbrel::Ui {
public:
    ForwardingUi(nimbrel::Ui& target, TransferRunner* runner) : target_(target), runner_(runner) {}

    Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons,
                      Icon icon) override {
        Answer answer = Answer::Ok;
        Call([&] { answer = target_.MessageBox(text, caption, buttons, icon); });
        return answer;
    }
    std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                         const std::string& initial, int maxChars) override {
        std::optional<std::string> text;
        Call([&] { text = target_.InputText(caption, prompt, initial, maxChars); });
        return text;
    }
    std::optional<std::string> ChooseFile(const nimbrel::FileRequest& request) override {
        std::optional<std::string> path;
        Call([&] { path = target_.ChooseFile(request); });
        return path;
    }
    void ServeEvents(int maxWaitMs) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(maxWaitMs, 1)));
    }
    void StatusText(const std::string& text) override {
        QMetaObject::invokeMethod(
            runner_, [this, text] { target_.StatusText(text); }, Qt::QueuedConnection);
    }

private:
    // Asks on the user interface thread, the progress dialog out of the way.
    void Call(const std::function<void()>& fn) {
        const auto ask = [this, &fn] {
            runner_->BeginQuestion();
            fn();
            runner_->EndQuestion();
        };
        if (QThread::currentThread() == runner_->thread()) {
            ask();
        } else {
            QMetaObject::invokeMethod(runner_, ask, Qt::BlockingQueuedConnection);
        }
    }

    nimbrel::Ui& target_;
    TransferRunner* runner_;
};

// The progress dialog. Its Cancel is no default button: Return (a reflex when
// a message was expected) does nothing; Escape, closing and Cancel cancel.
class ProgressBox : public QDialog {
public:
    ProgressBox(QWidget* parent, std::function<void()> cancel)
        : QDialog(parent), cancel_(std::move(cancel)) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        switch (event->key()) {
        case Qt::Key_Escape:
            cancel_();
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
        }
    }
    void closeEvent(QCloseEvent* event) override {
        cancel_(); // the dialog stays, saying "Cancelling...", until the end
        event->ignore();
    }

private:
    std::function<void()> cancel_;
};

// Hands the worker's progress to the user interface thread: one update in
// flight at a time, which shows the newest state when it runs.
class ProgressRelay {
public:
    using ShowFn = std::function<void(const nimbrel::Progress&)>;
    ProgressRelay(QObject* context, ShowFn show) : context_(context), show_(std::move(show)) {}

    // From the worker thread.
    void Post(const nimbrel::Progress& progress) {
        std::lock_guard<std::mutex> guard(lock_);
        latest_ = progress;
        if (pending_) return;
        pending_ = true;
        QMetaObject::invokeMethod(
            context_,
            [this] {
                nimbrel::Progress shown;
                {
                    std::lock_guard<std::mutex> g(lock_);
                    shown = latest_;
                    pending_ = false;
                }
                show_(shown);
            },
            Qt::QueuedConnection);
    }

private:
    QObject* context_;
    ShowFn show_;
    std::mutex lock_;
    nimbrel::Progress latest_;
    bool pending_ = false;
};

// While another window is modal, the due dialog tries again this often.
constexpr int kModalRetryMs = 50;

bool IsUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
        return true;
    default:
        return false;
    }
}

QString Seconds(std::int64_t seconds) {
    return QStringLiteral("%1 s").arg(seconds);
}

} // namespace

TransferRunner::TransferRunner(QWidget* parent, const QString& title)
    : parent_(parent), title_(title), startMs_(QDateTime::currentMSecsSinceEpoch()) {}

TransferRunner::~TransferRunner() {
    delete dialog_;
}

TransferRunner* TransferRunner::Current() {
    return current.load();
}

void TransferRunner::RequestCancel() {
    cancel_.store(true);
    if (dialog_ != nullptr) label_->setText(QStringLiteral("Cancelling..."));
}

bool TransferRunner::CancelRequested() const {
    return cancel_.load();
}

void TransferRunner::OnUiThread(std::function<void()> fn) {
    TransferRunner* runner = current.load();
    if (runner == nullptr || QThread::currentThread() == runner->thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(runner, std::move(fn), Qt::QueuedConnection);
}

void TransferRunner::CancelThen(std::function<void()> then) {
    after_.push_back(std::move(then));
    RequestCancel();
}

void TransferRunner::OfferCancelThen(const std::string& closing, std::function<void()> then) {
    const auto answer = nimbrel::CurrentUi().MessageBox(
        "A transfer with the transmitter is running.\r\nCancel it and " + closing + "?", "",
        Buttons::YesNo, Icon::Question);
    if (answer == nimbrel::Answer::Yes) CancelThen(std::move(then));
}

Outcome TransferRunner::Run(QWidget* parent, nimbrel::LinkSession& session, const QString& title,
                            const Job& job, const StatusFn& status, nimbrel::Progress* last) {
    if (Refused(session)) return Outcome::Refused;
    TransferRunner runner(parent, title);
    runner.Begin(session);

    ForwardingUi ui(nimbrel::CurrentUi(), &runner);
    ProgressRelay relay(&runner, [&runner, &status](const nimbrel::Progress& shown) {
        runner.ShowProgress(shown);
        if (status) nimbrel::CurrentUi().StatusText(status(shown));
    });
    auto progress = [&relay, last](const nimbrel::Progress& p) {
        if (last != nullptr) *last = p;
        relay.Post(p);
    };
    runner.StartDialogDelay();

    Outcome outcome = Outcome::Done;
    const bool wasStarted = session.Started();
    bool enteredState = wasStarted;
    QEventLoop loop;
    std::thread worker([&] {
        nimbrel::TransferEngine engine(session.Io(), ui, nimbrel::ReadTransferOptions(),
                                       &runner.cancel_, progress);
        engine.SetEntered(enteredState);
        outcome = job(engine);
        enteredState = engine.Entered();
        // Queued after everything the job posted, so that has run by then.
        QMetaObject::invokeMethod(
            &runner, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();

    runner.End(status);
    // The exit string went out on the way out of a failed transfer: the
    // transmitter has left its user interface. (Stop leaves the state.)
    if (wasStarted && !enteredState && outcome != Outcome::Done) session.SetStarted(false);
    runner.Release(session);
    return outcome;
}

bool TransferRunner::Refused(const nimbrel::LinkSession& session) {
    // One transfer at a time; the windows take no commands while one runs.
    if (current.load() != nullptr) {
        nimbrel::CurrentUi().MessageBox(
            "Another transfer with the transmitter is running.\r\nWait until it has ended, or "
            "cancel it, and try again.",
            nimbrel::kCommsCaption, Buttons::Ok, Icon::Exclamation);
        return true;
    }
    if (!session.IsOpen()) {
        const std::string device = session.Device();
        nimbrel::CurrentUi().MessageBox("The serial port" + (device.empty() ? "" : " " + device) +
                                            " is not open.\r\nNothing was sent to the "
                                            "transmitter.",
                                        nimbrel::kCommsCaption, Buttons::Ok, Icon::Exclamation);
        return true;
    }
    return false;
}

void TransferRunner::Begin(nimbrel::LinkSession& session) {
    current.store(this);
    session.SetBusy(true);
    qApp->installEventFilter(this);
}

void TransferRunner::StartDialogDelay() {
    // Short transfers finish without a dialog flashing up.
    delayMs_ = std::max(0, nimbrel::Settings::Get(nimbrel::keys::kProgressDelayMs));
    due_ = new QTimer(this);
    due_->setSingleShot(true);
    due_->setTimerType(Qt::PreciseTimer);
    connect(due_, &QTimer::timeout, this, &TransferRunner::ShowDialogIfDue);
    due_->start(delayMs_);
}

void TransferRunner::End(const StatusFn& status) {
    // The caller's result comes next: the dialog is gone by then.
    finished_ = true;
    due_->stop();
    if (dialog_ != nullptr) dialog_->hide();
    qApp->removeEventFilter(this);
    current.store(nullptr);
    if (status) nimbrel::CurrentUi().StatusText("");
}

void TransferRunner::Release(nimbrel::LinkSession& session) {
    session.SetBusy(false);
    // A port that went away is released, so Start can open it afresh.
    if (session.Lost()) session.Close();
    for (auto& then : after_)
        QTimer::singleShot(0, qApp, std::move(then));
}

void TransferRunner::BeginQuestion() {
    ++questions_;
    if (due_ != nullptr) due_->stop();
    if (dialog_ != nullptr) dialog_->hide();
}

void TransferRunner::EndQuestion() {
    --questions_;
    if (questions_ == 0 && !finished_ && due_ != nullptr) due_->start(delayMs_);
}

void TransferRunner::ShowDialogIfDue() {
    if (finished_ || questions_ > 0) return;
    if (dialog_ != nullptr && dialog_->isVisible()) return;
    // Never over another modal window: it would take that window's input.
    if (QApplication::activeModalWidget() != nullptr) {
        due_->start(kModalRetryMs);
        return;
    }
    if (dialog_ == nullptr) MakeDialog();
    Refresh();
    dialog_->show();
}

void TransferRunner::MakeDialog() {
    dialog_ = new ProgressBox(parent_, [this] { RequestCancel(); });
    dialog_->setObjectName(QStringLiteral("transferProgress"));
    dialog_->setWindowTitle(title_);
    dialog_->setWindowModality(Qt::ApplicationModal);
    label_ = new QLabel(dialog_);
    bar_ = new QProgressBar(dialog_);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog_);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &TransferRunner::RequestCancel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(dialog_);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    layout->addLayout(buttons);
    dialog_->setMinimumWidth(dialog_->fontMetrics().averageCharWidth() * 48);
    if (cancel_.load()) label_->setText(QStringLiteral("Cancelling..."));
}

QString TransferRunner::DetailText(const nimbrel::Progress& progress) {
    QString detail = QStringLiteral("%1 elapsed").arg(Seconds(progress.elapsedMs / 1000));
    if (progress.leftMs >= 0)
        detail += QStringLiteral(", %1 left").arg(Seconds((progress.leftMs + 999) / 1000));
    if (progress.totalBytes > 0) {
        detail += QStringLiteral(", %1 of %2 bytes").arg(progress.bytes).arg(progress.totalBytes);
    }
    return detail;
}

void TransferRunner::ShowProgress(const nimbrel::Progress& progress) {
    latest_ = progress;
    if (dialog_ != nullptr) Refresh();
}

void TransferRunner::Refresh() {
    if (cancel_.load()) return; // "Cancelling..." stays until the end
    nimbrel::Progress progress = latest_;
    if (progress.elapsedMs <= 0)
        progress.elapsedMs =
            static_cast<std::int32_t>(QDateTime::currentMSecsSinceEpoch() - startMs_);
    const QString text = progress.what.empty() ? title_ : QString::fromStdString(progress.what);
    label_->setText(text + QStringLiteral("\n") + DetailText(progress));
    if (progress.steps > 0) {
        bar_->setRange(0, progress.steps);
        bar_->setValue(progress.step);
    } else if (progress.totalBytes > 0) {
        bar_->setRange(0, 1000);
        bar_->setValue(static_cast<int>(1000 * progress.bytes / progress.totalBytes));
    } else if (progress.leftMs >= 0 && progress.elapsedMs + progress.leftMs > 0) {
        bar_->setRange(0, progress.elapsedMs + progress.leftMs);
        bar_->setValue(progress.elapsedMs);
    } else {
        bar_->setRange(0, 0); // busy
    }
}

bool TransferRunner::eventFilter(QObject* watched, QEvent* event) {
    if (!IsUserInput(event->type())) return false;
    // The progress dialog and anything the transfer asks (a message box on
    // top) take input; the windows behind them do not.
    const QWidget* modal = QApplication::activeModalWidget();
    if (event->type() == QEvent::Shortcut) {
        // A shortcut goes to its action, not to a widget: held back unless
        // a question of the transfer is up.
        return modal == nullptr || modal == dialog_;
    }
    const auto* widget = qobject_cast<const QWidget*>(watched);
    if (widget == nullptr) return false; // window-system objects pass it on to widgets
    const QWidget* top = widget->window();
    if (dialog_ != nullptr && top == dialog_) return false;
    if (modal != nullptr && modal != dialog_ && top == modal) return false;
    return true;
}
