#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The tool's command line, as deployment systems write it: /s runs silently,
// /c (with /s) only checks, /codes=msi (with /s, without /c) ends with the
// installer's exit codes, /nonotice (with /s) tells no one at the console,
// /l=FILE appends the log to a file, /trace=FILE the reports to and from the
// dock, /? or /h shows the usage. Switches are case-insensitive and
// start with / or -.

struct CommandLineOptions {
    bool silent = false;                    // /s: no window, no message box
    bool checkOnly = false;                 // /c: nothing is written to the dock (only with /s)
    bool usage = false;                     // /? or /h: show the usage and end
    bool installerCodes = false;            // /codes=msi: exit codes of the installer convention
    bool noNotice = false;                  // /nonotice: no notice at the console (only with /s)
    std::optional<std::wstring> logFile;    // /l=FILE
    std::optional<std::wstring> traceFile;  // /trace=FILE

    bool operator==(const CommandLineOptions&) const = default;
};

struct CommandLineParse {
    // Empty when the command line is not understood; reason then says why.
    std::optional<CommandLineOptions> options;
    std::wstring reason;  // one line, e.g. "unknown switch: /x"; empty when understood
    // A word after the program's path begins with /s or -s, in any case
    // (/s, -S, /silent, /s/c), whether or not the rest is understood: the
    // caller must then never wait for a person, not even to show the usage
    // of a line it could not read. Judged on the arguments and on the line
    // as written, so /l="C:\Logs\" /s, whose escaped quote takes the /s
    // into the path, still counts; so does a word inside a quoted path that
    // begins so, as in /l="C:\x /s y.log".
    bool silentSeen = false;
    // A line not understood may still name a log file with one well-formed
    // /l: its mistakes are told there too.
    std::optional<std::wstring> logFileSeen;

    bool Understood() const { return options.has_value(); }
    // Whether nothing may wait for a person: /s when the line is understood,
    // else any word that begins as /s does.
    bool Silent() const { return Understood() ? options->silent : silentSeen; }
};

// Splits a whole command line as the process receives it (the program's path
// first, quoted or not) by the rules of the Windows C runtime. The program's
// path ends at the first blank outside double quotes, and its quotes only
// group: a backslash in it is always a plain character, as in "C:\Tools\".
// Each argument ends at a blank (space or tab) outside double quotes; 2n
// backslashes before a double quote give n backslashes and the quote opens
// or closes a quoted part, 2n+1 give n backslashes and a literal quote; two
// quotes inside a quoted part give one literal quote. The first element is
// always the program's path, empty when the line is.
std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine);

// Reads the switches after the program's path. A repeated switch (/? and /h
// are one switch), an unknown switch, a bare word, a value on a switch that
// takes none, /l without a non-empty value or with a quote in it (no file
// name holds one) and /c without /s are not understood. /? or /h with
// switches that are otherwise well formed is the usage request.
CommandLineParse ParseCommandLine(std::wstring_view commandLine);

// The process's exit code for `code`, one of the default codes: a line not
// understood always ends with 87; /codes=msi turns the others into the
// installer convention.
int ExitCodeFor(const CommandLineParse& parse, int code);

// A start that would wait for a person where no one can see it: without /s
// on a window station that is not visible (a service's session), the window,
// the usage's box or any other box would wait for ever. The reason, or
// nothing when the start may go on.
std::optional<std::wstring> InvisibleWindowRefusal(const CommandLineParse& parse,
                                                   bool windowStationVisible);

// What /? shows and what a command line that is not understood is answered
// with: the switches and the exit codes. Lines end in "\r\n".
extern const std::wstring_view kUsageText;
