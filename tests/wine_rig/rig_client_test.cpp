// The rig under Wine, seen by a client that reaches the dock the way the
// tool does: the stand-in setupapi.dll and hid.dll enumerate docksim's
// interfaces, and the client opens the dock's pipe with CreateFileW and
// talks to it with overlapped WriteFile and ReadFile. Arrivals and removals
// reach the client's own window as WM_DEVICECHANGE notices.
//
// Usage: rig_client_test.exe CASE (run by run_rig_test.sh, with docksim.exe,
// hid.dll and setupapi.dll beside it); exit status 0 when every check passed.
#include <windows.h>

// The headers declare the HID functions without C linkage; the DLL has it.
extern "C" {
#include <hidsdi.h>
}
#include <dbt.h>
#include <setupapi.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "DockSimProcess.h"
#include "HidInterfaceList.h"
#include "NoticeWindow.h"
#include "device/DockIdentity.h"
#include "device/IspAnswer.h"
#include "device/IspCommand.h"
#include "framework/OwnedHandle.h"
#include "testbed/rig/channel/ControlRequest.h"
#include "testbed/rig/channel/TextConversion.h"
#include "testbed/sim/DockSimulator.h"

namespace {

constexpr std::wstring_view kCaption = L"Dock rig client";
// docksim answers within milliseconds; the bound only keeps a broken rig
// from hanging the case.
constexpr DWORD kAnswerMs = 10000;
constexpr DWORD kRequestMs = 30000;

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

int g_failures = 0;

void Expect(bool condition, const std::string& what) {
    std::printf("%s %s\n", condition ? "ok" : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!condition) {
        ++g_failures;
    }
}

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%04x", value);
    return text;
}

std::string Described(const SeenHidInterface& seen) {
    return rig::ToUtf8(seen.path) + " vid " + Hex(seen.attributes.VendorID) + " pid " +
           Hex(seen.attributes.ProductID) + " release " + Hex(seen.attributes.VersionNumber) +
           " page " + Hex(seen.caps.UsagePage) + " usage " + Hex(seen.caps.Usage) + " in " +
           std::to_string(seen.caps.InputReportByteLength) + " out " +
           std::to_string(seen.caps.OutputReportByteLength);
}

UniqueFileHandle OpenPath(const std::wstring& path, DWORD access, DWORD flags) {
    return UniqueFileHandle(::CreateFileW(path.c_str(), access, kShareReadWrite, nullptr,
                                          OPEN_EXISTING, flags, nullptr));
}

// The dock as the tool's package names it, on its vendor-defined collection.
bool IsDock(const SeenHidInterface& seen) {
    return seen.attributes.VendorID == device::kDockVendorId &&
           seen.attributes.ProductID == device::kDockProductId &&
           seen.attributes.VersionNumber == device::kDockRelease &&
           seen.caps.UsagePage == device::kDockUsagePage && seen.caps.Usage == device::kDockUsage;
}

std::optional<SeenHidInterface> FindDock() {
    for (const SeenHidInterface& seen : PresentHidInterfaces()) {
        if (IsDock(seen)) {
            return seen;
        }
    }
    return std::nullopt;
}

// The dock opened as the tool opens it: one overlapped handle for reading,
// one for writing.
class DockConnection {
public:
    explicit DockConnection(const std::wstring& path)
        : m_read(OpenPath(path, GENERIC_READ, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL)),
          m_write(OpenPath(path, GENERIC_WRITE, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL)),
          m_readDone(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          m_writeDone(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    bool Opened() const { return m_read.IsValid() && m_write.IsValid(); }

    // Byte 0 goes out as the report ID 0x02, as the tool sends it.
    bool Write(device::IspReport report) {
        report[device::kReportIdPos] = device::kOutputReportId;
        m_writeBuffer = report;
        OVERLAPPED record{};
        record.hEvent = m_writeDone.Get();
        if (!::WriteFile(m_write.Get(), m_writeBuffer.data(), device::kReportSize, nullptr,
                         &record) &&
            ::GetLastError() != ERROR_IO_PENDING) {
            return false;
        }
        DWORD written = 0;
        return Finish(m_write.Get(), record, written) && written == device::kReportSize;
    }

    // Starts one read; Answer() waits for it.
    bool StartRead() {
        m_readBuffer.fill(0);
        m_readRecord = OVERLAPPED{};
        m_readRecord.hEvent = m_readDone.Get();
        return ::ReadFile(m_read.Get(), m_readBuffer.data(), device::kReportSize, nullptr,
                          &m_readRecord) ||
               ::GetLastError() == ERROR_IO_PENDING;
    }

    // The report the read brought, or nullopt with the read's error.
    std::optional<std::span<const std::uint8_t>> Answer(DWORD& error) {
        DWORD length = 0;
        if (!Finish(m_read.Get(), m_readRecord, length)) {
            error = ::GetLastError();
            return std::nullopt;
        }
        error = ERROR_SUCCESS;
        return std::span<const std::uint8_t>(m_readBuffer.data(), length);
    }

    std::optional<std::span<const std::uint8_t>> Exchange(const device::IspReport& report) {
        DWORD error = 0;
        if (!StartRead() || !Write(report)) {
            return std::nullopt;
        }
        return Answer(error);
    }

private:
    // Waits, bounded, for an overlapped operation; a late one is cancelled
    // and then waited for, so its record may go.
    static bool Finish(HANDLE file, OVERLAPPED& record, DWORD& bytes) {
        if (::WaitForSingleObject(record.hEvent, kAnswerMs) != WAIT_OBJECT_0) {
            ::CancelIoEx(file, &record);
        }
        return ::GetOverlappedResult(file, &record, &bytes, TRUE) != FALSE;
    }

    UniqueFileHandle m_read;
    UniqueFileHandle m_write;
    UniqueKernelHandle m_readDone;
    UniqueKernelHandle m_writeDone;
    OVERLAPPED m_readRecord{};
    device::IspReport m_readBuffer{};
    device::IspReport m_writeBuffer{};
};

void ExpectMode(std::optional<std::span<const std::uint8_t>> answer, device::DeviceMode wanted,
                const std::string& what) {
    const bool answered = answer.has_value() && answer->size() == device::kReportSize;
    Expect(answered, what + ": a 64-byte answer to the mode query");
    if (!answered) {
        return;
    }
    Expect(device::AnsweredCode(*answer) == device::USBUID_ISP_EFM8_CMD_DEVICE_STATUS,
           what + ": the answer names the mode query");
    Expect(device::DecodeModeAnswer(*answer) == wanted,
           what + (wanted == device::DeviceMode::Application ? ": application mode"
                                                             : ": bootloader mode"));
}

std::string Ask(std::string_view request) {
    return rig::AskDockSim(request, kRequestMs).value_or("<no reply>");
}

bool Told(const NoticeWindow::Notice& notice, WPARAM kind, const std::wstring& path) {
    return notice.kind == kind && notice.name == path;
}

// ---------------------------------------------------------------------------
// Cases

// Foreign interfaces around the dock: each shows what docksim was told, the
// dock is found among them and answers the mode query.
void QueryMode() {
    const std::vector<SeenHidInterface> seen = PresentHidInterfaces();
    for (const SeenHidInterface& entry : seen) {
        std::printf("info seen %s\n", Described(entry).c_str());
    }
    struct Wanted {
        USHORT vid, pid, release, page, usage, in, out;
    };
    const Wanted wanted[] = {
        {0x046D, 0xC077, 0x0100, 0x0001, 0x0002, 5, 0},    // another maker's mouse
        {0x10C4, 0xF607, 0x0101, 0xFF00, 0x0002, 64, 64},  // another release
        {0x10C4, 0xF608, 0x0100, 0xFF00, 0x0002, 64, 64},  // another product
        {0x10C4, 0xF607, 0x0100, 0xFF00, 0x0002, 64, 64},  // the dock
        {0x10C4, 0xF607, 0x0100, 0xFF00, 0x0001, 32, 32},  // the dock's second collection
    };
    Expect(seen.size() == std::size(wanted),
           "enumeration: " + std::to_string(seen.size()) + " interfaces");
    for (std::size_t i = 0; i < seen.size() && i < std::size(wanted); ++i) {
        const Wanted& w = wanted[i];
        const SeenHidInterface& s = seen[i];
        Expect(s.attributes.VendorID == w.vid && s.attributes.ProductID == w.pid &&
                   s.attributes.VersionNumber == w.release && s.caps.UsagePage == w.page &&
                   s.caps.Usage == w.usage && s.caps.InputReportByteLength == w.in &&
                   s.caps.OutputReportByteLength == w.out &&
                   s.path == L"\\\\.\\pipe\\docksim-" + std::to_wstring(i),
               "interface " + std::to_string(i) + ": " + Described(s));
    }
    const std::optional<SeenHidInterface> dock = FindDock();
    Expect(dock && dock->path == L"\\\\.\\pipe\\docksim-3", "the dock is interface 3");
    if (!dock) {
        return;
    }
    DockConnection connection(dock->path);
    Expect(connection.Opened(), "dock opened for reading and for writing");

    const device::IspReport query = device::BuildDeviceStatusCommand();
    constexpr std::uint8_t kHead[] = {0x02, 0x03, 0xFE, 0xFF, 0x07};
    Expect(std::equal(std::begin(kHead), std::end(kHead), query.begin()) &&
               query[device::kTrailerPos] == device::kTrailer,
           "mode query reads 02 03 FE FF 07 ... 5A");
    ExpectMode(connection.Exchange(query), device::DeviceMode::Application, "dock");

    const std::string status = Ask("status");
    Expect(status.starts_with("ok\nreports=1\nmode=application\n") &&
               status.find("protocol-error") == std::string::npos,
           "docksim took one report and saw no protocol error: " + status);

    // The stand-ins refuse what is not theirs, as the system's DLLs do.
    const UniqueFileHandle ownFile = OpenPath(L"docksim.exe", 0, FILE_ATTRIBUTE_NORMAL);
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    Expect(ownFile.IsValid() && !::HidD_GetAttributes(ownFile.Get(), &attributes),
           "HidD_GetAttributes refuses a handle on a plain file");
    GUID otherClass = GUID_NULL;
    HDEVINFO other = ::SetupDiGetClassDevsW(&otherClass, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    Expect(other != INVALID_HANDLE_VALUE &&
               !::SetupDiEnumDeviceInterfaces(other, nullptr, &otherClass, 0, &data) &&
               ::GetLastError() == ERROR_NO_MORE_ITEMS,
           "no interfaces of another class");
    Expect(::SetupDiDestroyDeviceInfoList(other) && !::SetupDiDestroyDeviceInfoList(other),
           "a device information set is destroyed once");
}

// Unplugging breaks the open handles and tells the window; plugging in tells
// it again and the dock answers on a new handle.
void RemovalAndArrival(NoticeWindow& window) {
    const std::optional<SeenHidInterface> dock = FindDock();
    Expect(dock.has_value(), "dock present");
    if (!dock) {
        return;
    }
    DockConnection connection(dock->path);
    Expect(connection.Opened() && connection.StartRead(), "dock opened, read outstanding");

    Expect(Ask("unplug") == "ok\n", "docksim unplugs the dock");
    std::vector<NoticeWindow::Notice> notices = window.WaitForNotices(1, kAnswerMs);
    Expect(notices.size() == 1 && Told(notices[0], DBT_DEVICEREMOVECOMPLETE, dock->path),
           "window told of the removal of " + rig::ToUtf8(dock->path));
    DWORD error = 0;
    const bool answered = connection.Answer(error).has_value();
    Expect(!answered && error == ERROR_BROKEN_PIPE,
           "the outstanding read ended with error " + std::to_string(error));
    Expect(!FindDock(), "the dock is gone from the enumeration");
    const bool written = connection.Write(device::BuildDeviceStatusCommand());
    const DWORD writeError = ::GetLastError();
    Expect(!written,
           "a write on the removed dock fails (error " + std::to_string(writeError) + ")");

    Expect(Ask("plug") == "ok\n", "docksim plugs the dock in");
    notices = window.WaitForNotices(2, kAnswerMs);
    Expect(notices.size() == 2 && Told(notices[1], DBT_DEVICEARRIVAL, dock->path),
           "window told of the arrival of " + rig::ToUtf8(dock->path));
    const std::optional<SeenHidInterface> back = FindDock();
    Expect(back && back->path == dock->path, "the dock is back under its path");
    if (back) {
        DockConnection again(back->path);
        ExpectMode(again.Exchange(device::BuildDeviceStatusCommand()),
                   device::DeviceMode::Application, "re-plugged dock");
    }
}

// The restart command: the dock answers, leaves, comes back in its
// bootloader, and the window hears both.
void RestartIntoBootloader(NoticeWindow& window) {
    const std::optional<SeenHidInterface> dock = FindDock();
    Expect(dock.has_value(), "dock present");
    if (!dock) {
        return;
    }
    DockConnection connection(dock->path);
    const auto answer = connection.Exchange(device::BuildJumpIspCommand());
    Expect(answer && device::AnsweredCode(*answer) == device::USBUID_ISP_EFM8_CMD_JUMP_ISP &&
               device::DecodeStatus(*answer) == 0,
           "the dock confirms the restart");
    const std::vector<NoticeWindow::Notice> notices = window.WaitForNotices(2, kAnswerMs);
    Expect(notices.size() == 2 && Told(notices[0], DBT_DEVICEREMOVECOMPLETE, dock->path) &&
               Told(notices[1], DBT_DEVICEARRIVAL, dock->path),
           "window told of the removal, then the arrival");
    const std::optional<SeenHidInterface> back = FindDock();
    if (back) {
        DockConnection again(back->path);
        ExpectMode(again.Exchange(device::BuildDeviceStatusCommand()),
                   device::DeviceMode::Bootloader, "restarted dock");
    } else {
        Expect(false, "the dock is back after its restart");
    }
}

// Each open handle of the collection gets its own copy of an answer, as with
// a HID collection; a handle that only writes loses nothing for the others.
void EveryReaderGetsTheAnswer() {
    const std::optional<SeenHidInterface> dock = FindDock();
    Expect(dock.has_value(), "dock present");
    if (!dock) {
        return;
    }
    DockConnection first(dock->path);
    DockConnection second(dock->path);
    Expect(second.StartRead(), "a second reader waits");
    ExpectMode(first.Exchange(device::BuildDeviceStatusCommand()), device::DeviceMode::Application,
               "first reader");
    DWORD error = 0;
    ExpectMode(second.Answer(error), device::DeviceMode::Application, "second reader");
}

// Faults armed and the chips dumped while docksim runs, by request.
void RequestsWhileRunning() {
    const std::optional<SeenHidInterface> dock = FindDock();
    Expect(dock.has_value(), "dock present");
    if (!dock) {
        return;
    }
    DockConnection connection(dock->path);
    Expect(Ask("fault chip1-flash-error") == "ok\n", "docksim arms a fault on request");
    const auto answer = connection.Exchange(device::BuildTiInitialCommand());
    Expect(answer && device::AnsweredCode(*answer) == device::USBUID_ISP_EFM8_CMD_TI_INITIAL &&
               device::DecodeStatus(*answer) == sim::kStatusFailed,
           "chip 1's prepare fails as armed");
    Expect(Ask("fault no-such-fault").starts_with("error\n"), "an unknown fault is refused");
    Expect(Ask("no-such-request").starts_with("error\n"), "an unknown request is refused");

    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, folder);
    const std::wstring dumpDir = std::wstring(folder, length) + L"\\dump";
    Expect(Ask("dump " + rig::ToUtf8(dumpDir)) == "ok\n", "docksim dumps the chips on request");
    const UniqueFileHandle summary =
        OpenPath(dumpDir + L"\\summary.txt", GENERIC_READ, FILE_ATTRIBUTE_NORMAL);
    char text[256] = {};
    DWORD read = 0;
    const bool readable =
        summary.IsValid() && ::ReadFile(summary.Get(), text, sizeof(text) - 1, &read, nullptr);
    const std::string_view written(text, read);
    Expect(readable && written.starts_with("reports=1\nmode=application\n"),
           "the dump's summary counts one report and the application mode");
}

// The dock takes the time it is given for each answer.
void PacedAnswers() {
    const std::optional<SeenHidInterface> dock = FindDock();
    Expect(dock.has_value(), "dock present");
    if (!dock) {
        return;
    }
    DockConnection connection(dock->path);
    const ULONGLONG start = ::GetTickCount64();
    ExpectMode(connection.Exchange(device::BuildDeviceStatusCommand()),
               device::DeviceMode::Application, "paced dock");
    const ULONGLONG took = ::GetTickCount64() - start;
    Expect(took >= 300, "the answer took " + std::to_string(took) + " ms, at least 300");
}

// Without docksim the machine has no HID interfaces at all.
void WithoutDocksim() {
    Expect(PresentHidInterfaces().empty(), "no interfaces without docksim");
}

struct Case {
    std::string_view name;
    std::optional<std::wstring_view> docksimOptions;  // nullopt: no docksim runs
    std::function<void(NoticeWindow&)> run;
};

const Case kCases[] = {
    {"query_mode",
     L"--interface vid=0x046d,pid=0xc077,page=0x0001,usage=0x0002,in=5,out=0 "
     L"--interface release=0x0101 --interface pid=0xf608 --dock default "
     L"--interface dock=1,usage=0x0001,in=32,out=32",
     [](NoticeWindow&) { QueryMode(); }},
    {"removal_arrival", L"", RemovalAndArrival},
    {"restart_into_bootloader", L"", RestartIntoBootloader},
    {"every_reader_gets_the_answer", L"", [](NoticeWindow&) { EveryReaderGetsTheAnswer(); }},
    {"requests_while_running", L"", [](NoticeWindow&) { RequestsWhileRunning(); }},
    {"paced_answers", L"--answer-delay-us 300000", [](NoticeWindow&) { PacedAnswers(); }},
    {"without_docksim", std::nullopt, [](NoticeWindow&) { WithoutDocksim(); }},
};

}  // namespace

int main(int argc, char** argv) {
    const Case* chosen = nullptr;
    for (const Case& known : kCases) {
        if (argc == 2 && known.name == argv[1]) {
            chosen = &known;
        }
    }
    if (chosen == nullptr) {
        std::fprintf(stderr, "usage: rig_client_test.exe CASE\n");
        return 2;
    }
    NoticeWindow window{std::wstring(kCaption)};
    Expect(window.Exists(), "the client's window exists");
    if (!chosen->docksimOptions) {
        chosen->run(window);
    } else if (std::optional<DockSimProcess> docksim =
                   DockSimProcess::Start(L"--notify-caption \"" + std::wstring(kCaption) + L"\" " +
                                         std::wstring(*chosen->docksimOptions))) {
        Expect(true, "docksim started and takes requests");
        chosen->run(window);
        const std::optional<DWORD> exitCode = docksim->Quit();
        Expect(exitCode == 0u, "docksim quit with exit code 0");
    } else {
        Expect(false, "docksim started and takes requests");
    }
    std::printf("%s: %d failure(s)\n", argv[1], g_failures);
    return g_failures == 0 ? 0 : 1;
}
