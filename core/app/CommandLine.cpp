#include "app/CommandLine.h"

#include <cstdio>
#include <cstring>

#include "app/Version.h"

namespace tvx {

std::string VersionLine(const std::string& program) {
    return program + " (" + kProductName + ") " + kVersion;
}

bool AnswerStandardOption(int argc, const char* const* argv, const std::string& program,
                          const char* helpText) {
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            return false;
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            std::fputs(helpText, stdout);
            return true;
        }
        if (std::strcmp(argument, "--version") == 0) {
            std::printf("%s\n", VersionLine(program).c_str());
            return true;
        }
    }
    return false;
}

WindowOptions TakeWindowOptions(std::vector<std::string>& arguments) {
    WindowOptions options;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--") {
            rest.insert(rest.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i),
                        arguments.end());
            break;
        }
        std::string* value = a == "--add" || a == "--download" ? &options.url
                             : a == "--referrer"               ? &options.referrer
                             : a == "--text"                   ? &options.text
                                                               : nullptr;
        const bool link = a == "--add" || a == "--download";
        const bool noValue =
            i + 1 >= arguments.size() || (link && arguments[i + 1].rfind("-", 0) == 0);
        if (a == "--last-folder") {
            options.lastFolder = true;
        } else if (value == nullptr) {
            rest.push_back(a);
        } else if (noValue && link) {
            // A menu's action started without a link: the window opens.
        } else if (noValue) {
            options.error = a + " takes a value";
        } else {
            if (a == "--add" || a == "--download") {
                if (!options.action.empty())
                    options.error = "only one of --add and --download may be given";
                options.action = a.substr(2);
            }
            *value = arguments[++i];
        }
    }
    if (options.error.empty() && options.action.empty() &&
        (!options.referrer.empty() || !options.text.empty()))
        options.error = "--referrer and --text go with --add or --download";
    arguments = rest;
    return options;
}

std::optional<std::string> DocumentArgument(const std::vector<std::string>& arguments) {
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (!optionsEnded) {
            if (argument == "--") {
                optionsEnded = true;
                continue;
            }
            if (argument == "--webEngineArgs")
                return std::nullopt;  // the rest are the engine's switches
            if (!argument.empty() && argument[0] == '-')
                continue;
        }
        return argument;
    }
    return std::nullopt;
}

bool ChoosesDisplay(const std::vector<std::string>& arguments) {
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--" || argument == "--webEngineArgs")
            return false;
        const std::string name = argument.rfind("--", 0) == 0 ? argument.substr(1) : argument;
        if (name == "-platform" || name == "-display")
            return true;
    }
    return false;
}

}  // namespace tvx
