// Entry point of the quvo tool: dispatches to the registered subcommands.
#include "tools/Command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace QVO::Tools {

std::vector<Command>& Commands() {
    static std::vector<Command> commands;
    return commands;
}

CommandRegistration::CommandRegistration(const char* name, const char* summary, CommandFn run) {
    auto& list = Commands();
    list.push_back({name, summary, run});
    std::sort(list.begin(), list.end(),
              [](const Command& a, const Command& b) { return std::strcmp(a.name, b.name) < 0; });
}

}  // namespace QVO::Tools

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: quvo COMMAND [ARGS...]\n"
                 "The command line of the QUVO OPOS printer system: devices, status, registration,\n"
                 "registry, virtual printer, demo.\n\n"
                 "Commands:\n");
    for (const auto& c : QVO::Tools::Commands()) std::fprintf(out, "  %-12s %s\n", c.name, c.summary);
    std::fprintf(out, "\nRun 'quvo COMMAND --help' for the options of a command.\n");
}

}  // namespace

int main(int argc, char** argv) {
    using namespace QVO::Tools;
    if (argc < 2) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        PrintUsage(stdout);
        return kExitOk;
    }
    for (const auto& c : Commands())
        if (!std::strcmp(c.name, argv[1])) return c.run(argc - 1, argv + 1);
    std::fprintf(stderr, "quvo: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return kExitUsage;
}
