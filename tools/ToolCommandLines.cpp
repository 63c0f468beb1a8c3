#include "tools/ToolCommandLines.h"

#include <string_view>
#include <utility>

namespace {

// A command for "cmd.exe /C". The tool's path is quoted, so a folder with
// blanks or parentheses stays one word. cmd.exe drops the first and the last
// quote of what follows /C whenever that text holds more than two quotes, so
// the whole command goes into one more pair of quotes, which cmd.exe takes
// away and leaves the path's own quotes in place.
std::wstring InterpreterCommand(const std::wstring& startDir, std::wstring_view toolPath,
                                std::wstring_view toolSwitch) {
    std::wstring command = L"cmd.exe /C \"\"";
    command += startDir;
    command += toolPath;
    command += L"\" ";
    command += toolSwitch;
    command += L'"';
    return command;
}

}  // namespace

ToolCommandLines::ToolCommandLines(std::wstring startDir)
    : m_strStartDir(std::move(startDir)),
      m_strHubToolCmd(InterpreterCommand(m_strStartDir, L"\\Tool\\GL352xISP.exe", L"-f")),
      m_strDpToolCmd(
          InterpreterCommand(m_strStartDir, L"\\Tool\\Mega\\McdpIsp.exe", L"-ChipInfo")) {}

std::wstring ToolCommandLines::DpToolDir() const {
    if (m_strStartDir.empty()) {
        return {};
    }
    return m_strStartDir + L"\\Tool\\Mega\\";
}
