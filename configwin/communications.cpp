// The configuration window's transmitter commands: start (the wake-up
// handshake), stop (the exit string), the software version, reading the
// configuration out of the transmitter's memory and sending it in, and the
// user command list. Each runs on the transfer engine through the host's
// link session, with progress and Cancel (TransferRunner); the window only
// prepares what is sent and applies what is read.
#include "configwin/nimbrelwindow.h"

#include "config/checks.h"
#include "configwin/confighost.h"
#include "engine/transferengine.h"
#include "link/linksession.h"
#include "link/protocol.h"
#include "terminal/transferrunner.h"
#include "platform/settings.h"
#include "platform/settingskeys.h"
#include "platform/ui.h"

#include <QMdiSubWindow>

#include <cstdint>
#include <optional>
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

// The exit string is sent as this many characters.
constexpr std::size_t kExitLength = 7;
// Lists in messages stop after this many lines.
constexpr std::size_t kListedLines = 20;
constexpr const char* kCompareCaption = "Compare with transmitter";

std::string AndMore(std::int64_t more, const char* what) {
    return more > 0 ? "\r\nand " + std::to_string(more) + " more " + what : std::string();
}

void Exclaim(const std::string& text, const std::string& caption) {
    CurrentUi().MessageBox(text, caption, Buttons::Ok, Icon::Exclamation);
}

TransferRunner::StatusFn ItemStatus(const char* what) {
    return [what](const nimbrel::Progress& p) {
        return std::string(what) + " configuration: item " + std::to_string(p.step) + " of " +
               std::to_string(p.steps);
    };
}

} // namespace

nimbrel::LinkSession* TNimbrelWindow::Link() const {
    return MDIClient != nullptr ? &MDIClient->Link() : nullptr;
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
    if (link == nullptr || !MDIClient->TermWindowOpen()) return false;
    if (!enable) {
        link->Close();
        CommEnabled = false;
        return true;
    }
    // A port closed or lost since is opened afresh; a failure has its one message.
    if (!link->IsOpen()) link->Open();
    CommEnabled = link->IsOpen();
    return CommEnabled;
}

bool TNimbrelWindow::CmStart() {
    nimbrel::LinkSession* link = Link();
    if (link == nullptr) return false;
    // A terminal window opened now opens the port in its set-up, which
    // reports a failure; one that was open already gets another try here.
    const bool terminalWasOpen = MDIClient->TermWindowOpen();
    MDIClient->TermOpen(true);
    if (terminalWasOpen) {
        EnableCommPort(true);
    } else {
        CommEnabled = link->IsOpen();
    }
    if (!CommEnabled) return false;

    const Outcome outcome =
        TransferRunner::Run(this, *link, QStringLiteral("Start"), [](TransferEngine& engine) {
            return engine.Start(nimbrel::StartWaitMs());
        });
    if (outcome != Outcome::Done) return false;
    link->SetStarted(true);
    CurrentUi().MessageBox(nimbrel::kStartedText, "", Buttons::Ok, Icon::None);
    return true;
}

void TNimbrelWindow::SendExitString() {
    nimbrel::LinkSession* link = Link();
    if (link == nullptr || !link->IsOpen() || link->Busy()) return;
    std::string exit = nimbrel::Settings::Get(nimbrel::keys::kStopAbort);
    // A shorter string is sent as it is, with nothing after it.
    if (exit.size() > kExitLength) exit.resize(kExitLength);
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
    return TransferRunner::Run(this, *link, QStringLiteral("Software version"),
                               [](TransferEngine& engine) { return engine.QueryVersion(); }) ==
           Outcome::Done;
}

std::vector<TransferEngine::ReadItem> TNimbrelWindow::ReadItems(bool& skipped) const {
    std::vector<TransferEngine::ReadItem> items;
    skipped = false;
    for (const auto& item : Items) {
        TransferEngine::ReadItem r{item->GetName(), item->GetAddress(), item->GetSize(),
                                   item->GetType(), item->GetHex()};
        skipped = skipped || !TransferEngine::ReadProblem(r).empty();
        items.push_back(std::move(r));
    }
    return items;
}

bool TNimbrelWindow::ReadConfig() {
    nimbrel::LinkSession* link = Link();
    if (link == nullptr || !link->IsOpen()) {
        Exclaim(kStartFirst, kCommsCaption);
        return false;
    }
    // The windows take no input while the transfer runs, so the items stay
    // as they are until every value read has been applied.
    bool skipped = false;
    const std::vector<TransferEngine::ReadItem> items = ReadItems(skipped);
    std::vector<DisplayLine*> targets;
    for (const auto& item : Items)
        targets.push_back(item.get());
    const Outcome outcome = TransferRunner::Run(
        this, *link, QStringLiteral("Read configuration"),
        [&items, &targets](TransferEngine& engine) {
            return engine.ReadConfiguration(
                items, [&targets](std::size_t index, const std::string& value) {
                    DisplayLine* item = targets[index];
                    TransferRunner::OnUiThread([item, value] { item->SetValue(value); });
                });
        },
        ItemStatus("Reading"));
    client_->update();
    return outcome == Outcome::Done && !skipped;
}

bool TNimbrelWindow::CmCompare() {
    nimbrel::LinkSession* link = Link();
    if (link == nullptr || !link->IsOpen()) {
        Exclaim(kStartFirst, kCommsCaption);
        return false;
    }
    bool skipped = false;
    const std::vector<TransferEngine::ReadItem> items = ReadItems(skipped);
    // What the transmitter holds, item by item; the configuration is not touched.
    std::vector<std::optional<std::string>> read(items.size());
    const Outcome outcome = TransferRunner::Run(
        this, *link, QStringLiteral("Compare with transmitter"),
        [&items, &read](TransferEngine& engine) {
            return engine.ReadConfiguration(
                items, [&read](std::size_t index, const std::string& value) {
                    read[index] = value; // the transfer's thread; read after it ends
                });
        },
        ItemStatus("Comparing"));
    if (outcome != Outcome::Done) return false;

    const std::vector<nimbrel::Difference> differences = nimbrel::CompareValues(Items, read);
    if (differences.empty()) {
        CurrentUi().MessageBox("The transmitter holds the same values as the configuration.",
                               kCompareCaption, Buttons::Ok, Icon::Information);
        return true;
    }
    std::string text = "These items differ from the transmitter:";
    for (std::size_t i = 0; i < differences.size() && i < kListedLines; ++i) {
        const nimbrel::Difference& d = differences[i];
        text += "\r\n" + nimbrel::ItemDesignation(*Items[d.item], d.sensor) + ": file " +
                d.fileValue + ", transmitter " + d.pttValue;
    }
    text += AndMore(static_cast<std::int64_t>(differences.size()) -
                        static_cast<std::int64_t>(kListedLines),
                    "items");
    CurrentUi().MessageBox(text, kCompareCaption, Buttons::Ok, Icon::Exclamation);
    return false;
}

bool TNimbrelWindow::ConfirmOverlaps() {
    std::int64_t total = 0;
    const std::vector<nimbrel::Overlap> overlaps =
        nimbrel::FindOverlaps(Items, kListedLines, &total);
    if (overlaps.empty()) return true;
    const std::vector<std::string> sensors = nimbrel::SensorNames(Items);
    std::string text = "These items write the same EEPROM bytes, so in the transmitter the later "
                       "one overwrites the earlier:";
    for (const nimbrel::Overlap& o : overlaps) {
        text += "\r\n" + nimbrel::ItemDesignation(*Items[o.first], sensors[o.first]) + " and " +
                nimbrel::ItemDesignation(*Items[o.second], sensors[o.second]);
    }
    text += AndMore(total - static_cast<std::int64_t>(overlaps.size()), "pairs");
    text += "\r\nThe ready-made sensors all sit at address 0: give each item its own address "
            "with Modify Sensor before sending.\r\nSend anyway?";
    return CurrentUi().MessageBox(text, "Overlapping items", Buttons::YesNo, Icon::Exclamation) ==
           nimbrel::Answer::Yes;
}

bool TNimbrelWindow::CmSendfile() {
    nimbrel::LinkSession* link = Link();
    if (link == nullptr || !MDIClient->TermWindowOpen() || !link->IsOpen()) CommEnabled = false;
    if (!CommEnabled) {
        Exclaim(kStartFirst, kCommsCaption);
        return false;
    }

    // Nothing is sent unless every item can be sent whole.
    std::vector<TransferEngine::SendItem> items;
    for (const auto& item : Items) {
        if (item->GetType() == nimbrel::kTypeUserCommand) continue;
        std::string problem;
        if (!item->CheckPttValue(problem)) {
            Exclaim(problem + "\r\nNothing was sent.", kCommsCaption);
            return false;
        }
        items.push_back({item->GetName(), item->GetAddress(), item->GetPttValue()});
    }
    if (!ConfirmOverlaps()) return false;
    return TransferRunner::Run(
               this, *link, QStringLiteral("Send configuration"),
               [&items](TransferEngine& engine) { return engine.SendConfiguration(items); },
               ItemStatus("Sending")) == Outcome::Done;
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
