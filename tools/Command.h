// Subcommands of the quvo tool register themselves here, one file per subcommand.
#pragma once

#include <string>
#include <vector>

namespace QVO::Tools {

// argv[0] of a subcommand is its own name ("registry", "sim", ...).
using CommandFn = int (*)(int argc, char** argv);

struct Command {
    const char* name;
    const char* summary;  // one line for `quvo --help`
    CommandFn run;
};

// The registered subcommands, sorted by name. Not thread-safe; filled before main runs.
std::vector<Command>& Commands();

// Registers a subcommand at static-initialisation time:
//   static QVO::Tools::CommandRegistration reg{"registry", "import, export and show", &RunRegistry};
struct CommandRegistration {
    CommandRegistration(const char* name, const char* summary, CommandFn run);
};

// Exit codes shared by every subcommand.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the operation failed
constexpr int kExitUsage = 2;    // bad command line

}  // namespace QVO::Tools
