#include "testbed/rig/docksim/DockReport.h"

#include <windows.h>

#include <span>

#include "framework/OwnedHandle.h"
#include "testbed/rig/channel/TextConversion.h"

namespace {

bool WriteWholeFile(const std::wstring& path, std::span<const std::uint8_t> bytes,
                    std::string& error) {
    const UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file.IsValid() ||
        !::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) ||
        written != bytes.size()) {
        error = "cannot write " + rig::ToUtf8(path) + " (error " +
                std::to_string(::GetLastError()) + ")";
        return false;
    }
    return true;
}

}  // namespace

std::string DockSummary(const sim::DockSimulator& dock) {
    const std::array<std::uint8_t, 4>& version = dock.ApplicationVersion();
    std::string text = "reports=" + std::to_string(dock.ReportCount()) + "\n";
    text += std::string("mode=") +
            (dock.Mode() == device::DeviceMode::Application ? "application" : "bootloader") + "\n";
    text += "version=" + std::string(1, static_cast<char>(version[0])) +
            std::to_string(version[1]) + std::to_string(version[2]) + std::to_string(version[3]) +
            "\n";
    text += std::string("plugged=") + (dock.Plugged() ? "1" : "0") + "\n";
    for (const std::string& deviation : dock.ProtocolErrors()) {
        text += "protocol-error=" + deviation + "\n";
    }
    return text;
}

bool WriteChipDump(const std::wstring& dir, const sim::DockSimulator& dock, std::string& error) {
    if (!::CreateDirectoryW(dir.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        error = "cannot create " + rig::ToUtf8(dir) + " (error " +
                std::to_string(::GetLastError()) + ")";
        return false;
    }
    const std::wstring base = dir + L"\\";
    if (!WriteWholeFile(base + L"chip1.bin", dock.Chip1Contents(), error) ||
        !WriteWholeFile(base + L"chip3.bin", dock.Chip3Written(), error)) {
        return false;
    }
    for (std::size_t i = 0; i < dock.Chip2Files().size(); ++i) {
        if (!WriteWholeFile(base + L"chip2-" + std::to_wstring(i + 1) + L".bin",
                            dock.Chip2Files()[i], error)) {
            return false;
        }
    }
    const std::string summary = DockSummary(dock);
    return WriteWholeFile(
        base + L"summary.txt",
        std::span(reinterpret_cast<const std::uint8_t*>(summary.data()), summary.size()), error);
}
