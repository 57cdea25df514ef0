// The History dialog over a temporary history database: what it lists, in
// which order, and how each filter narrows it.
#include "configwin/historydialog.h"
#include "fleet/history.h"
#include "tests/support/tempdir.h"

#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace nimbrel::test {
namespace {

HistoryRecord Record(const std::string& day, std::int32_t id, const std::string& port,
                     const std::string& outcome, const std::string& message = "") {
    HistoryRecord r;
    r.time = "2026-12-" + day + "T10:00:00Z";
    r.pttId = id;
    r.port = port;
    r.portById = port == "/dev/ttyUSB0" ? "/dev/serial/by-id/usb-Adapter_A" : "";
    r.configFile = "/tmp/tags.cfg";
    r.outcome = outcome;
    r.verified = outcome == kOutcomeDone;
    r.message = message;
    r.source = "window";
    return r;
}

class HistoryDialogTest : public ::testing::Test {
protected:

    void Fill() {
        History history;
        ASSERT_TRUE(history.Open(path));
        for (const auto& r :
             {Record("01", 100, "/dev/ttyUSB0", kOutcomeDone),
              Record("05", 101, "/dev/ttyUSB1", kOutcomeMismatch, "Sent 05\r\ngot 04"),
              Record("08", 100, "/dev/ttyUSB1", kOutcomeDone)})
            ASSERT_TRUE(history.Append(r));
    }

    // The day of each row's time, top to bottom.
    static std::vector<std::string> Days(const HistoryDialog& dialog) {
        std::vector<std::string> days;
        for (int row = 0; row < dialog.Table()->rowCount(); ++row)
            days.push_back(dialog.Table()->item(row, 0)->text().mid(8, 2).toStdString());
        return days;
    }

    TempDir dir;
    std::string path = dir.File("history.sqlite");
};

TEST_F(HistoryDialogTest, WithoutADatabaseItSaysSoAndCreatesNone) {
    HistoryDialog dialog(nullptr, path);
    EXPECT_EQ(dialog.Table()->rowCount(), 0);
    EXPECT_TRUE(dialog.Note()->text().startsWith("No programming history yet."))
        << dialog.Note()->text().toStdString();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(HistoryDialogTest, ListsNewestFirstAndNarrowsByEachFilter) {
    ASSERT_NO_FATAL_FAILURE(Fill());
    HistoryDialog dialog(nullptr, path);
    ASSERT_EQ(Days(dialog), (std::vector<std::string>{"08", "05", "01"}));
    EXPECT_EQ(dialog.Note()->text(), "3 records.");
    EXPECT_EQ(dialog.Table()->item(1, 9)->text(), "Sent 05 got 04") << "one line a message";
    EXPECT_EQ(dialog.Table()->item(2, 3)->text(), "/dev/serial/by-id/usb-Adapter_A");

    struct Case {
        const char* id;
        const char* port;
        const char* since;
        const char* search;
        std::vector<std::string> days;
        const char* note; // "" when rows are expected
    };
    const Case cases[] = {
        {"100", "", "", "", {"08", "01"}, ""},
        {"", "/dev/ttyUSB1", "", "", {"08", "05"}, ""},
        {"", "/dev/serial/by-id/usb-Adapter_A", "", "", {"01"}, ""},
        {"", "", "2026-12-05", "", {"08", "05"}, ""},
        {"100", "", "2026-12-02", "", {"08"}, ""},
        {"", "", "", "MISMATCH", {"05"}, ""},
        {"", "", "", "adapter_a", {"01"}, ""},
        {"999", "", "", "", {}, "No record matches the filters."},
        {"12a", "", "", "", {}, "A PTT ID is a whole number."},
        {"", "", "last week", "", {}, "Not a date or time"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.id) + "|" + c.port + "|" + c.since + "|" + c.search);
        dialog.IdFilter()->setText(c.id);
        dialog.PortFilter()->setText(c.port);
        dialog.SinceFilter()->setText(c.since);
        dialog.Search()->setText(c.search);
        dialog.Refresh();
        EXPECT_EQ(Days(dialog), c.days);
        if (*c.note != '\0') {
            EXPECT_TRUE(dialog.Note()->text().startsWith(c.note))
                << dialog.Note()->text().toStdString();
        }
    }
}

} // namespace
} // namespace nimbrel::test
