// PTT Communications > Program a fleet against simulated transmitters: the
// dialog's refusals, a run over two ports shown row by row, and closing it
// while a run goes on.
#include "configwin/fleetdialog.h"
#include "fleet/history.h"
#include "fleet/idsource.h"
#include "tests/configwin/commsfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <set>

namespace nimbrel::test {
namespace {

constexpr std::uint16_t kIdAddress = 0x100;

class FleetWindowTest : public CommsTest {
protected:
    FleetWindowTest() {
        Settings::WriteString("COM", "baud", "115200");
        for (const auto& [key, ms] : {std::pair{"StartWaitMs", "1000"},
                                      {"ResponseWaitMs", "1000"},
                                      {"ReadByteWaitMs", "1000"},
                                      {"VersionWaitMs", "300"},
                                      {"SettleMs", "25"},
                                      {"AwakeWaitMs", "200"}})
            Settings::WriteString("TIMING", key, ms);
        Open({{kTypeLong, "60", "Rate", 4, 0x10}, {kTypePttId, "1", "Id", 4, kIdAddress}});
    }

    sim::Transmitter& AddUnit(sim::SimOptions o = {}) {
        o.wakeIntervalMs = 20;
        o.baud = 115200;
        o.persist = true;
        units.push_back(std::make_unique<SimThread>(o));
        return units.back()->sim;
    }

    std::unique_ptr<FleetDialog> Dialog() {
        TNimbrelWindow* window = client.ConfigWindow();
        auto dialog =
            std::make_unique<FleetDialog>(nullptr, window->Items, window->SensorCount,
                                          window->GetFileName(), [] { return QStringList(); });
        for (const auto& unit : units)
            dialog->AddPort(QString::fromStdString(unit->pty.Slave()));
        dialog->LogFile()->setText(QString::fromStdString(dir.File("fleet.jsonl")));
        return dialog;
    }

    static std::int32_t IdHeld(const sim::Transmitter& sim) {
        std::uint32_t word = 0;
        for (std::uint16_t k = 0; k < 4; ++k)
            word = word << 8 | sim.Peek(static_cast<std::uint16_t>(kIdAddress + k));
        for (std::int32_t id : {200, 201}) {
            if (DisplayLine::GetPttId(id) == word) return id;
        }
        return -1;
    }

    std::vector<std::unique_ptr<SimThread>> units;
};

TEST_F(FleetWindowTest, BadIdsAreRefusedWithTheirOneMessageBeforeAnythingStarts) {
    AddUnit();
    auto dialog = Dialog();
    std::string rangeError;
    IdsFromRange("300-200", client.ConfigWindow()->Items, rangeError);
    dialog->Range()->setText("300-200");
    EXPECT_FALSE(dialog->Start());
    dialog->ListChoice()->setChecked(true);
    dialog->ListFile()->setText(QString::fromStdString(dir.File("missing.txt")));
    EXPECT_FALSE(dialog->Start());

    const auto texts = ui.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], rangeError);
    EXPECT_EQ(texts[1].rfind("The ID list " + dir.File("missing.txt") + " cannot be read", 0), 0u)
        << texts[1];
    EXPECT_EQ(dialog->Units()->rowCount(), 0);
    EXPECT_FALSE(dialog->Running());
    EXPECT_TRUE(units[0]->sim.Commands().empty());
}

TEST_F(FleetWindowTest, TwoUnitsAreProgrammedEachWithItsIdAndShownDone) {
    AddUnit();
    AddUnit();
    auto dialog = Dialog();
    dialog->Range()->setText("200-201");
    ASSERT_TRUE(dialog->Start());
    EXPECT_FALSE(dialog->StartButton()->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->Running(); }, 20000));

    std::set<std::int32_t> shown;
    ASSERT_EQ(dialog->Units()->rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(dialog->Units()->item(row, 1)->text(), "done");
        shown.insert(dialog->Units()->item(row, 2)->text().toInt());
    }
    EXPECT_EQ(shown, (std::set<std::int32_t>{200, 201}));
    EXPECT_EQ(dialog->Records()->rowCount(), 2);
    EXPECT_TRUE(dialog->Summary()->text().startsWith("2 programmed, 0 failed."))
        << dialog->Summary()->text().toStdString();
    EXPECT_EQ((std::set<std::int32_t>{IdHeld(units[0]->sim), IdHeld(units[1]->sim)}),
              (std::set<std::int32_t>{200, 201}));
    EXPECT_EQ(ReadLog(dir.Read("fleet.jsonl")).size(), 2u);
    History history;
    ASSERT_TRUE(history.Open(HistoryPath()));
    EXPECT_EQ(history.Query({})->size(), 2u);
    EXPECT_TRUE(dialog->StartButton()->isEnabled());
}

TEST_F(FleetWindowTest, ClosingDuringARunAsksThenCancelsAndClosesOnceItHasEnded) {
    Settings::WriteString("TIMING", "StartWaitMs", "20000");
    Settings::WriteString("TIMING", "AwakeWaitMs", "20000");
    sim::SimOptions silent;
    silent.neverWake = true;
    AddUnit(silent);
    auto dialog = Dialog();
    dialog->Range()->setText("200-201");
    dialog->show();
    ASSERT_TRUE(dialog->Start());

    ui.answers = {Answer::No, Answer::Yes};
    dialog->reject();
    EXPECT_TRUE(dialog->isVisible()) << "No keeps the run going";
    dialog->reject();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->Running(); }, 3000));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(ui.Texts(), std::vector<std::string>(
                              2, "A fleet run is going on.\r\nCancel it and close the window?"));
}

} // namespace
} // namespace nimbrel::test
