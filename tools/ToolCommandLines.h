#pragma once

#include <string>

// The vendor tools' command lines, fixed once from the folder the program was
// started in: the hub tool in "Tool", the DisplayPort tool in "Tool\Mega".
// Both paths are absolute, so a tool is found whatever the current directory
// is later (the DisplayPort run moves it into its own folder).
class ToolCommandLines {
public:
    // No folder known yet: the command lines are empty and start nothing.
    ToolCommandLines() = default;
    // The folder as the system reports it: no trailing separator, except for a
    // drive root.
    explicit ToolCommandLines(std::wstring startDir);

    const std::wstring& StartDir() const { return m_strStartDir; }
    const std::wstring& HubToolCmd() const { return m_strHubToolCmd; }
    const std::wstring& DpToolCmd() const { return m_strDpToolCmd; }
    // The folder the DisplayPort tool runs in, with its trailing separator:
    // the tool looks for its companion files in the current directory. Empty
    // while no folder is known.
    std::wstring DpToolDir() const;

private:
    std::wstring m_strStartDir;
    std::wstring m_strHubToolCmd;
    std::wstring m_strDpToolCmd;
};
