// vtoken: creates, plugs, unplugs, inspects and removes the virtual USB tokens that the PKCS#11 module serves.

#include "vtoken/CdromDump.h"
#include "vtoken/CommandLine.h"
#include "vtoken/FingerCommand.h"
#include "vtoken/Store.h"
#include "vtoken/TokenCommands.h"
#include "vtoken/UnblockResponseCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>

using namespace vtoken;

namespace {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

constexpr std::string_view MainHelp = R"(Usage: vtoken COMMAND [ARGUMENTS]

Creates and manages the virtual USB tokens kept in $VTOKEN_HOME/vtoken.db, else ~/.local/share/vtoken/vtoken.db,
the store the PKCS#11 module serves them from.

Commands:
  create [OPTIONS]                   create a token and print its serial
  list                               one line per token: serial, plugged or unplugged, label, sensor
  show SERIAL                        everything about a token, as "key: value" lines
  plug SERIAL                        plug a token in
  unplug SERIAL                      pull a token out
  remove SERIAL                      delete a token with its objects and CD-ROM content
  set SERIAL OPTIONS                 force a token's state, for tests
  cdrom dump SERIAL [--output FILE]  write a token's CD-ROM partition out
  finger SERIAL EVENT                queue what the sensor sees next (present N, fail, away), or auto on|off
  unblock-response SERIAL CHALLENGE  answer a remote unblock request as the token's issuer
  help [COMMAND]                     this text, or a command's
  --version                          the version of vtoken

'vtoken COMMAND --help' lists a command's options. Numbers are decimal, or hexadecimal after 0x.
Exit status: 0 done, 1 failed (unknown serial, store error), 2 wrong arguments.
)";

bool isHelp(std::string_view argument) {
    return argument == "-h" || argument == "--help";
}

void print(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

const Command* findCommand(std::span<char*> words) {
    if (words.empty())
        return nullptr;
    const std::string_view first = words[0];
    // "cdrom" alone names its one subcommand, so that "vtoken help cdrom" helps.
    if (first == "cdrom")
        return words.size() == 1 || std::string_view(words[1]) == "dump" ? &cdromDumpCommand() : nullptr;
    for (const Command& command : tokenCommands()) {
        if (command.name == first)
            return &command;
    }
    for (const Command* command : {&fingerCommand(), &unblockResponseCommand()}) {
        if (command->name == first)
            return command;
    }
    return nullptr;
}

int runCommand(const Command& command, std::span<char*> args) {
    const std::string name(command.name);
    const std::string hint = " (try 'vtoken " + name + " --help')";
    std::optional<Arguments> arguments;
    try {
        arguments.emplace(args, command.options);
    } catch (const UsageError& error) {
        throw UsageError(name + ": " + error.what() + hint);
    }
    if (arguments->helpRequested()) {
        print(stdout, command.help);
        return 0;
    }
    const auto& positional = arguments->positional();
    if (positional.size() < command.positionalCount)
        throw UsageError(name + ": needs " + std::string(command.positionalName) + hint);
    const size_t most = command.positionalCount + command.optionalPositionalCount;
    if (positional.size() > most)
        throw UsageError(name + ": unexpected argument '" + printable(positional[most]) + "'" + hint);
    return command.run(*arguments);
}

int run(std::span<char*> args) {
    if (args.empty()) {
        print(stderr, MainHelp);
        return ExitUsage;
    }
    const std::string_view first = args[0];
    if (isHelp(first) || (first == "help" && args.size() == 1)) {
        print(stdout, MainHelp);
        return 0;
    }
    if (first == "--version" && args.size() == 1) {
        print(stdout, "vtoken " VX_VERSION "\n");
        return 0;
    }
    if (first == "help") {
        const Command* command = findCommand(args.subspan(1));
        if (!command)
            throw UsageError("help: no command '" + printable(args[1]) + "' (try 'vtoken --help')");
        print(stdout, command->help);
        return 0;
    }
    if (first == "cdrom" && (args.size() < 2 || isHelp(args[1]))) {
        if (args.size() < 2)
            throw UsageError("cdrom: needs a subcommand: dump (try 'vtoken cdrom dump --help')");
        print(stdout, cdromDumpCommand().help);
        return 0;
    }
    const Command* command = findCommand(args);
    if (!command) {
        if (first == "cdrom")
            throw UsageError("cdrom: unknown subcommand '" + printable(args[1]) + "' (try 'vtoken cdrom --help')");
        throw UsageError("unknown command '" + printable(first) + "' (try 'vtoken --help')");
    }
    const size_t words = first == "cdrom" ? 2 : 1;
    return runCommand(*command, args.subspan(words));
}

} // namespace

int main(int argc, char** argv) {
    int status = 0;
    try {
        status = run(std::span<char*>(argv + 1, size_t(argc > 0 ? argc - 1 : 0)));
    } catch (const UsageError& error) {
        std::fprintf(stderr, "vtoken: %s\n", error.what());
        return ExitUsage;
    } catch (const std::exception& error) {
        // CommandFailure, StoreError, and whatever else stops the work: one line, never a crash.
        std::fprintf(stderr, "vtoken: %s\n", error.what());
        return ExitFailure;
    }
    // A full disk or a closed pipe must not pass for success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "vtoken: cannot write the output: %s\n", std::strerror(errno));
        return ExitFailure;
    }
    return status;
}
