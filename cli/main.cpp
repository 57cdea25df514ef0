// nimbrel-cli: sets up a transmitter from the command line. See --help.
#include "cli/console.h"
#include "cli/interrupts.h"
#include "cli/options.h"
#include "cli/runner.h"

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int TerminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

} // namespace

int main(int argc, char** argv) {
    using namespace nimbrel::cli;
    // A closed output pipe ends writes with an error, not the program.
    std::signal(SIGPIPE, SIG_IGN);
    // Before any other thread starts.
    Interrupts interrupts;

    const ParseResult parsed = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    const Options& options = parsed.options;
    if (options.help) {
        std::cout << UsageText();
        return kExitOk;
    }
    if (options.version) {
        std::cout << kProgramName << " " << NIMBREL_VERSION << '\n';
        return kExitOk;
    }
    if (!parsed.error.empty()) return UsageError(parsed, std::cout, std::cerr);

    const ProgressDisplay::Mode mode = options.quiet ? ProgressDisplay::Mode::Off
                                       : ::isatty(STDERR_FILENO) != 0
                                           ? ProgressDisplay::Mode::Bar
                                           : ProgressDisplay::Mode::Lines;
    ProgressDisplay progress(std::cerr, mode, TerminalWidth());
    CliUi ui(std::cerr, progress);
    const nimbrel::ScopedUi scope(ui);
    Console console{std::cout, ui, progress, interrupts};
    const int code = Run(options, console);
    std::cout.flush();
    return code;
}
