// Nimbrel: sets up ARGOS transmitters over a serial cable.
//   nimbrel                               the windowed program (other arguments are ignored)
//   nimbrel --print-to-pdf OUT.pdf FILE.cfg   writes the printout of FILE.cfg to OUT.pdf
//   nimbrel --help, nimbrel --version     answered without Qt (no display needed)
#include "app/nimbrelapp.h"
#include "configwin/printout.h"
#include "platform/stderrui.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kPrintToPdf = "--print-to-pdf";

// Exit statuses of the command-line export.
constexpr int kExported = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

// The export reports every failure itself; Qt's own diagnostics would only
// bury the reason.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

int PrintToPdf(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr,
                     "Usage: nimbrel %s OUT.pdf FILE.cfg\n"
                     "Writes the printed listing of the configuration FILE.cfg to the "
                     "PDF file OUT.pdf.\n"
                     "Without %s, nimbrel starts its window.\n",
                     kPrintToPdf, kPrintToPdf);
        return kUsage;
    }
    // No window is shown: a display is not needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietQtMessages);
    // Qt sees only the program's name, never the file names as its options.
    int qtArgc = 1;
    QGuiApplication qapp(qtArgc, argv);
    nimbrel::StderrUi ui("nimbrel");
    const nimbrel::ScopedUi scope(ui);
    return nimbrel::PrintConfigurationToPdf(argv[3], argv[2]) ? kExported : kFailed;
}

constexpr const char* kHelpText =
    "Usage: nimbrel\n"
    "       nimbrel --print-to-pdf OUT.pdf FILE.cfg\n"
    "Sets up satellite transmitters (PTTs) over a serial cable: edits their\n"
    "configuration files, wakes a transmitter and sends, reads or compares its\n"
    "configuration.\n"
    "\n"
    "  (no arguments)                   start the window\n"
    "  --print-to-pdf OUT.pdf FILE.cfg  write the printed listing of FILE.cfg to\n"
    "                                   OUT.pdf (no display needed)\n"
    "  --help                           this text\n"
    "  --version                        the program's version\n"
    "\n"
    "Settings: Nimbrel.ini in the folder nimbrel starts in, else\n"
    "~/.config/Nimbrel/Nimbrel.ini.\n"
    "Without a window: nimbrel-cli(1); a simulated transmitter: nimbrel-sim(1).\n";

} // namespace

int main(int argc, char** argv) {
    // Before Qt, which would need a display.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelpText, stdout);
        return std::fflush(stdout) == 0 ? kExported : kFailed;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("nimbrel %s\n", NIMBREL_VERSION);
        return std::fflush(stdout) == 0 ? kExported : kFailed;
    }
    if (argc > 1 && std::strcmp(argv[1], kPrintToPdf) == 0) return PrintToPdf(argc, argv);
    QApplication qapp(argc, argv);
    TNimbrelApp app;
    return app.Run();
}
