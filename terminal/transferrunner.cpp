#include "terminal/transferrunner.h"

#include "link/linksession.h"
#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "platform/ui.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

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
    ForwardingUi(nimbrel::Ui& target, QObject* context) : target_(target), context_(context) {}

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
            context_, [this, text] { target_.StatusText(text); }, Qt::QueuedConnection);
    }

private:
    void Call(const std::function<void()>& fn) {
        if (QThread::currentThread() == context_->thread()) {
            fn();
        } else {
            QMetaObject::invokeMethod(context_, fn, Qt::BlockingQueuedConnection);
        }
    }

    nimbrel::Ui& target_;
    QObject* context_;
};

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

QString Seconds(std::int32_t ms) {
    return QStringLiteral("%1 s").arg((ms + 999) / 1000);
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
    if (dialog_ != nullptr) dialog_->setLabelText(QStringLiteral("Cancelling..."));
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

Outcome TransferRunner::Run(QWidget* parent, nimbrel::LinkSession& session, const QString& title,
                            const Job& job, const StatusFn& status) {
    // One transfer at a time; the windows take no commands while one runs.
    if (current.load() != nullptr) return Outcome::Refused;
    TransferRunner runner(parent, title);
    current.store(&runner);
    session.SetBusy(true);
    qApp->installEventFilter(&runner);

    ForwardingUi ui(nimbrel::CurrentUi(), &runner);
    std::mutex progressLock;
    nimbrel::Progress latest;
    bool pending = false;
    auto progress = [&](const nimbrel::Progress& p) {
        std::lock_guard<std::mutex> guard(progressLock);
        latest = p;
        if (pending) return; // one update in flight shows the newest state
        pending = true;
        QMetaObject::invokeMethod(
            &runner,
            [&] {
                nimbrel::Progress shown;
                {
                    std::lock_guard<std::mutex> g(progressLock);
                    shown = latest;
                    pending = false;
                }
                runner.ShowProgress(shown);
                if (status) nimbrel::CurrentUi().StatusText(status(shown));
            },
            Qt::QueuedConnection);
    };

    Outcome outcome = Outcome::Done;
    const bool wasStarted = session.Started();
    bool enteredState = wasStarted;
    QEventLoop loop;
    std::thread worker([&] {
        nimbrel::TransferEngine engine(session.Io(), ui, &runner.cancel_, progress);
        engine.SetEntered(enteredState);
        outcome = job(engine);
        enteredState = engine.Entered();
        // Queued after everything the job posted, so that has run by then.
        QMetaObject::invokeMethod(
            &runner, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });

    // Short transfers finish without a dialog flashing up.
    const int delay = std::max(0, nimbrel::Settings::Get(nimbrel::keys::kProgressDelayMs));
    QTimer::singleShot(delay, &runner, [&runner] {
        if (runner.dialog_ == nullptr) runner.ShowProgress(nimbrel::Progress{});
    });
    loop.exec();
    worker.join();

    qApp->removeEventFilter(&runner);
    current.store(nullptr);
    if (status) nimbrel::CurrentUi().StatusText("");
    // The exit string went out on the way out of a failed transfer: the
    // transmitter has left its user interface. (Stop leaves the state.)
    if (wasStarted && !enteredState && outcome != Outcome::Done) session.SetStarted(false);
    session.SetBusy(false);
    // A port that went away is released, so Start can open it afresh.
    if (session.Lost()) session.Close();
    for (auto& then : runner.after_)
        QTimer::singleShot(0, qApp, std::move(then));
    return outcome;
}

void TransferRunner::ShowProgress(const nimbrel::Progress& progress) {
    if (dialog_ == nullptr) {
        dialog_ = new QProgressDialog(parent_);
        dialog_->setObjectName(QStringLiteral("transferProgress"));
        dialog_->setWindowTitle(title_);
        dialog_->setWindowModality(Qt::ApplicationModal);
        dialog_->setMinimumDuration(0);
        dialog_->setAutoReset(false);
        dialog_->setAutoClose(false);
        dialog_->setMinimumWidth(dialog_->fontMetrics().averageCharWidth() * 48);
        connect(dialog_, &QProgressDialog::canceled, this, &TransferRunner::RequestCancel);
        dialog_->show();
    }
    if (cancel_.load()) return; // "Cancelling..." stays until the end
    QString text = progress.what.empty() ? title_ : QString::fromStdString(progress.what);
    const std::int32_t elapsed =
        progress.elapsedMs > 0
            ? progress.elapsedMs
            : static_cast<std::int32_t>(QDateTime::currentMSecsSinceEpoch() - startMs_);
    QString detail = QStringLiteral("%1 elapsed").arg(Seconds(elapsed));
    if (progress.leftMs >= 0) detail += QStringLiteral(", %1 left").arg(Seconds(progress.leftMs));
    if (progress.totalBytes > 0) {
        detail += QStringLiteral(", %1 of %2 bytes").arg(progress.bytes).arg(progress.totalBytes);
    }
    dialog_->setLabelText(text + QStringLiteral("\n") + detail);
    if (progress.steps > 0) {
        dialog_->setRange(0, progress.steps);
        dialog_->setValue(progress.step);
    } else if (progress.totalBytes > 0) {
        dialog_->setRange(0, 1000);
        dialog_->setValue(static_cast<int>(1000 * progress.bytes / progress.totalBytes));
    } else if (progress.leftMs >= 0 && progress.elapsedMs + progress.leftMs > 0) {
        dialog_->setRange(0, progress.elapsedMs + progress.leftMs);
        dialog_->setValue(progress.elapsedMs);
    } else {
        dialog_->setRange(0, 0); // busy
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
