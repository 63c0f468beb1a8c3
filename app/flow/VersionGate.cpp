#include "app/flow/VersionGate.h"

#include "app/log/LogLineFormat.h"
#include "tools/HubToolText.h"

namespace {

unsigned VersionNumber(const FirmwareVersion& version) {
    return version[1] * 100U + version[2] * 10U + version[3];
}

}  // namespace

std::wstring VersionText(const FirmwareVersion& version) {
    const bool printable = version[0] >= 0x20 && version[0] < 0x7F;
    std::wstring text = printable ? std::wstring(1, static_cast<wchar_t>(version[0]))
                                  : FormatLogLine(L"\\x%02x", static_cast<unsigned>(version[0]));
    for (std::size_t i = 1; i < version.size(); ++i) {
        text += FormatLogLine(L"%x", static_cast<unsigned>(version[i]));
    }
    return text;
}

std::wstring HubResultLine(const ToolResult& hub) {
    switch (hub.state) {
        case ToolResult::State::Done:
            return hub.text;
        case ToolResult::State::Running:
            return HubFirmwareUnfinishedText();
        case ToolResult::State::NotRun:
        case ToolResult::State::Failed:
            break;
    }
    return HubFirmwareUnknownText();
}

std::wstring DpVersionLine(const ToolResult& dp) {
    // Only a run that ended gave a text; one still running or failed has no
    // version, as a tool that printed nothing.
    const std::size_t token =
        dp.state == ToolResult::State::Done ? dp.text.find(L"Pegasus App:") : std::wstring::npos;
    return token == std::wstring::npos ? std::wstring() : dp.text.substr(token, 30);
}

GateVerdict JudgeVersions(const FirmwareVersion& package, const FirmwareVersion& device,
                          const ToolResult& hub, const ToolResult& dp) {
    GateVerdict verdict;
    verdict.lines = {L"File Version: " + VersionText(package),
                     L"Device Version: " + VersionText(device)};

    // No hub check was started for this check (an arrival's scan without
    // "FW Ver"): the hub is not judged. Once one was started, only its ended
    // run with the version the dock must carry lets the offer through.
    if (hub.state != ToolResult::State::NotRun) {
        if (hub.state == ToolResult::State::Failed) {
            verdict.lines.push_back(hub.text);
        }
        const std::wstring hubLine = HubResultLine(hub);
        verdict.lines.push_back(hubLine);
        if (hub.state != ToolResult::State::Done || hubLine.find(L"0x8720") == std::wstring::npos) {
            verdict.looks.push_back(ResultLook::Fail);
            verdict.ending = hub.state == ToolResult::State::Done ? FlowEnding::NotApplicable
                                                                  : FlowEnding::CheckFailed;
            return verdict;
        }
        if (dp.state == ToolResult::State::Failed) {
            verdict.lines.push_back(dp.text);
        }
        const std::wstring dpLine = DpVersionLine(dp);
        if (!dpLine.empty()) {
            verdict.lines.push_back(dpLine);
        } else {
            verdict.lines.emplace_back(L"No DP");
            verdict.looks.push_back(ResultLook::Fail);
        }
    }

    verdict.offer = true;
    verdict.ending = FlowEnding::UpdateOffered;
    switch (package[0]) {
        case 'E':
            verdict.lines.emplace_back(L"Engineer file version!");
            return verdict;
        case 'L':
            verdict.lines.emplace_back(L"Downgrade file version!");
            return verdict;
        case 'V':
            break;
        default:
            verdict.lines.emplace_back(L"ISP file version error!");
            verdict.offer = false;
            verdict.ending = FlowEnding::NotApplicable;
            return verdict;
    }
    if (device[0] == 'E') {
        verdict.lines.emplace_back(L"Engineer device version!");
        return verdict;
    }
    if (VersionNumber(package) > VersionNumber(device)) {
        verdict.lines.emplace_back(L"Press to upgrade new version!");
        verdict.resetProgress = true;
        verdict.looks.push_back(ResultLook::Fail);
        return verdict;
    }
    verdict.lines.emplace_back(L"ISP file version must higher then device version!");
    verdict.lines.emplace_back(L"Don't need to upgrade!");
    verdict.looks.push_back(ResultLook::Pass);
    verdict.offer = false;
    verdict.ending = FlowEnding::UpToDate;
    return verdict;
}
