// Runs one nimbrel-cli command. Transmitter commands open the port, wake the
// transmitter, do their work on the transfer engine and put it back to sleep
// with the exit string, the port released in every case.
#pragma once

#include "cli/console.h"
#include "cli/interrupts.h"
#include "cli/options.h"

#include <iosfwd>

namespace nimbrel::cli {

struct Console {
    std::ostream& out; // results
    CliUi& ui;         // messages, on standard error
    ProgressDisplay& progress;
    Interrupts& interrupts;
};

// Runs the parsed command; answers its exit code.
int Run(const Options& options, Console& console);

// What a command line that cannot be used prints: the reason and a hint on
// standard error, and with --json an object on standard output. Answers
// kExitUsage.
int UsageError(const ParseResult& parsed, std::ostream& out, std::ostream& err);

} // namespace nimbrel::cli
