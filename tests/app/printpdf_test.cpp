// The command-line export "nimbrel --print-to-pdf OUT.pdf FILE.cfg", run as a
// program without a display, and the standard-error Ui that reports for it.
#include "platform/stderrui.h"
#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

namespace nimbrel::test {
namespace {

struct Outcome {
    int status = -1;
    std::string err;
};

// Runs nimbrel with `args` (already quoted) as from a terminal without a
// display or a chosen Qt platform.
Outcome Nimbrel(const TempDir& dir, const std::string& args) {
    const std::string errFile = dir.File("stderr.txt");
    const std::string command = "env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY '" +
                                std::string(NIMBREL_PATH) + "' " + args + " 2> '" + errFile +
                                "' > /dev/null";
    const int raw = std::system(command.c_str());
    Outcome run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = TempDir::ReadFile(errFile);
    return run;
}

std::string Quoted(const std::string& s) {
    return "'" + s + "'";
}

std::string Items(int count) {
    std::string text = std::to_string(count) + " 1\r\n";
    for (int i = 0; i < count; ++i)
        text += "4,0," + std::to_string(i) + ",,Item " + std::to_string(i) + ",1," +
                std::to_string(i) + ",0,1000,0,4,0," + std::to_string(4 * i) + "\r\n";
    return text;
}

int PdfPages(const std::string& pdf) {
    static const std::regex page(R"(/Type\s*/Page[^s])");
    return static_cast<int>(
        std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()));
}

TEST(PrintToPdf, WritesOnePagePerFortyFiveItemsOrSaysWhyNot) {
    TempDir dir;
    const std::string cfg = dir.Write("probe.cfg", Items(91));
    const std::string empty = dir.Write("empty.cfg", "0 0\r\n");
    const std::string missing = dir.File("missing.cfg");
    const std::string out = dir.File("out.pdf");
    const std::string badOut = dir.File("no/such/out.pdf");
    const struct {
        const char* name;
        std::string args;
        int status;
        std::string message; // on standard error; empty: none from nimbrel
    } cases[] = {
        {"written", Quoted(out) + " " + Quoted(cfg), 0, ""},
        {"missing input", Quoted(out) + " " + Quoted(missing), 1,
         "nimbrel: Cannot open the configuration file " + missing + ".\n"},
        {"unwritable output", Quoted(badOut) + " " + Quoted(cfg), 1,
         "nimbrel: Cannot write the file " + badOut},
        {"output is the input", Quoted(cfg) + " " + Quoted(cfg), 1,
         "nimbrel: Cannot write the file " + cfg + ": it is the configuration file.\n"},
        {"no items", Quoted(out) + " " + Quoted(empty), 1,
         "nimbrel: The configuration file " + empty + " holds no items; nothing to print.\n"},
        {"no file", Quoted(out), 2, "Usage: nimbrel --print-to-pdf OUT.pdf FILE.cfg\n"},
        {"extra argument", Quoted(out) + " " + Quoted(cfg) + " x", 2, "Usage: nimbrel"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(out);
        const Outcome run = Nimbrel(dir, "--print-to-pdf " + c.args);
        EXPECT_EQ(run.status, c.status);
        if (c.message.empty()) {
            EXPECT_EQ(run.err.find("nimbrel"), std::string::npos) << run.err;
        } else {
            EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        }
        const std::string pdf = TempDir::ReadFile(out);
        EXPECT_EQ(pdf.substr(0, 4), c.status == 0 ? "%PDF" : "");
        EXPECT_EQ(PdfPages(pdf), c.status == 0 ? 3 : 0);
        EXPECT_EQ(TempDir::ReadFile(cfg), Items(91));
    }
}

TEST(StderrUi, WritesEachMessageOnceAndGivesTheSafeAnswer) {
    const struct {
        const char* program;
        std::string text;
        Buttons buttons;
        std::string written;
        Answer answer;
    } cases[] = {
        {"", "Error", Buttons::Ok, "Error\n", Answer::Ok},
        {"p", "one\r\ntwo\n\rthree\rfour\n", Buttons::YesNo, "p: one\np: two\np: three\np: four\n",
         Answer::No},
        {"p", "Save?", Buttons::YesNoCancel, "p: Save?\n", Answer::Cancel},
        {"p", "Go on?", Buttons::OkCancel, "p: Go on?\n", Answer::Cancel},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::ostringstream out;
        StderrUi ui(c.program, out);
        EXPECT_EQ(ui.MessageBox(c.text, "Caption", c.buttons, Icon::Exclamation), c.answer);
        EXPECT_EQ(out.str(), c.written);
    }
    std::ostringstream out;
    StderrUi ui("p", out);
    EXPECT_EQ(ui.InputText("c", "p", "initial", 10), std::nullopt);
    EXPECT_EQ(ui.ChooseFile(FileRequest{}), std::nullopt);
    ui.ServeEvents(1);
    EXPECT_EQ(out.str(), "");
}

} // namespace
} // namespace nimbrel::test
