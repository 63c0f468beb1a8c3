#include "device/win32/CHidDevice.h"

#include <cwchar>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include "device/HidInterfaceMatch.h"

namespace {

// The interface set and the preparsed data go back through the library that
// gave them.
using UniqueDeviceInfoSet = std::unique_ptr<void, decltype(HidFunctions::DestroyDeviceInfoList)>;
using UniquePreparsedData = std::unique_ptr<std::remove_pointer_t<PHIDP_PREPARSED_DATA>,
                                            decltype(HidFunctions::FreePreparsedData)>;

constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

// How long a write may stay unfinished before the next one replaces it. The
// dock takes a report within milliseconds; one it does not take is stuck.
constexpr DWORD kWriteDrainMs = 1000;

UniqueFileHandle OpenInterface(const std::wstring& path, DWORD access, DWORD flags) {
    return UniqueFileHandle(::CreateFileW(path.c_str(), access, kShareReadWrite, nullptr,
                                          OPEN_EXISTING, flags, nullptr));
}

// The device path of one interface of the set, or nothing when the system
// cannot give it.
std::optional<std::wstring> InterfacePath(const HidFunctions& hid, HDEVINFO set,
                                          SP_DEVICE_INTERFACE_DATA& interfaceData) {
    DWORD required = 0;
    hid.GetDeviceInterfaceDetail(set, &interfaceData, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        return std::nullopt;
    }
    // DWORD elements give the detail record its alignment.
    std::vector<DWORD> buffer((required + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto* const detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!hid.GetDeviceInterfaceDetail(set, &interfaceData, detail, required, nullptr, nullptr)) {
        return std::nullopt;
    }
    // The path ends where the record does, even without its terminator.
    const std::size_t room =
        (required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
    return std::wstring(detail->DevicePath, ::wcsnlen(detail->DevicePath, room));
}

}  // namespace

CHidDevice::~CHidDevice() {
    CloseDevice();
    StopThreads();
}

// ---------------------------------------------------------------------------
// Finding and opening the dock's interface

bool CHidDevice::OpenDevice(std::uint16_t vid, std::uint16_t pid, std::uint16_t release) {
    device::BeginSearch(State());
    // Without the system's HID libraries no dock can be found, as when none
    // is attached.
    if (!m_hid.IsComplete()) {
        return false;
    }
    GUID hidClass{};
    m_hid.GetHidGuid(&hidClass);
    const HDEVINFO set =
        m_hid.GetClassDevs(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return false;
    }
    const UniqueDeviceInfoSet interfaces(set, m_hid.DestroyDeviceInfoList);
    const device::HidIdentity wanted{.vendorId = vid, .productId = pid, .versionNumber = release};
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof(interfaceData);
    try {
        for (DWORD index = 0;
             m_hid.EnumDeviceInterfaces(set, nullptr, &hidClass, index, &interfaceData); ++index) {
            std::optional<std::wstring> path = InterfacePath(m_hid, set, interfaceData);
            ReportLengths lengths;
            if (path && Examine(*path, wanted, lengths)) {
                Open(std::move(*path), lengths);
                return true;
            }
        }
    } catch (const std::bad_alloc&) {
        // No memory for an interface's path: as if nothing had matched.
    }
    return false;
}

bool CHidDevice::Examine(const std::wstring& path, const device::HidIdentity& wanted,
                         ReportLengths& lengths) {
    // No access rights are needed for attributes and capabilities, so
    // interfaces that others hold open exclusively can be examined too.
    const UniqueFileHandle probe = OpenInterface(path, 0, FILE_ATTRIBUTE_NORMAL);
    if (!probe.IsValid()) {
        return false;
    }
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!m_hid.GetAttributes(probe.Get(), &attributes)) {
        return false;
    }
    const device::HidIdentity seen{.vendorId = attributes.VendorID,
                                   .productId = attributes.ProductID,
                                   .versionNumber = attributes.VersionNumber};
    if (!device::AttributesMatch(seen, wanted, State())) {
        return false;
    }
    PHIDP_PREPARSED_DATA rawPreparsed = nullptr;
    if (!m_hid.GetPreparsedData(probe.Get(), &rawPreparsed)) {
        return false;
    }
    const UniquePreparsedData preparsed(rawPreparsed, m_hid.FreePreparsedData);
    HIDP_CAPS caps{};
    if (m_hid.GetCaps(preparsed.get(), &caps) != HIDP_STATUS_SUCCESS ||
        !device::CapsMatch(caps.UsagePage, caps.Usage)) {
        return false;
    }
    lengths =
        ReportLengths{.input = caps.InputReportByteLength, .output = caps.OutputReportByteLength};
    return true;
}

void CHidDevice::Open(std::wstring path, const ReportLengths& lengths) {
    // A device opened before goes first: its read ends with its handle, and
    // the reader goes on with the new one.
    CloseDevice();
    {
        const std::lock_guard lock(m_readLock);
        m_wInputReportLength = device::BoundedReportLength(lengths.input);
        m_hRead = OpenInterface(path, GENERIC_READ, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL);
    }
    m_wOutputReportLength = device::BoundedReportLength(lengths.output);
    m_hWrite = OpenInterface(path, GENERIC_WRITE, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL);

    HidLinkState& state = State();
    state.m_bOpen = true;
    state.m_bReadOpen = m_hRead.IsValid();
    state.m_bWriteOpen = m_hWrite.IsValid();
    state.m_strDevicePath = std::move(path);
    if (Trace() != nullptr) {
        Trace()->Opened(state.m_strDevicePath, m_wInputReportLength, m_wOutputReportLength);
    }
}

void CHidDevice::CloseDevice() {
    if (Trace() != nullptr && (m_hRead.IsValid() || m_hWrite.IsValid())) {
        Trace()->Closed();
    }
    State().m_bReadOpen = false;
    State().m_bWriteOpen = false;
    {
        const std::lock_guard lock(m_readLock);
        if (m_hRead.IsValid()) {
            // The outstanding read ends now; the reader sees that its handle
            // is gone and delivers nothing.
            ::CancelIoEx(m_hRead.Get(), nullptr);
            m_hRead.Reset();
        }
        ++m_openNumber;
    }
    if (m_hWrite.IsValid()) {
        CancelPendingWrite();
        m_hWrite.Reset();
    }
}

// ---------------------------------------------------------------------------
// Writing

bool CHidDevice::WriteReport(const device::IspReport& report) {
    const DWORD error = IssueWrite(report);
    if (error == ERROR_SUCCESS) {
        if (Trace() != nullptr) {
            Trace()->Sent(
                std::span<const std::uint8_t>(m_writeBuffer.data(), m_wOutputReportLength));
        }
        return true;
    }
    if (Trace() != nullptr) {
        Trace()->WriteFailed(error);
    }
    wchar_t line[48];
    const int length = std::swprintf(line, std::size(line), L"Send Error,Error Code is:0x%x",
                                     static_cast<unsigned>(error));
    if (length > 0) {
        m_reportError(std::wstring_view(line, static_cast<std::size_t>(length)));
    }
    return false;
}

DWORD CHidDevice::IssueWrite(const device::IspReport& report) {
    // Without the write-completion thread nothing would free the write record.
    if (!State().m_bThreadsStarted) {
        return ERROR_NOT_READY;
    }
    if (!m_hWrite.IsValid()) {
        return ERROR_INVALID_HANDLE;
    }
    if (!AwaitWriteIdle()) {
        return ERROR_OPERATION_ABORTED;
    }
    m_writeBuffer = report;
    m_writeBuffer[device::kReportIdPos] = device::kOutputReportId;
    m_ovWrite = OVERLAPPED{};
    m_ovWrite.hEvent = m_hWriteDone.Get();
    ::ResetEvent(m_hWriteIdle.Get());
    if (::WriteFile(m_hWrite.Get(), m_writeBuffer.data(), m_wOutputReportLength, nullptr,
                    &m_ovWrite)) {
        return ERROR_SUCCESS;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_IO_PENDING) {
        return ERROR_SUCCESS;  // it finishes in the background
    }
    ::SetEvent(m_hWriteIdle.Get());  // nothing is under way
    return error;
}

bool CHidDevice::AwaitWriteIdle() {
    const HANDLE idleOrStop[] = {m_hWriteIdle.Get(), m_hStopEvent.Get()};
    DWORD wait = ::WaitForMultipleObjects(2, idleOrStop, FALSE, kWriteDrainMs);
    if (wait == WAIT_TIMEOUT) {
        // The device has not taken the previous report: the new one replaces it.
        ::CancelIoEx(m_hWrite.Get(), &m_ovWrite);
        wait = ::WaitForMultipleObjects(2, idleOrStop, FALSE, INFINITE);
    }
    return wait == WAIT_OBJECT_0;
}

void CHidDevice::CancelPendingWrite() {
    if (!m_hWriteIdle.IsValid() || ::WaitForSingleObject(m_hWriteIdle.Get(), 0) == WAIT_OBJECT_0) {
        return;  // no write under way
    }
    ::CancelIoEx(m_hWrite.Get(), nullptr);
    // The write record and buffer stay in use until the cancelled write has
    // ended: the write-completion thread tells, or, once it has gone, the
    // record's own event, which nobody resets any more.
    ::WaitForSingleObject(m_writeThread.joinable() ? m_hWriteIdle.Get() : m_hWriteDone.Get(),
                          INFINITE);
}

void CHidDevice::WriteCompletionThread() noexcept {
    const HANDLE doneOrStop[] = {m_hWriteDone.Get(), m_hStopEvent.Get()};
    while (::WaitForMultipleObjects(2, doneOrStop, FALSE, INFINITE) == WAIT_OBJECT_0) {
        // Whatever the write's outcome, its record is free again: the dock's
        // answer, not the write's result, moves a run on.
        ::ResetEvent(m_hWriteDone.Get());
        ::SetEvent(m_hWriteIdle.Get());
    }
}

// ---------------------------------------------------------------------------
// Reading

void CHidDevice::WakeReader() {
    if (m_hWakeEvent.IsValid()) {
        ::SetEvent(m_hWakeEvent.Get());
    }
}

void CHidDevice::ReaderThread() noexcept {
    try {
        while (ReaderTurn()) {
        }
    } catch (const std::system_error&) {
        // A lock that cannot be taken ends the reader; nothing more is read.
    }
}

bool CHidDevice::ReaderTurn() {
    if (!StartRead()) {
        return WaitForWake();
    }
    const HANDLE doneOrStop[] = {m_hReadDone.Get(), m_hStopEvent.Get()};
    if (::WaitForMultipleObjects(2, doneOrStop, FALSE, INFINITE) != WAIT_OBJECT_0) {
        AbandonRead();
        return false;
    }
    const ReadEnd end = FinishRead();
    if (end.length == 0) {
        return true;
    }
    if (!m_handOff.Offer(std::span<const std::uint8_t>(m_readBuffer.data(), end.length),
                         end.openNumber)) {
        return false;
    }
    // Posted, never sent: the window thread may itself be waiting for this
    // thread to end.
    if (!::PostMessageW(m_reportWindow, m_reportMessage, 0, 0)) {
        m_handOff.Withdraw();
        return true;
    }
    return m_handOff.WaitHandled();
}

bool CHidDevice::StartRead() {
    const std::lock_guard lock(m_readLock);
    if (!m_hRead.IsValid() || m_wInputReportLength == 0) {
        return false;
    }
    m_readBuffer.fill(0);
    m_ovRead = OVERLAPPED{};
    m_ovRead.hEvent = m_hReadDone.Get();
    if (!::ReadFile(m_hRead.Get(), m_readBuffer.data(), m_wInputReportLength, nullptr, &m_ovRead) &&
        ::GetLastError() != ERROR_IO_PENDING) {
        // A device that refuses reads at once is gone or broken: the reader
        // waits for the next scan instead of asking again and again.
        return false;
    }
    m_readOpenNumber = m_openNumber;
    return true;
}

CHidDevice::ReadEnd CHidDevice::FinishRead() {
    const std::lock_guard lock(m_readLock);
    if (m_readOpenNumber != m_openNumber) {
        return {};  // the handle was closed meanwhile: the report went with it
    }
    DWORD length = 0;
    if (!::GetOverlappedResult(m_hRead.Get(), &m_ovRead, &length, FALSE)) {
        return {};
    }
    return ReadEnd{.length = length, .openNumber = m_readOpenNumber};
}

void CHidDevice::AbandonRead() {
    {
        const std::lock_guard lock(m_readLock);
        if (m_readOpenNumber == m_openNumber) {
            ::CancelIoEx(m_hRead.Get(), &m_ovRead);
        }
    }
    // The record and the buffer belong to the read until it has ended.
    ::WaitForSingleObject(m_hReadDone.Get(), INFINITE);
}

bool CHidDevice::WaitForWake() const {
    const HANDLE wakeOrStop[] = {m_hWakeEvent.Get(), m_hStopEvent.Get()};
    return ::WaitForMultipleObjects(2, wakeOrStop, FALSE, INFINITE) == WAIT_OBJECT_0;
}

// ---------------------------------------------------------------------------
// Threads

int CHidDevice::StartThreads(HWND window, UINT reportMessage) {
    // Once only: a stopped link stays stopped.
    if (m_hStopEvent.IsValid()) {
        return State().m_bThreadsStarted ? 0 : 1;
    }
    m_hStopEvent.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_hWakeEvent.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_hReadDone.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_hWriteDone.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_hWriteIdle.Reset(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    if (!m_hStopEvent.IsValid() || !m_hWakeEvent.IsValid() || !m_hReadDone.IsValid() ||
        !m_hWriteDone.IsValid() || !m_hWriteIdle.IsValid()) {
        return 1;
    }
    m_reportWindow = window;
    m_reportMessage = reportMessage;
    try {
        m_readerThread = std::thread(&CHidDevice::ReaderThread, this);
        m_writeThread = std::thread(&CHidDevice::WriteCompletionThread, this);
    } catch (const std::system_error&) {
        StopThreads();
        return 2;
    }
    State().m_bThreadsStarted = true;
    return 0;
}

void CHidDevice::StopThreads() {
    if (m_hStopEvent.IsValid()) {
        ::SetEvent(m_hStopEvent.Get());
    }
    m_handOff.Stop();
    if (m_writeThread.joinable()) {
        m_writeThread.join();
    }
    if (m_readerThread.joinable()) {
        m_readerThread.join();
    }
    State().m_bThreadsStarted = false;
}
