#include "app/command/CommandLine.h"

#include "app/outcome/ExitCodes.h"

#include <array>
#include <cstddef>

namespace {

bool IsBlank(wchar_t ch) {
    return ch == L' ' || ch == L'\t';
}

// Switch names are plain ASCII letters; no locale decides what /S means.
wchar_t LowerAscii(wchar_t ch) {
    return (ch >= L'A' && ch <= L'Z') ? static_cast<wchar_t>(ch - L'A' + L'a') : ch;
}

std::wstring Lower(std::wstring_view text) {
    std::wstring lower;
    lower.reserve(text.size());
    for (const wchar_t ch : text) {
        lower += LowerAscii(ch);
    }
    return lower;
}

// The switches this tool knows, each counted once however it is spelt.
enum class Switch { Silent, CheckOnly, Log, Trace, Usage, Codes, NoNotice, Unknown };

Switch SwitchNamed(std::wstring_view lowerName) {
    if (lowerName == L"s") {
        return Switch::Silent;
    }
    if (lowerName == L"c") {
        return Switch::CheckOnly;
    }
    if (lowerName == L"l") {
        return Switch::Log;
    }
    if (lowerName == L"trace") {
        return Switch::Trace;
    }
    if (lowerName == L"?" || lowerName == L"h") {
        return Switch::Usage;
    }
    if (lowerName == L"codes") {
        return Switch::Codes;
    }
    if (lowerName == L"nonotice") {
        return Switch::NoNotice;
    }
    return Switch::Unknown;
}

// A switch as written: its name (lower case) and, after '=', its value.
struct Token {
    std::wstring name;
    std::optional<std::wstring> value;
};

std::optional<Token> ReadSwitch(std::wstring_view argument) {
    if (argument.empty() || (argument[0] != L'/' && argument[0] != L'-')) {
        return std::nullopt;
    }
    const std::wstring_view body = argument.substr(1);
    const std::size_t equals = body.find(L'=');
    if (equals == std::wstring_view::npos) {
        return Token{.name = Lower(body), .value = std::nullopt};
    }
    return Token{.name = Lower(body.substr(0, equals)),
                 .value = std::wstring(body.substr(equals + 1))};
}

// The program's path: quotes group, nothing escapes. Returns where it ends
// in the line.
std::size_t ReadProgramPath(std::wstring_view commandLine, std::wstring& path) {
    bool quoted = false;
    std::size_t i = 0;
    for (; i < commandLine.size(); ++i) {
        const wchar_t ch = commandLine[i];
        if (ch == L'"') {
            quoted = !quoted;
        } else if (IsBlank(ch) && !quoted) {
            break;
        } else {
            path += ch;
        }
    }
    return i;
}

CommandLineParse NotUnderstood(std::wstring reason, bool silentSeen) {
    return CommandLineParse{.options = std::nullopt,
                            .reason = std::move(reason),
                            .silentSeen = silentSeen,
                            .logFileSeen = std::nullopt};
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine) {
    std::vector<std::wstring> arguments(1);
    std::size_t i = ReadProgramPath(commandLine, arguments.front());
    while (true) {
        while (i < commandLine.size() && IsBlank(commandLine[i])) {
            ++i;
        }
        if (i == commandLine.size()) {
            break;
        }
        std::wstring argument;
        bool quoted = false;
        while (i < commandLine.size() && (quoted || !IsBlank(commandLine[i]))) {
            const wchar_t ch = commandLine[i];
            if (ch == L'\\') {
                std::size_t backslashes = 0;
                while (i < commandLine.size() && commandLine[i] == L'\\') {
                    ++backslashes;
                    ++i;
                }
                if (i < commandLine.size() && commandLine[i] == L'"') {
                    argument.append(backslashes / 2, L'\\');
                    if (backslashes % 2 == 1) {
                        argument += L'"';
                        ++i;
                    }
                    // An even count leaves the quote to the next round, where
                    // it opens or closes a quoted part.
                } else {
                    argument.append(backslashes, L'\\');
                }
            } else if (ch == L'"') {
                if (quoted && i + 1 < commandLine.size() && commandLine[i + 1] == L'"') {
                    argument += L'"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += ch;
                ++i;
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

namespace {

// A word that begins with /s or -s, in any case: /s, -S, /silent, /s/c.
bool BeginsSilent(std::wstring_view word) {
    return word.size() >= 2 && (word[0] == L'/' || word[0] == L'-') && LowerAscii(word[1]) == L's';
}

bool SilentSwitchOnLine(std::wstring_view commandLine, const std::vector<std::wstring>& arguments) {
    for (std::size_t k = 1; k < arguments.size(); ++k) {
        if (BeginsSilent(arguments[k])) {
            return true;
        }
    }
    // Also as written, outside the program's path: a quoted path that ends in
    // a backslash, /l="C:\Logs\" /s, takes the /s into its value, and the
    // person who wrote it still asked for silence.
    std::wstring program;
    for (std::size_t i = ReadProgramPath(commandLine, program); i + 1 < commandLine.size(); ++i) {
        const wchar_t before = i == 0 ? L' ' : commandLine[i - 1];
        if ((IsBlank(before) || before == L'"') && BeginsSilent(commandLine.substr(i))) {
            return true;
        }
    }
    return false;
}

// The log file of a line that is not understood, where one /l names one
// well: its mistakes are told there too.
std::optional<std::wstring> LogFileOnLine(const std::vector<std::wstring>& arguments) {
    for (std::size_t k = 1; k < arguments.size(); ++k) {
        const std::optional<Token> token = ReadSwitch(arguments[k]);
        if (token && SwitchNamed(token->name) == Switch::Log && token->value &&
            !token->value->empty() && token->value->find(L'"') == std::wstring::npos) {
            return token->value;
        }
    }
    return std::nullopt;
}

CommandLineParse ParseSwitches(const std::vector<std::wstring>& arguments, bool silentSeen) {
    CommandLineOptions options;
    std::array<bool, static_cast<std::size_t>(Switch::Unknown)> seen{};
    for (std::size_t k = 1; k < arguments.size(); ++k) {
        const std::wstring& argument = arguments[k];
        const std::optional<Token> token = ReadSwitch(argument);
        if (!token) {
            return NotUnderstood(
                argument.empty() ? L"empty argument" : L"not a switch: " + argument, silentSeen);
        }
        const Switch which = SwitchNamed(token->name);
        if (which == Switch::Unknown) {
            return NotUnderstood(L"unknown switch: " + argument, silentSeen);
        }
        bool& once = seen[static_cast<std::size_t>(which)];
        if (once) {
            return NotUnderstood(L"repeated switch: " + argument, silentSeen);
        }
        once = true;
        if (which == Switch::Log || which == Switch::Trace) {
            const wchar_t* const file = which == Switch::Log ? L"log" : L"trace";
            if (!token->value || token->value->empty()) {
                return NotUnderstood(L"no " + std::wstring(file) + L" file given: " + argument,
                                     silentSeen);
            }
            // No file name holds a quote: this one took in what followed a
            // closing quote escaped by the path's last backslash.
            if (token->value->find(L'"') != std::wstring::npos) {
                return NotUnderstood(std::wstring(file) + L" file name holds a quote: " + argument,
                                     silentSeen);
            }
            (which == Switch::Log ? options.logFile : options.traceFile) = *token->value;
            continue;
        }
        if (which == Switch::Codes) {
            if (!token->value || Lower(*token->value) != L"msi") {
                return NotUnderstood(L"exit codes are /codes=msi: " + argument, silentSeen);
            }
            options.installerCodes = true;
            continue;
        }
        if (token->value) {
            return NotUnderstood(L"switch takes no value: " + argument, silentSeen);
        }
        switch (which) {
            case Switch::Silent:
                options.silent = true;
                break;
            case Switch::CheckOnly:
                options.checkOnly = true;
                break;
            case Switch::Usage:
                options.usage = true;
                break;
            case Switch::NoNotice:
                options.noNotice = true;
                break;
            case Switch::Log:
            case Switch::Trace:
            case Switch::Codes:
            case Switch::Unknown:
                break;
        }
    }
    if (options.checkOnly && !options.silent && !options.usage) {
        return NotUnderstood(L"/c checks only with /s", silentSeen);
    }
    if (options.noNotice && !options.silent && !options.usage) {
        return NotUnderstood(L"/nonotice only with /s", silentSeen);
    }
    // A check prints what it found, and its 0 means "the update applies":
    // no installer reads that. The window's codes are not a deployment's.
    if (options.installerCodes && !options.usage && (options.checkOnly || !options.silent)) {
        return NotUnderstood(L"/codes=msi only with /s and without /c", silentSeen);
    }
    return CommandLineParse{
        .options = options, .reason = {}, .silentSeen = silentSeen, .logFileSeen = std::nullopt};
}

}  // namespace

CommandLineParse ParseCommandLine(std::wstring_view commandLine) {
    const std::vector<std::wstring> arguments = SplitCommandLine(commandLine);
    // Known before anything else is judged, so that a line that goes wrong
    // further on still keeps its promise of no window.
    const bool silentSeen = SilentSwitchOnLine(commandLine, arguments);

    CommandLineParse parse = ParseSwitches(arguments, silentSeen);
    if (!parse.Understood()) {
        parse.logFileSeen = LogFileOnLine(arguments);
    }
    return parse;
}

int ExitCodeFor(const CommandLineParse& parse, int code) {
    if (!parse.Understood()) {
        return exit_code::kBadCommandLine;
    }
    return parse.options->installerCodes ? InstallerCodeOf(code) : code;
}

std::optional<std::wstring> InvisibleWindowRefusal(const CommandLineParse& parse,
                                                   bool windowStationVisible) {
    if (windowStationVisible || parse.Silent()) {
        return std::nullopt;
    }
    return std::wstring(
        L"no one can see a window here (a service's session): start the tool with /s");
}

const std::wstring_view kUsageText =
    L"KrEFM8SwUpgrade.exe [/s [/c | /codes=msi] [/nonotice]] [/l=FILE] [/trace=FILE] [/?]\r\n"
    L"\r\n"
    L"  (none)    the window\r\n"
    L"  /s        silent: no window, no message box; checks the dock and, when\r\n"
    L"            the update applies, updates it\r\n"
    L"  /c        with /s: check only, nothing is written to the dock; prints the\r\n"
    L"            versions found as key=value lines\r\n"
    L"  /codes=msi  with /s, without /c: installer exit codes (see below)\r\n"
    L"  /nonotice with /s: no notice to the person at the console when the\r\n"
    L"            dock waits for its power reset or the update did not finish\r\n"
    L"  /l=FILE   appends every log line, with a timestamp, to FILE (UTF-8);\r\n"
    L"            quote a path with blanks: /l=\"C:\\Dock logs\\update.log\"\r\n"
    L"  /trace=FILE  appends what goes to and from the dock, report by report,\r\n"
    L"            to FILE, for support\r\n"
    L"  /?, /h    this text\r\n"
    L"\r\n"
    L"Switches are case-insensitive and may start with - instead of /.\r\n"
    L"\r\n"
    L"Exit codes:\r\n"
    L"  0   /c: the update applies to the attached dock\r\n"
    L"  2   updated and verified: power reset the dock to run the new firmware\r\n"
    L"  3   nothing to do: the dock already carries this or a newer release\r\n"
    L"  4   no dock attached\r\n"
    L"  5   not applicable: another model, a hub firmware that blocks the update,\r\n"
    L"      or a package whose version letter is not E, L or V\r\n"
    L"  1   failed: see the log\r\n"
    L"  6   another instance of the tool is already running; try again later\r\n"
    L"  87  the command line is not understood\r\n"
    L"\r\n"
    L"With /codes=msi: 3010 for 2, 0 for 3, 1618 for 4 and 6, 1633 for 5,\r\n"
    L"1603 for 1; 87 stays.\r\n"
    L"\r\n"
    L"Without /l, /s appends its log to DockFirmwareUpdate\\Logs\\KrEFM8SwUpgrade.log\r\n"
    L"under %ProgramData% (elevated or as the system) or %LOCALAPPDATA%.\r\n";
