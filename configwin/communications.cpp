// The configuration window's transmitter commands: start (the wake-up
// handshake), stop (the exit string), the software version, reading the
// configuration out of the transmitter's memory and sending it in, and the
// user command list. Each runs on the transfer engine through the host's
// link session, with progress and Cancel (TransferRunner). What is sent and
// read, and the texts about it, come from engine/configtransfer.h; the window
// shows them and applies what is read. Every send leaves its record in the
// programming history. A send keeps a backup first when the settings ask for
// it (engine/backupsend.h); a comparison that finds differences shows them in
// CompareDialog, from which the checked items are taken or sent.
#include "configwin/nimbrelwindow.h"

#include "config/checks.h"
#include "configwin/comparedialog.h"
#include "configwin/confighost.h"
#include "configwin/simpledialog.h"
#include "engine/backupsend.h"
#include "engine/configtransfer.h"
#include "engine/transferengine.h"
#include "fleet/history.h"
#include "fleet/unitrecord.h"
#include "link/linksession.h"
#include "link/protocol.h"
#include "platform/options.h"
#include "platform/ui.h"
#include "terminal/transferrunner.h"

#include <QMdiSubWindow>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

using nimbrel::Buttons;
using nimbrel::CurrentUi;
using nimbrel::DisplayLine;
using nimbrel::Icon;
using nimbrel::kCommsCaption;
using nimbrel::Outcome;
using nimbrel::TransferEngine;

namespace {

constexpr const char* kStartFirst = "You must start PTT communications first";

void Exclaim(const std::string& text, const std::string& caption) {
    CurrentUi().MessageBox(text, caption, Buttons::Ok, Icon::Exclamation);
}

TransferRunner::StatusFn ItemStatus(const char* what) {
    return [what](const nimbrel::Progress& p) {
        return std::string(what) + " configuration: item " + std::to_string(p.step) + " of " +
               std::to_string(p.steps);
    };
}

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return nimbrel::kOutcomeDone;
    case Outcome::NoAnswer:
        return nimbrel::kOutcomeNoAnswer;
    case Outcome::Invalid:
        return nimbrel::kOutcomeInvalidAnswer;
    case Outcome::Mismatch:
        return nimbrel::kOutcomeMismatch;
    case Outcome::PortLost:
        return nimbrel::kOutcomePortLost;
    case Outcome::Cancelled:
        return nimbrel::kOutcomeCancelled;
    case Outcome::Refused:
        return nimbrel::kOutcomeRefused;
    }
    return "";
}

// Passes everything on and keeps the text of the last message box: what a
// send that failed told the user, for its record.
class LastMessageUi : public nimbrel::DelegatingUi {
public:
    using DelegatingUi::DelegatingUi;
    nimbrel::Answer MessageBox(const std::string& text, const std::string& caption, Buttons buttons,
                               Icon icon) override {
        {
            std::lock_guard<std::mutex> guard(lock_);
            last_ = text;
        }
        return DelegatingUi::MessageBox(text, caption, buttons, icon);
    }
    std::string Last() const {
        std::lock_guard<std::mutex> guard(lock_);
        return last_;
    }

private:
    mutable std::mutex lock_;
    std::string last_;
};

// Appends a window send's record; the problem, naming the file, or "".
std::string AppendToHistory(const std::string& path, const nimbrel::UnitRecord& record) {
    nimbrel::History history;
    if (!history.Open(path) || !history.Append(nimbrel::ToHistory(record, "window"))) {
        return history.Error();
    }
    return {};
}

// The user hears once per program run that the history cannot be written.
bool historyProblemTold = false;

} // namespace

nimbrel::LinkSession* TNimbrelWindow::Link() const {
    return Host != nullptr ? &Host->Link() : nullptr;
}

bool TNimbrelWindow::RefuseCloseDuringTransfer() {
    TransferRunner* running = TransferRunner::Current();
    nimbrel::LinkSession* link = Link();
    if (running == nullptr || link == nullptr || !link->Busy()) return false;
    const QPointer<QMdiSubWindow> frame(MDIChild);
    const QPointer<TNimbrelWindow> self(this);
    running->OfferCancelThen("close the window", [frame, self] {
        if (!frame.isNull()) {
            frame->close();
        } else if (!self.isNull()) {
            self->close();
        }
    });
    return true;
}

bool TNimbrelWindow::EnableCommPort(bool enable) {
    nimbrel::LinkSession* link = Link();
    if (link == nullptr || !Host->TermWindowOpen()) return false;
    if (!enable) {
        link->Close();
        CommEnabled = false;
        return true;
    }
    // A port closed or lost since is opened afresh; a failure has its one message.
    if (!link->IsOpen() && !link->Open(nimbrel::ReadLinkOptions())) {
        CurrentUi().MessageBox(link->LastOpenError().Message(), "", Buttons::Ok, Icon::Exclamation);
    }
    CommEnabled = link->IsOpen();
    return CommEnabled;
}

bool TNimbrelWindow::CmStart() {
    nimbrel::LinkSession* link = Link();
    if (link == nullptr) return false;
    // A terminal window opened now opens the port in its set-up, which
    // reports a failure; one that was open already gets another try here.
    const bool terminalWasOpen = Host->TermWindowOpen();
    Host->TermOpen(true);
    if (terminalWasOpen) {
        EnableCommPort(true);
    } else {
        CommEnabled = link->IsOpen();
    }
    if (!CommEnabled) return false;

    Host->SetLinkVersion({}); // a version read before belongs to another start
    const Outcome outcome =
        TransferRunner::Run(this, *link, QStringLiteral("Start"), [](TransferEngine& engine) {
            return engine.Start(engine.Options().startWaitMs);
        });
    if (outcome != Outcome::Done) return false;
    link->SetStarted(true);
    CurrentUi().MessageBox(nimbrel::kStartedText, "", Buttons::Ok, Icon::None);
    return true;
}

void TNimbrelWindow::SendExitString() {
    nimbrel::LinkSession* link = Link();
    if (link == nullptr || !link->IsOpen() || link->Busy()) return;
    // A shorter string is sent as it is, with nothing after it.
    const std::string exit = nimbrel::ReadTransferOptions().exitString;
    link->Port().WriteComm(exit.data(), static_cast<std::int32_t>(exit.size()));
}

bool TNimbrelWindow::CmStop() {
    nimbrel::LinkSession* link = Link();
    if (link == nullptr || !link->IsOpen()) {
        Exclaim(kStartFirst, kCommsCaption);
        return false;
    }
    return TransferRunner::Run(this, *link, QStringLiteral("Stop"), [](TransferEngine& engine) {
               return engine.Stop();
           }) == Outcome::Done;
}

bool TNimbrelWindow::CmPttversion() {
    nimbrel::LinkSession* link = Link();
    if (link == nullptr || !link->IsOpen()) {
        Exclaim(kStartFirst, kCommsCaption);
        return false;
    }
    std::string version;
    const Outcome outcome = TransferRunner::Run(
        this, *link, QStringLiteral("Software version"),
        [&version](TransferEngine& engine) { return engine.QueryVersion(&version); });
    if (outcome != Outcome::Done) return false;
    Host->SetLinkVersion(version);
    return true;
}

bool TNimbrelWindow::ReadConfig() {
    nimbrel::LinkSession* link = Link();
    if (link == nullptr || !link->IsOpen()) {
        Exclaim(kStartFirst, kCommsCaption);
        return false;
    }
    // The windows take no input while the transfer runs, so the items stay
    // as they are until every value read has been applied.
    const nimbrel::ReadPlan plan = nimbrel::PlanRead(Items, nimbrel::ReadScope::EveryItem);
    std::vector<DisplayLine*> targets;
    for (const auto& item : Items)
        targets.push_back(item.get());
    const Outcome outcome = TransferRunner::Run(
        this, *link, QStringLiteral("Read configuration"),
        [&plan, &targets](TransferEngine& engine) {
            return engine.ReadConfiguration(
                plan.items, plan.ToItems([&targets](std::size_t index, const std::string& value) {
                    DisplayLine* item = targets[index];
                    TransferRunner::OnUiThread([item, value] { item->SetValue(value); });
                }));
        },
        ItemStatus("Reading"));
    client_->update();
    return outcome == Outcome::Done && !plan.skips;
}

bool TNimbrelWindow::CmCompare() {
    nimbrel::LinkSession* link = Link();
    if (link == nullptr || !link->IsOpen()) {
        Exclaim(kStartFirst, kCommsCaption);
        return false;
    }
    const nimbrel::ReadPlan plan = nimbrel::PlanRead(Items, nimbrel::ReadScope::EveryItem);
    // What the transmitter holds, item by item; the configuration is not touched.
    nimbrel::ReadValues read(Items.size());
    const Outcome outcome = TransferRunner::Run(
        this, *link, QStringLiteral("Compare with transmitter"),
        [&plan, &read](TransferEngine& engine) {
            return engine.ReadConfiguration(
                plan.items, plan.ToItems([&read](std::size_t index, const std::string& value) {
                    read[index] = value; // the transfer's thread; read after it ends
                }));
        },
        ItemStatus("Comparing"));
    if (outcome != Outcome::Done) return false;

    const std::vector<nimbrel::Difference> differences = nimbrel::CompareValues(Items, read);
    if (differences.empty()) {
        CurrentUi().MessageBox(nimbrel::ComparisonText(Items, differences),
                               nimbrel::kCompareCaption, Buttons::Ok, Icon::Information);
        return true;
    }
    CompareDialog dialog(this, nimbrel::CompareRows(Items, read));
    dialog.exec();
    const std::vector<std::size_t> chosen = dialog.CheckedItems();
    switch (dialog.Chosen()) {
    case CompareDialog::Choice::TakeValues:
        TakeValues(read, chosen);
        break;
    case CompareDialog::Choice::SendChecked: {
        const nimbrel::SendPlan plan = nimbrel::PlanSend(Items, chosen);
        if (plan.Refused()) {
            Exclaim(plan.refusal, kCommsCaption);
        } else if (SendPlanned(plan)) {
            CurrentUi().MessageBox(sentText_, "", Buttons::Ok, Icon::None);
        }
        TellHistoryProblem();
        break;
    }
    case CompareDialog::Choice::None:
        break;
    }
    return false;
}

void TNimbrelWindow::TakeValues(const nimbrel::ReadValues& read,
                                const std::vector<std::size_t>& chosen) {
    nimbrel::ReadValues taken(Items.size());
    for (const std::size_t i : chosen) {
        if (i < read.size()) taken[i] = read[i];
    }
    if (nimbrel::ApplyValues(Items, taken) == 0) return;
    Modified();
    if (SimpleDialog* form = SimpleForm()) form->SetupWindow();
    client_->update();
}

bool TNimbrelWindow::CmSendfile() {
    nimbrel::LinkSession* link = Link();
    if (link == nullptr || !Host->TermWindowOpen() || !link->IsOpen()) CommEnabled = false;
    if (!CommEnabled) {
        Exclaim(kStartFirst, kCommsCaption);
        return false;
    }

    // Nothing is sent unless every item can be sent whole.
    const nimbrel::SendPlan plan = nimbrel::PlanSend(Items);
    if (plan.Refused()) {
        Exclaim(plan.refusal, kCommsCaption);
        return false;
    }
    const std::string overlaps = nimbrel::OverlapQuestion(Items);
    if (!overlaps.empty() &&
        CurrentUi().MessageBox(overlaps, nimbrel::kOverlapCaption, Buttons::YesNo,
                               Icon::Exclamation) != nimbrel::Answer::Yes) {
        return false;
    }
    return SendPlanned(plan);
}

bool TNimbrelWindow::SendPlanned(const nimbrel::SendPlan& plan) {
    nimbrel::LinkSession* link = Link();
    if (link == nullptr) return false;
    // Read when the send starts, so a change in Preferences applies at once.
    const nimbrel::BackupOptions backup = nimbrel::ReadBackupOptions();
    if (backup.keep) {
        if (const std::string problem = nimbrel::BackupFolderProblem(backup.folder);
            !problem.empty()) {
            Exclaim(problem + "\r\nNothing was sent.", kCommsCaption);
            return false;
        }
    }
    const std::vector<TransferEngine::SendItem> items = plan.EngineItems();

    // The record is completed and written on the transfer's thread, so a
    // history locked by another program never holds up the windows.
    nimbrel::UnitRecord record = nimbrel::SendRecord(Items, SensorCount, FileName, link->Device());
    record.version = Host->LinkVersion();
    const std::string historyPath = nimbrel::ConfiguredHistoryPath();
    LastMessageUi messages(CurrentUi());
    std::string historyProblem;
    nimbrel::Progress progress;
    nimbrel::BackupSendResult kept;
    Outcome outcome = Outcome::Refused;
    {
        const nimbrel::ScopedUi scope(messages);
        outcome = TransferRunner::Run(
            this, *link, QStringLiteral("Send configuration"),
            [&](TransferEngine& engine) {
                const auto start = std::chrono::steady_clock::now();
                Outcome sent = Outcome::Refused;
                if (backup.keep) {
                    sent = nimbrel::SendWithBackup(engine, Items, plan, SensorCount, backup.folder,
                                                   kept);
                    // Only the writes after the backup count; an unchanged
                    // configuration writes none.
                    record.bytesWritten = sent == Outcome::Done
                                              ? static_cast<std::int64_t>(kept.differed)
                                          : kept.backupPath.empty() ? 0
                                                                    : progress.bytes;
                    record.backup = kept.backupPath;
                    record.verified = sent == Outcome::Done;
                } else {
                    sent = engine.SendConfiguration(items);
                    record.bytesWritten = progress.bytes;
                    record.verified = sent == Outcome::Done && engine.Options().readAfterWrite;
                }
                record.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - start)
                                        .count();
                record.outcome = OutcomeName(sent);
                if (sent == Outcome::Refused) {
                    record.message = kept.refusal;
                } else if (sent != Outcome::Done) {
                    record.message = messages.Last();
                }
                historyProblem = AppendToHistory(historyPath, record);
                return sent;
            },
            ItemStatus("Sending"), &progress);
    }
    if (!historyProblem.empty() && !historyProblemTold) pendingHistoryProblem_ = historyProblem;
    // A backup that could not be kept stopped the send before any write.
    if (outcome == Outcome::Refused && !kept.refusal.empty()) Exclaim(kept.refusal, kCommsCaption);
    if (outcome != Outcome::Done) return false;
    sentText_ = backup.keep ? nimbrel::BackupSentText(kept) : "Configuration sent.";
    return true;
}

void TNimbrelWindow::TellHistoryProblem() {
    if (pendingHistoryProblem_.empty()) return;
    const std::string problem = std::move(pendingHistoryProblem_);
    pendingHistoryProblem_.clear();
    if (historyProblemTold) return;
    historyProblemTold = true;
    CurrentUi().MessageBox("The send could not be added to the programming history:\r\n" + problem +
                               "\r\nThe send itself is not affected. Records the history cannot "
                               "take are not reported again until Nimbrel is restarted.",
                           "Programming history", Buttons::Ok, Icon::Exclamation);
}

void TNimbrelWindow::FillCommandList(std::vector<std::string>& names) const {
    for (const auto& item : Items) {
        if (item->GetType() == nimbrel::kTypeUserCommand) names.push_back(item->GetName());
    }
}

void TNimbrelWindow::GetCommand(std::string& text) const {
    for (const auto& item : Items) {
        if (item->GetName() == text) text = item->GetValueText().substr(0, nimbrel::kMaxItemText);
    }
}
