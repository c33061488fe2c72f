// Runs the built rackhost as a user would from a shell, for the tests that check its words and
// exit codes. KESTRAVEL_RACKHOST names the program; the target defines it.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "kestravel_host/utf.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace kestravel::plugins::testing_support {

struct ProgramRun
{
    int exitCode;
    std::string output; // stdout and stderr together
};

inline std::string shellQuoted(const std::string& arg)
{
#ifdef _WIN32
    return "\"" + arg + "\"";
#else
    std::string q = "'";
    for (char ch : arg)
        q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return q + "'";
#endif
}

// shellPrefix runs before rackhost in the same POSIX shell (limits, signal dispositions).
inline ProgramRun runRackhost(const std::vector<std::string>& args, const std::string& shellPrefix = "")
{
    std::filesystem::path program = std::filesystem::absolute(pathFromUtf8(KESTRAVEL_RACKHOST));
    program.make_preferred();
    std::string command = shellPrefix + shellQuoted(pathToUtf8(program));
    for (const auto& a : args)
        command += " " + shellQuoted(a);
    command += " 2>&1";
#ifdef _WIN32
    // cmd strips one pair of quotes around the whole line.
    FILE* pipe = _popen(("\"" + command + "\"").c_str(), "r");
#else
    FILE* pipe = popen(command.c_str(), "r");
#endif
    if (pipe == nullptr)
        return {-1, "cannot start rackhost"};
    std::string output;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
#ifdef _WIN32
    return {_pclose(pipe), output};
#else
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
#endif
}

} // namespace kestravel::plugins::testing_support
