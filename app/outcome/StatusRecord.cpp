#include "app/outcome/StatusRecord.h"

#include "app/log/LogLineFormat.h"
#include "package/ModelNames.h"

namespace {

std::wstring ProductIdText(std::uint16_t productId) {
    return FormatLogLine(L"0x%04x", static_cast<unsigned>(productId));
}

// The dock's model as a deployment inventory shows it: its product ID, and its
// name when the model table knows it.
std::wstring ModelText(std::uint16_t productId) {
    const std::wstring name = LookUpModelName(productId);
    return ProductIdText(productId) + (name == kUnknownModelName ? L"" : L" " + name);
}

std::wstring AfterPrefix(const std::wstring& text, std::wstring_view prefix) {
    const std::size_t at = text.find(prefix);
    if (at == std::wstring::npos) {
        return {};
    }
    std::size_t from = at + prefix.size();
    while (from < text.size() && text[from] == L' ') {
        ++from;
    }
    return text.substr(from);
}

}  // namespace

std::vector<std::wstring> CheckSummaryLines(const CheckFacts& facts) {
    const auto version = [](const std::optional<FirmwareVersion>& v) {
        return v ? VersionText(*v) : std::wstring(L"none");
    };
    const std::wstring dp = DpVersionLine(facts.dp);
    return {
        L"package=" + version(facts.package),
        L"device=" + (facts.bootloader ? std::wstring(L"bootloader") : version(facts.device)),
        L"previous=" + version(facts.previous),
        L"hub=" +
            (facts.hub.state == ToolResult::State::NotRun ? L"none" : HubResultLine(facts.hub)),
        L"dp=" + (dp.empty() ? L"none" : dp),
        L"model=" + (facts.productId ? ModelText(*facts.productId) : L"none"),
    };
}

StatusRecord BuildStatusRecord(FlowEnding ending, const CheckFacts& facts, int exitCode,
                               std::wstring_view toolVersion, std::wstring_view runUtc) {
    const auto version = [](const std::optional<FirmwareVersion>& v) {
        return v ? VersionText(*v) : std::wstring();
    };
    const auto model = [](std::uint16_t productId) {
        const std::wstring name = LookUpModelName(productId);
        return name == kUnknownModelName ? ProductIdText(productId) : name;
    };
    const bool hubDone = facts.hub.state == ToolResult::State::Done;
    StatusRecord record;
    record.strings = {
        {L"Status", std::wstring(StatusTokenOf(ending))},
        {L"PackageVersion", version(facts.package)},
        {L"DeviceVersion", facts.bootloader ? std::wstring() : version(facts.device)},
        {L"PreviousVersion", version(facts.previous)},
        {L"HubVersion", hubDone ? AfterPrefix(facts.hub.text, L"HUB FW is") : std::wstring()},
        {L"DpVersion", AfterPrefix(DpVersionLine(facts.dp), L"Pegasus App:")},
        {L"Model", facts.productId ? model(*facts.productId) : std::wstring()},
        {L"ToolVersion", std::wstring(toolVersion)},
        {L"LastRunUtc", std::wstring(runUtc)},
    };
    record.lastExitCode = static_cast<std::uint32_t>(exitCode);
    return record;
}

std::wstring Iso8601Utc(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                        unsigned second) {
    return FormatLogLine(L"%04u-%02u-%02uT%02u:%02u:%02uZ", year, month, day, hour, minute, second);
}
