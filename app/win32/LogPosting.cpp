#include "app/win32/LogPosting.h"

#include <memory>
#include <new>
#include <string>

#include "app/log/LogRecord.h"

HWND g_hLogTarget = nullptr;

namespace {

// The record travels with the message and the dialog releases it, which the
// static analyser cannot follow.
// NOLINTBEGIN(clang-analyzer-cplusplus.NewDeleteLeaks)
void PostRecord(std::wstring_view text, std::uint16_t value, std::int32_t kind) noexcept {
    HWND const target = g_hLogTarget;
    if (target == nullptr) {
        return;
    }
    try {
        auto record = std::make_unique<LogRecord>(LogRecord{std::wstring(text), value, kind});
        if (::PostMessageW(target, kWmIspLog, 0, reinterpret_cast<LPARAM>(record.get()))) {
            static_cast<void>(record.release());  // the dialog owns it now
        }
    } catch (const std::bad_alloc&) {
        // No memory for the record: the line is lost.
    }
}
// NOLINTEND(clang-analyzer-cplusplus.NewDeleteLeaks)

}  // namespace

void PostLogLine(std::wstring_view text) noexcept {
    PostRecord(text, 0, LogText);
}

void PostLogProgress(std::wstring_view text, std::uint16_t value) noexcept {
    PostRecord(text, value, LogProgress);
}

void ReleasePendingLogRecords(HWND target) noexcept {
    MSG message{};
    while (::PeekMessageW(&message, target, kWmIspLog, kWmIspLog, PM_REMOVE)) {
        std::unique_ptr<LogRecord>(reinterpret_cast<LogRecord*>(message.lParam)).reset();
    }
}
