// The comparison table's two actions and the window's backup send, end to
// end: the MDI client's commands, the compare dialog driven as the user
// would, the serial link over a pseudo-terminal and the simulated
// transmitter, whose log of commands shows every address written.
#include "configwin/comparedialog.h"
#include "fleet/history.h"
#include "platform/commandids.h"
#include "tests/app/whenmodal.h"
#include "tests/configwin/commsfixture.h"

#include <QPushButton>
#include <QTableWidget>

#include <filesystem>

namespace nimbrel::test {
namespace {

namespace cmd = nimbrel::cmd;

// Every item differs from the transmitter but "Count".
class CompareWinTest : public CommsTest {
protected:
    const std::vector<ItemSpec> kItems = {{kTypeLong, "7200", "On", 4, 0x10},
                                          {kTypeInt, "300", "Rate", 2, 0x14},
                                          {kTypeChar, "5", "Count", 1, 0x16},
                                          {kTypeLong, "14400", "Off", 4, 0x18}};

    void HoldOtherValues(sim::Transmitter& sim) {
        const std::vector<std::pair<std::uint16_t, std::uint8_t>> memory = {
            {0x10, 0x00}, {0x11, 0x00}, {0x12, 0x1C}, {0x13, 0x21},  // 7201
            {0x14, 0x01}, {0x15, 0x2D},                              // 301
            {0x16, 5},                                               // 5
            {0x18, 0x00}, {0x19, 0x00}, {0x1A, 0x00}, {0x1B, 0x09}}; // 9
        for (const auto& [address, byte] : memory)
            sim.Poke(address, byte);
    }

    // Compares, unchecks "Rate" in the table and clicks `button`.
    void CompareAndClick(QPushButton* (CompareDialog::*button)() const) {
        WhenModal([button](QWidget* modal) {
            auto* dialog = qobject_cast<CompareDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            ASSERT_EQ(dialog->ShownItems(), (std::vector<std::size_t>{0, 1, 3}));
            dialog->Table()->item(1, CompareDialog::kName)->setCheckState(Qt::Unchecked);
            EXPECT_EQ(dialog->CheckedItems(), (std::vector<std::size_t>{0, 3}));
            (dialog->*button)()->click();
        });
        client.ExecuteCommand(cmd::kCompare);
    }

    std::vector<std::string> Writes(std::size_t from) const {
        const std::vector<std::string> all = peer->sim.Commands();
        std::vector<std::string> writes;
        for (std::size_t k = from; k < all.size(); ++k) {
            if (all[k][0] == 'E') writes.push_back(all[k]);
        }
        return writes;
    }

    std::vector<HistoryRecord> Records() const {
        History history;
        if (!history.Open(HistoryPath())) return {};
        return history.Query({}).value_or(std::vector<HistoryRecord>{});
    }
};

TEST_F(CompareWinTest, TakeTransmitterValuesChangesOnlyTheCheckedItems) {
    auto& sim = StartSim(Awake());
    HoldOtherValues(sim);
    TNimbrelWindow* window = Open(kItems);
    ASSERT_NO_FATAL_FAILURE(Connect());
    ui.Clear();
    CompareAndClick(&CompareDialog::TakeButton);
    EXPECT_TRUE(ui.Texts().empty());
    EXPECT_EQ(Value(0), "7201");
    EXPECT_EQ(Value(1), "300") << "unchecked";
    EXPECT_EQ(Value(2), "5");
    EXPECT_EQ(Value(3), "9");
    EXPECT_TRUE(window->DataModified);
    ASSERT_NE(window->GetEditPointer(0), nullptr);
    EXPECT_EQ(window->GetEditPointer(0)->text(), "7201") << "the row shows the new value";
    EXPECT_TRUE(Writes(0).empty());
}

TEST_F(CompareWinTest, SendCheckedItemsWritesOnlyThoseItemsWithOrWithoutBackup) {
    auto& sim = StartSim(Awake());
    TNimbrelWindow* window = Open(kItems);
    ASSERT_NO_FATAL_FAILURE(Connect());
    const std::string kept = dir.File("kept");
    Settings::WriteString("BACKUP", "Folder", kept);
    const struct {
        bool backup;
        std::string told;
        std::vector<std::string> writes;
    } cases[] = {
        {false,
         "Configuration sent.",
         {"E001000", "E001100", "E00121C", "E001320", "E001800", "E001900", "E001A38", "E001B40"}},
        {true,
         "Configuration sent: 3 of 8 bytes differed and were written and verified.",
         {"E001320", "E001A38", "E001B40"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.backup);
        Settings::WriteString("BACKUP", "Keep", c.backup ? "1" : "0");
        HoldOtherValues(sim);
        const std::size_t from = sim.Commands().size();
        ui.Clear();
        CompareAndClick(&CompareDialog::SendButton);
        ASSERT_EQ(ui.Texts().size(), 1u);
        EXPECT_EQ(ui.Texts()[0].substr(0, c.told.size()), c.told);
        EXPECT_EQ(Writes(from), c.writes) << "nothing of \"Rate\"";
        EXPECT_EQ(sim.Peek(0x15), 0x2D);
        EXPECT_FALSE(window->DataModified);
        EXPECT_EQ(Records().front().backup.empty(), !c.backup);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(kept), {}), 1);
}

TEST_F(CompareWinTest, WindowSendWithBackupKeepsTheFileAndWritesOnlyChangedBytes) {
    auto& sim = StartSim(Awake());
    Open({{kTypePttId, "12345", "Id", 4, 0x50}, {kTypeLong, "7200", "On", 4, 0x10}});
    ASSERT_NO_FATAL_FAILURE(Connect());
    client.ExecuteCommand(cmd::kSendConfig); // backup off: a plain send
    sim.Poke(0x13, 0x21);                    // 7201

    const std::string kept = dir.File("kept");
    Settings::WriteString("BACKUP", "Keep", "1");
    Settings::WriteString("BACKUP", "Folder", kept);
    const std::size_t from = sim.Commands().size();
    ui.Clear();
    client.ExecuteCommand(cmd::kSendConfig);
    EXPECT_EQ(Writes(from), std::vector<std::string>{"E001320"});
    EXPECT_EQ(sim.Peek(0x13), 0x20);

    const auto records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].backup, "");
    EXPECT_EQ(records[1].bytesWritten, 8);
    const std::string backup = records[0].backup;
    EXPECT_EQ(backup.substr(0, kept.size() + 7), kept + "/12345-");
    EXPECT_EQ(records[0].bytesWritten, 1);
    EXPECT_TRUE(records[0].verified);
    EXPECT_EQ(ui.Texts(),
              std::vector<std::string>{"Configuration sent: 1 of 8 bytes differed and were "
                                       "written and verified.\r\nThe transmitter's previous "
                                       "values are kept in " +
                                       backup + "."});
    EXPECT_NE(TempDir::ReadFile(backup).find(",7201,"), std::string::npos);
}

} // namespace
} // namespace nimbrel::test
