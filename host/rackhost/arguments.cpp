#include "arguments.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace kestravel::plugins {

std::int64_t parseInteger(std::string_view text, std::string_view what)
{
    std::int64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        throw UsageError(std::string(what) + " must be a whole number, not \"" + std::string(text) + "\"");
    return v;
}

double parseNumber(std::string_view text, std::string_view what)
{
    // strtod accepts what users type ("0.5", "1e-3"); the whole text must be consumed.
    const std::string copy(text);
    char* end = nullptr;
    const double v = std::strtod(copy.c_str(), &end);
    if (copy.empty() || end != copy.c_str() + copy.size() || !std::isfinite(v))
        throw UsageError(std::string(what) + " must be a finite number, not \"" + copy + "\"");
    return v;
}

bool Arguments::has(std::string_view name) const { return options_.find(name) != options_.end(); }

std::optional<std::string> Arguments::value(std::string_view name) const
{
    auto it = options_.find(name);
    if (it == options_.end() || it->second.empty())
        return std::nullopt;
    return it->second.back();
}

std::vector<std::string> Arguments::values(std::string_view name) const
{
    auto it = options_.find(name);
    return it == options_.end() ? std::vector<std::string>{} : it->second;
}

std::int64_t Arguments::integer(std::string_view name, std::int64_t fallback, std::int64_t min, std::int64_t max) const
{
    const auto text = value(name);
    if (!text)
        return fallback;
    const std::string what = "--" + std::string(name);
    const std::int64_t v = parseInteger(*text, what);
    if (v < min || v > max)
        throw UsageError(what + " must be from " + std::to_string(min) + " to " + std::to_string(max));
    return v;
}

double Arguments::number(std::string_view name, double fallback, double min, double max) const
{
    const auto text = value(name);
    if (!text)
        return fallback;
    const std::string what = "--" + std::string(name);
    const double v = parseNumber(*text, what);
    if (v < min || v > max)
    {
        std::ostringstream range;
        range << what << " must be from " << min << " to " << max;
        throw UsageError(range.str());
    }
    return v;
}

Arguments parseArguments(const CommandSpec& command, std::span<const std::string> args)
{
    Arguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i)
    {
        const std::string& arg = args[i];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0)
        {
            parsed.positionals_.push_back(arg);
            continue;
        }
        std::string name = arg.substr(2);
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); eq != std::string::npos)
        {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        const OptionSpec* option = nullptr;
        for (const OptionSpec& o : command.options)
            if (o.name == name)
                option = &o;
        if (option == nullptr)
            throw UsageError("Unknown option --" + name + " for \"" + std::string(command.name) + "\"");
        auto& slot = parsed.options_[name];
        if (option->kind == OptionKind::Flag)
        {
            if (inlineValue)
                throw UsageError("--" + name + " takes no value");
            slot.push_back("");
            continue;
        }
        if (option->kind == OptionKind::Value && !slot.empty())
            throw UsageError("--" + name + " is given twice");
        if (!inlineValue)
        {
            if (i + 1 >= args.size())
                throw UsageError("--" + name + " needs a value (" + std::string(option->valueName) + ")");
            inlineValue = args[++i];
        }
        slot.push_back(*inlineValue);
    }
    if (parsed.positionals_.size() != command.positionals.size())
    {
        std::string expected;
        for (auto p : command.positionals)
            expected += (expected.empty() ? "" : " ") + std::string(p);
        throw UsageError("\"" + std::string(command.name) + "\" takes " + (expected.empty() ? "no arguments" : expected) +
                         ", got " + std::to_string(parsed.positionals_.size()) + " argument(s)");
    }
    for (const OptionSpec& o : command.options)
        if (o.required && !parsed.has(o.name))
            throw UsageError("\"" + std::string(command.name) + "\" needs --" + std::string(o.name) + " " +
                             std::string(o.valueName));
    return parsed;
}

std::string commandUsage(const CommandSpec& command)
{
    std::ostringstream out;
    out << "rackhost " << command.name;
    for (auto p : command.positionals)
        out << ' ' << p;
    for (const OptionSpec& o : command.options)
    {
        out << ' ' << (o.required ? "" : "[") << "--" << o.name;
        if (o.kind != OptionKind::Flag)
            out << ' ' << o.valueName;
        if (o.kind == OptionKind::List)
            out << " ...";
        out << (o.required ? "" : "]");
    }
    out << "\n  " << command.summary << '\n';
    for (const OptionSpec& o : command.options)
    {
        std::string left = "--" + std::string(o.name);
        if (o.kind != OptionKind::Flag)
            left += " " + std::string(o.valueName);
        out << "    " << left << std::string(left.size() < 28 ? 28 - left.size() : 1, ' ') << o.help << '\n';
    }
    return out.str();
}

} // namespace kestravel::plugins
