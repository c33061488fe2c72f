// Command-line parsing driven by tables: each command lists its positional arguments and options.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kestravel::plugins {

// A mistake in the command line; main prints it with the command's usage.
class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

enum class OptionKind
{
    Flag,  // --name
    Value, // --name VALUE, at most once
    List,  // --name VALUE, any number of times
};

struct OptionSpec
{
    std::string_view name; // without the leading dashes
    OptionKind kind;
    std::string_view valueName;
    std::string_view help;
    bool required = false;
};

struct CommandSpec;

class Arguments
{
public:
    const std::vector<std::string>& positionals() const { return positionals_; }
    const std::string& positional(std::size_t i) const { return positionals_.at(i); }
    bool has(std::string_view name) const;
    std::optional<std::string> value(std::string_view name) const;
    std::vector<std::string> values(std::string_view name) const;
    // Typed reads; a malformed or out-of-range value is a UsageError naming the option.
    std::int64_t integer(std::string_view name, std::int64_t fallback, std::int64_t min, std::int64_t max) const;
    double number(std::string_view name, double fallback, double min, double max) const;

private:
    friend Arguments parseArguments(const CommandSpec&, std::span<const std::string>);
    std::vector<std::string> positionals_;
    std::map<std::string, std::vector<std::string>, std::less<>> options_;
};

struct CommandSpec
{
    std::string_view name; // one or two words: "info", "state save"
    std::span<const std::string_view> positionals;
    std::span<const OptionSpec> options;
    int (*run)(const Arguments&, std::ostream& out);
    std::string_view summary;
};

Arguments parseArguments(const CommandSpec& command, std::span<const std::string> args);
std::string commandUsage(const CommandSpec& command);

// Shared value parsers, UsageError on malformed text.
std::int64_t parseInteger(std::string_view text, std::string_view what);
double parseNumber(std::string_view text, std::string_view what);

} // namespace kestravel::plugins
