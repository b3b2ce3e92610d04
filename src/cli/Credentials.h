#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace tarvo::cli {

// A command's login password and where it comes from. Kept off the command line (where every
// user of the machine sees it in `ps`) by --password-file, --password - or TARVO_PASSWORD.
struct Password {
    std::optional<std::string> given;  // --password VALUE; "-": one line from standard input
    std::optional<std::string> file;   // --password-file FILE: its first line
    std::string value;                 // what resolve() found

    // Sets `value`: --password VALUE, --password-file, --password -, else TARVO_PASSWORD, else
    // empty. Throws CLI::ValidationError (a usage error) when the source cannot be read; the
    // message never carries the password.
    void resolve();
};

// The first line of the file at `path`, without its line end; warns when other users may read
// it. Throws CLI::ValidationError naming `option` when it cannot be read.
std::string readSecretFile(const std::string& path, const char* option);

// Warns on stderr that the value of `option` given on the command line is visible to other
// local users; `instead` names the ways that keep it out of sight.
void warnVisibleSecret(const char* option, const char* instead);

// Adds --password and --password-file to `sub`; at most one of them may be given.
void addPasswordOptions(CLI::App& sub, Password& password);

}  // namespace tarvo::cli
