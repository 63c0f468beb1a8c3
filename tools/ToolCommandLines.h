#pragma once

#include <string>
#include <string_view>

// How one vendor tool is started: from its file by its full path, with no
// command interpreter between (the interpreter would be looked up by the
// system's search order, which starts beside the program and in the current
// directory), and in its own folder, where it finds its companion files.
struct ToolCommand {
    std::wstring name;         // the tool's file name, as the log names it
    std::wstring program;      // its full path
    std::wstring commandLine;  // its quoted path and its switch
    std::wstring workingDir;   // the folder it lies in, with a trailing separator

    bool operator==(const ToolCommand&) const = default;
};

// The vendor tools' command lines, fixed from the program's own path: the hub
// tool in "Tool" beside the program, the DisplayPort tool in "Tool\Mega".
// Whoever can replace the program can replace these folders, so they are as
// trusted as the program itself; the current directory, which whoever starts
// the program chooses, plays no part.
class ToolCommandLines {
public:
    static constexpr std::wstring_view kHubToolName = L"GL352xISP.exe";
    static constexpr std::wstring_view kDpToolName = L"McdpIsp.exe";

    // No program path known: the commands name no file and start nothing.
    ToolCommandLines() = default;
    // The program's full path, as the system reports its module's file name.
    explicit ToolCommandLines(std::wstring_view programPath);

    // The program's folder, with its trailing separator; empty when the path
    // names no folder.
    const std::wstring& ProgramDir() const { return m_strProgramDir; }
    const ToolCommand& HubToolCmd() const { return m_strHubToolCmd; }
    const ToolCommand& DpToolCmd() const { return m_strDpToolCmd; }

private:
    std::wstring m_strProgramDir;
    ToolCommand m_strHubToolCmd;
    ToolCommand m_strDpToolCmd;
};
