// rackhost: a command-line VST 3 host for inspecting, rendering, timing and recording modules.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "kestravel_host/host_error.h"
#include "kestravel_host/utf.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

using namespace kestravel::plugins;

const CommandSpec* const kCommands[] = {
    &kInfoCommand, &kRenderCommand, &kBenchCommand, &kStateSaveCommand,
    &kStateLoadCommand, &kSnapshotCommand, &kSessionCommand,
    &kModuleInfoCommand,
#ifndef _WIN32
    &kShowCommand,
#endif
};

// Arguments as UTF-8; on Windows from the wide command line, so any file name survives.
std::vector<std::string> commandLine(int argc, char** argv)
{
    std::vector<std::string> args;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count))
    {
        for (int i = 1; i < count; ++i)
            args.push_back(pathToUtf8(std::filesystem::path(std::wstring(wide[i]))));
        LocalFree(wide);
    }
    SetConsoleOutputCP(CP_UTF8);
#else
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
#endif
    return args;
}

void printUsage(std::ostream& out)
{
    out << "usage:\n";
    for (const CommandSpec* c : kCommands)
        out << commandUsage(*c) << '\n';
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args = commandLine(argc, argv);
    if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h")
    {
        printUsage(args.empty() ? std::cerr : std::cout);
        return args.empty() ? 2 : 0;
    }

    // Two-word commands ("state save") before one-word ones.
    const CommandSpec* command = nullptr;
    std::size_t used = 0;
    for (const CommandSpec* c : kCommands)
    {
        const std::string name(c->name);
        const std::string two = args.size() > 1 ? args[0] + " " + args[1] : "";
        if (name == two)
        {
            command = c;
            used = 2;
            break;
        }
        if (name == args[0] && command == nullptr)
        {
            command = c;
            used = 1;
        }
    }
    if (command == nullptr)
    {
        std::cerr << "rackhost: unknown command \"" << args[0] << "\"\n";
        printUsage(std::cerr);
        return 2;
    }

    try
    {
        const Arguments parsed = parseArguments(*command, std::span(args).subspan(used));
        const int code = command->run(parsed, std::cout);
        std::cout.flush();
        return code;
    }
    catch (const UsageError& e)
    {
        std::cerr << "rackhost: " << e.what() << "\nusage: " << commandUsage(*command);
        return 2;
    }
    catch (const std::exception& e)
    {
        std::cout.flush();
        std::cerr << "rackhost: " << e.what() << '\n';
        return 1;
    }
}
