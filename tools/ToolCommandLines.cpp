#include "tools/ToolCommandLines.h"

namespace {

// A path holds no quote, so quoting it keeps a folder with blanks or
// parentheses one word of the command line.
ToolCommand CommandFor(const std::wstring& programDir, std::wstring_view subFolder,
                       std::wstring_view name, std::wstring_view toolSwitch) {
    if (programDir.empty()) {
        return ToolCommand{
            .name = std::wstring(name), .program = {}, .commandLine = {}, .workingDir = {}};
    }
    std::wstring folder = programDir;
    folder += subFolder;
    std::wstring program = folder + std::wstring(name);
    std::wstring commandLine = L"\"" + program + L"\" ";
    commandLine += toolSwitch;
    return ToolCommand{.name = std::wstring(name),
                       .program = std::move(program),
                       .commandLine = std::move(commandLine),
                       .workingDir = std::move(folder)};
}

}  // namespace

ToolCommandLines::ToolCommandLines(std::wstring_view programPath) {
    const std::size_t separator = programPath.find_last_of(L"\\/");
    if (separator != std::wstring_view::npos) {
        m_strProgramDir = std::wstring(programPath.substr(0, separator + 1));
    }
    m_strHubToolCmd = CommandFor(m_strProgramDir, L"Tool\\", kHubToolName, L"-f");
    m_strDpToolCmd = CommandFor(m_strProgramDir, L"Tool\\Mega\\", kDpToolName, L"-ChipInfo");
}
