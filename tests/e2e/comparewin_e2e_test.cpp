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

// "Send checked items" with the backup off and on, then the window's Send
// with it on: only the chosen items, and with a backup only changed bytes.
TEST_F(CompareWinTest, SendsWriteOnlyCheckedItemsAndWithABackupOnlyChangedBytes) {
    auto& sim = StartSim(Awake());
    TNimbrelWindow* window = Open(kItems);
    ASSERT_NO_FATAL_FAILURE(Connect());
    Settings::WriteString("BACKUP", "Folder", dir.File("kept"));
    const struct {
        bool checkedOnly;
        bool backup;
        std::string told;
        std::vector<std::string> writes;
    } cases[] = {
        {true,
         false,
         "Configuration sent.",
         {"E001000", "E001100", "E00121C", "E001320", "E001800", "E001900", "E001A38", "E001B40"}},
        {true,
         true,
         "Configuration sent: 3 of 8 bytes differed and were written and verified.",
         {"E001320", "E001A38", "E001B40"}},
        {false,
         true,
         "Configuration sent: 4 of 11 bytes differed and were written and verified.",
         {"E001320", "E00152C", "E001A38", "E001B40"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.told);
        Settings::WriteString("BACKUP", "Keep", c.backup ? "1" : "0");
        HoldOtherValues(sim);
        const std::size_t from = sim.Commands().size();
        ui.Clear();
        if (c.checkedOnly) {
            CompareAndClick(&CompareDialog::SendButton);
        } else {
            client.ExecuteCommand(cmd::kSendConfig);
        }
        EXPECT_EQ(Writes(from), c.writes);
        const HistoryRecord record = Records().front();
        EXPECT_EQ(record.bytesWritten, static_cast<std::int64_t>(c.writes.size()));
        ASSERT_EQ(ui.Texts().size(), 1u);
        if (!c.backup) {
            EXPECT_EQ(ui.Texts()[0], c.told);
            EXPECT_EQ(record.backup, "");
            continue;
        }
        EXPECT_EQ(ui.Texts()[0], c.told + "\r\nThe transmitter's previous values are kept in " +
                                     record.backup + ".");
        EXPECT_NE(TempDir::ReadFile(record.backup).find(",7201,"), std::string::npos);
    }
    EXPECT_FALSE(window->DataModified);
}

} // namespace
} // namespace nimbrel::test
