#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "device/HidInterfaceMatch.h"
#include "device/HidLink.h"
#include "device/IspReport.h"
#include "device/ReportHandOff.h"
#include "device/win32/HidFunctions.h"
#include "framework/OwnedHandle.h"

// The dock's HID interface over SetupAPI, HID and overlapped I/O.
//
// OpenDevice, CloseDevice, WriteReport and WakeReader are called on the window
// thread. Two threads of its own serve the link: the reader keeps one
// overlapped read outstanding while a device is open and posts each input
// report to the window, waiting until the window thread has handled it before
// it reads again; the write-completion thread frees the write record whenever
// a write has finished, so writes never share it.
class CHidDevice final : public HidLink {
public:
    // Where a failed write is reported, as one log line.
    using ErrorLine = void (*)(std::wstring_view line) noexcept;

    explicit CHidDevice(ErrorLine reportError) noexcept : m_reportError(reportError) {}
    // Closes the device and ends the threads before the buffers they use go.
    ~CHidDevice() override;
    CHidDevice(const CHidDevice&) = delete;
    CHidDevice& operator=(const CHidDevice&) = delete;

    bool OpenDevice(std::uint16_t vid, std::uint16_t pid, std::uint16_t release) override;
    void CloseDevice() override;
    bool WriteReport(const device::IspReport& report) override;
    void WakeReader() override;

    // Starts the reader and the write-completion thread, once. The reader
    // announces each input report by posting `reportMessage` to `window`,
    // whose thread then calls HandlePostedReport. 0 on success; otherwise the
    // link stays without threads and m_bThreadsStarted stays false.
    int StartThreads(HWND window, UINT reportMessage);
    // Ends both threads and waits for them; a reader waiting for its report to
    // be handled is released at once.
    void StopThreads();

    // Window thread, on the posted message: hands the report to `handler`,
    // unless the device it was read from has been closed since, and lets the
    // reader read the next one.
    template <typename Handler>
    void HandlePostedReport(Handler&& handler);

private:
    struct ReportLengths {
        std::uint16_t input = 0;
        std::uint16_t output = 0;
    };
    struct ReadEnd {
        DWORD length = 0;  // 0: nothing to deliver
        std::uint32_t openNumber = 0;
    };

    // The dock's collection behind `path`, judged through a handle without
    // access rights that is closed again before this returns.
    bool Examine(const std::wstring& path, const device::HidIdentity& wanted,
                 ReportLengths& lengths);
    void Open(std::wstring path, const ReportLengths& lengths);

    DWORD IssueWrite(const device::IspReport& report);
    // True once no write is under way; a write the device has not taken in
    // time is cancelled. False when the link is stopping.
    bool AwaitWriteIdle();
    void CancelPendingWrite();

    void ReaderThread() noexcept;
    // One turn of the reader: a read and its delivery, or a wait for a wake.
    // False when the reader is to end.
    bool ReaderTurn();
    bool StartRead();
    ReadEnd FinishRead();
    void AbandonRead();
    bool WaitForWake() const;
    void WriteCompletionThread() noexcept;

    ErrorLine m_reportError;
    const HidFunctions m_hid;

    // The read side is shared with the reader thread and guarded; the window
    // thread is the only one that changes it.
    std::mutex m_readLock;
    UniqueFileHandle m_hRead;
    std::uint16_t m_wInputReportLength = 0;
    // Counts openings and closings, so a read or a report can tell whether its
    // handle is still the current one.
    std::uint32_t m_openNumber = 0;

    // The reader thread's own: the read record and its buffer. At most one
    // read uses them; the next starts only after the previous has ended.
    device::IspReport m_readBuffer{};
    OVERLAPPED m_ovRead{};
    std::uint32_t m_readOpenNumber = 0;

    // The write side, used on the window thread.
    UniqueFileHandle m_hWrite;
    std::uint16_t m_wOutputReportLength = 0;
    device::IspReport m_writeBuffer{};
    OVERLAPPED m_ovWrite{};

    UniqueKernelHandle m_hStopEvent;  // set once, by StopThreads
    UniqueKernelHandle m_hWakeEvent;  // WakeReader: look for an open device
    UniqueKernelHandle m_hReadDone;   // the read record's event
    UniqueKernelHandle m_hWriteDone;  // the write record's event
    UniqueKernelHandle m_hWriteIdle;  // set while no write is under way
    HWND m_reportWindow = nullptr;
    UINT m_reportMessage = 0;
    ReportHandOff m_handOff;
    std::thread m_readerThread;
    std::thread m_writeThread;
};

template <typename Handler>
void CHidDevice::HandlePostedReport(Handler&& handler) {
    m_handOff.Handle([this, &handler](const ReportHandOff::Report& report) {
        // The window thread is the only one that changes m_openNumber.
        if (report.openNumber == m_openNumber) {
            const std::span<const std::uint8_t> bytes(report.bytes.data(), report.length);
            if (Trace() != nullptr) {
                Trace()->Received(bytes);
            }
            handler(bytes);
        }
    });
}
