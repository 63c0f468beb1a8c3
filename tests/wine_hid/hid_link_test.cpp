// Runs the Win32 HID link against the HID interfaces that Wine itself
// presents (its virtual keyboard and mouse, and whatever else the machine
// has). None of them is a dock, so the link must match none, leave the flags
// the product-ID message relies on, and keep no handle open.
//
// Usage: wine_hid_test.exe CASE; exit status 0 when every check passed,
// 77 when the machine lacks what the case needs.

#include <windows.h>

#include <setupapi.h>
// The HID headers declare C functions without saying so.
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "HidInterfaceList.h"
#include "device/DockIdentity.h"
#include "device/HidLinkState.h"
#include "device/win32/CHidDevice.h"

namespace {

constexpr int kSkipped = 77;

using device::kDockRelease;
constexpr std::uint16_t kDockVendor = device::kDockVendorId;
constexpr std::uint16_t kDockProduct = device::kDockProductId;

constexpr UINT kReportMessage = WM_APP + 1;

int g_failures = 0;

void Check(bool condition, const char* what) {
    std::printf("%s %s\n", condition ? "ok" : "FAIL", what);
    if (!condition) {
        ++g_failures;
    }
}

// This process's open handles, from the system's handle table: Wine does not
// count them for GetProcessHandleCount. 0 when the table cannot be read.
DWORD HandleCount() {
    struct HandleEntry {
        ULONG processId;
        BYTE objectType;
        BYTE flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    struct HandleTable {
        ULONG count;
        HandleEntry entries[1];
    };
    using QuerySystemInformation = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kBufferTooSmall = static_cast<LONG>(0xC0000004);

    const auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) {
        return 0;
    }
    std::vector<std::uint64_t> table(1 << 16);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, table.data(),
                                  static_cast<ULONG>(table.size() * sizeof(table[0])), &needed);
        if (status == kBufferTooSmall) {
            table.resize(table.size() * 2);
            continue;
        }
        if (status != 0) {
            return 0;
        }
        break;
    }
    const auto* const handles = reinterpret_cast<const HandleTable*>(table.data());
    const std::size_t room =
        (table.size() * sizeof(table[0]) - offsetof(HandleTable, entries)) / sizeof(HandleEntry);
    DWORD count = 0;
    for (std::size_t i = 0; i < handles->count && i < room; ++i) {
        count += handles->entries[i].processId == ::GetCurrentProcessId() ? 1 : 0;
    }
    return count;
}

// What the test itself finds on the machine, examined as the link examines
// it, in the same order: the expectations come from here.
struct PresentInterface {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t release = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
};

std::vector<PresentInterface> PresentInterfaces() {
    std::vector<PresentInterface> found;
    for (const SeenHidInterface& seen : PresentHidInterfaces()) {
        if (!seen.examined) {
            continue;
        }
        const PresentInterface present{.vendorId = seen.attributes.VendorID,
                                       .productId = seen.attributes.ProductID,
                                       .release = seen.attributes.VersionNumber,
                                       .usagePage = seen.caps.UsagePage,
                                       .usage = seen.caps.Usage};
        std::printf("info interface %04X:%04X release %04X usage %04X:%04X\n", present.vendorId,
                    present.productId, present.release, present.usagePage, present.usage);
        found.push_back(present);
    }
    return found;
}

std::vector<std::wstring> g_errorLines;
void RecordErrorLine(std::wstring_view line) noexcept {
    g_errorLines.emplace_back(line);
}

void CheckClosed(const HidLinkState& state) {
    Check(!state.m_bOpen, "no interface counts as open");
    Check(!state.m_bReadOpen && !state.m_bWriteOpen, "no read or write handle is open");
    Check(state.m_strDevicePath.empty(), "no device path is kept");
}

// Searches three times: the first search may leave the system's own caches
// behind, every later one must end with as many handles as it began with.
void SearchWithoutLeaks(CHidDevice& link, std::uint16_t vid, std::uint16_t pid,
                        std::uint16_t release) {
    Check(!link.OpenDevice(vid, pid, release), "the search matches nothing");
    const DWORD before = HandleCount();
    Check(!link.OpenDevice(vid, pid, release), "a second search matches nothing");
    Check(!link.OpenDevice(vid, pid, release), "a third search matches nothing");
    const DWORD after = HandleCount();
    std::printf("info handles before %lu, after %lu\n", static_cast<unsigned long>(before),
                static_cast<unsigned long>(after));
    Check(before != 0 && after == before, "searching leaves no handle open");
    CheckClosed(link.State());
}

int DockAbsent(const std::vector<PresentInterface>& present) {
    for (const PresentInterface& candidate : present) {
        if (candidate.vendorId == kDockVendor) {
            std::printf("skip: a device with the dock's vendor ID is present\n");
            return kSkipped;
        }
    }
    CHidDevice link(&RecordErrorLine);
    SearchWithoutLeaks(link, kDockVendor, kDockProduct, kDockRelease);
    Check(!link.State().m_bVendorSeen, "the dock's vendor was not seen");
    Check(link.State().m_wSeenProductId == HidLinkState::kNoProductIdSeen,
          "no other product of the dock's vendor was seen");
    return 0;
}

// The vendor of the last interface examined, with a product it does not have:
// the vendor counts as seen and the product ID of its last interface is kept.
int OtherProduct(const std::vector<PresentInterface>& present) {
    if (present.empty()) {
        std::printf("skip: Wine presents no HID interface here\n");
        return kSkipped;
    }
    const std::uint16_t vendor = present.back().vendorId;
    std::uint16_t missingProduct = kDockProduct;
    while (std::any_of(present.begin(), present.end(), [&](const PresentInterface& candidate) {
        return candidate.vendorId == vendor && candidate.productId == missingProduct;
    })) {
        ++missingProduct;
    }
    CHidDevice link(&RecordErrorLine);
    SearchWithoutLeaks(link, vendor, missingProduct, kDockRelease);
    Check(link.State().m_bVendorSeen, "the last interface's vendor counts as seen");
    Check(link.State().m_wSeenProductId == present.back().productId,
          "the last interface's product ID is kept for the message");
    return 0;
}

// An interface's own IDs and release, whose collection is not the dock's
// vendor-defined one, is passed over at the capability test.
int OtherCollection(const std::vector<PresentInterface>& present) {
    for (const PresentInterface& candidate : present) {
        if (candidate.usagePage != 0xFF00 || candidate.usage != 0x0002) {
            CHidDevice link(&RecordErrorLine);
            SearchWithoutLeaks(link, candidate.vendorId, candidate.productId, candidate.release);
            Check(link.State().m_bVendorSeen == (candidate.vendorId == present.back().vendorId),
                  "the vendor flag follows the last interface examined");
            return 0;
        }
    }
    std::printf("skip: no interface with another collection is present\n");
    return kSkipped;
}

// One life of a link: its threads start and stop whether or not a device was
// ever open, and every failed write is reported once.
void ThreadCycle(HWND window) {
    g_errorLines.clear();
    {
        CHidDevice link(&RecordErrorLine);
        Check(!link.WriteReport(device::IspReport{}), "a write before the threads run fails");
        Check(link.StartThreads(window, kReportMessage) == 0, "the threads start");
        Check(link.State().m_bThreadsStarted, "the link says its threads run");
        Check(link.StartThreads(window, kReportMessage) == 0, "starting again changes nothing");
        link.WakeReader();
        link.WakeReader();
        Check(!link.OpenDevice(kDockVendor, kDockProduct, kDockRelease), "no dock is found");
        Check(!link.WriteReport(device::IspReport{}), "a write without a device fails");
        link.CloseDevice();
        link.StopThreads();
        Check(!link.State().m_bThreadsStarted, "the threads have ended");
        Check(link.StartThreads(window, kReportMessage) != 0,
              "a stopped link does not start again");
    }
    for (const std::wstring& line : g_errorLines) {
        std::printf("info error line: %ls\n", line.c_str());
    }
    Check(g_errorLines.size() == 2 && g_errorLines[0] == L"Send Error,Error Code is:0x15",
          "a write before the threads run reports that the link is not ready");
    Check(g_errorLines.size() == 2 && g_errorLines[1] == L"Send Error,Error Code is:0x6",
          "a write without a device reports the missing handle");
    MSG message{};
    Check(!::PeekMessageW(&message, window, kReportMessage, kReportMessage, PM_REMOVE),
          "no report was posted without a device");
}

int Threads() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"WineHidTestSink";
    Check(::RegisterClassW(&windowClass) != 0, "the report window's class is registered");
    HWND const window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0,
                                          HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
    Check(window != nullptr, "the report window exists");

    // The first life may leave the runtime's own thread bookkeeping behind.
    // The runtime's locks also make their event on their first contention,
    // which may come in any later life (seen: one event now and then), so the
    // link is judged over several lives: a handle left by each would add one
    // per life.
    constexpr DWORD kLives = 5;
    ThreadCycle(window);
    const DWORD before = HandleCount();
    for (DWORD life = 0; life < kLives; ++life) {
        ThreadCycle(window);
    }
    const DWORD after = HandleCount();
    std::printf("info handles before %lu, after %lu more lives: %lu\n",
                static_cast<unsigned long>(before), static_cast<unsigned long>(kLives),
                static_cast<unsigned long>(after));
    Check(before != 0 && after < before + kLives, "threads and events are gone with the link");
    ::DestroyWindow(window);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::printf(
            "usage: wine_hid_test CASE (dock_absent, other_product, other_collection, threads)\n");
        return 2;
    }
    const std::wstring_view name = argv[1];
    int status = 2;
    if (name == L"threads") {
        status = Threads();
    } else {
        const std::vector<PresentInterface> present = PresentInterfaces();
        std::printf("info %zu HID interfaces present\n", present.size());
        if (name == L"dock_absent") {
            status = DockAbsent(present);
        } else if (name == L"other_product") {
            status = OtherProduct(present);
        } else if (name == L"other_collection") {
            status = OtherCollection(present);
        } else {
            std::printf("unknown case\n");
        }
    }
    if (status == 0 && g_failures > 0) {
        status = 1;
    }
    std::printf("%s\n", status == 0 ? "PASS" : (status == kSkipped ? "SKIPPED" : "FAILED"));
    return status;
}
