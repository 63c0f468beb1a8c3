#include "app/win32/LogPosting.h"

#include <memory>
#include <string>

#include "app/LogRecord.h"

HWND g_hLogTarget = nullptr;

namespace {

void PostRecord(std::wstring_view text, std::uint16_t value, std::int32_t kind) noexcept {
    HWND const target = g_hLogTarget;
    if (target == nullptr) {
        return;
    }
    try {
        auto record = std::make_unique<LogRecord>(LogRecord{std::wstring(text), value, kind});
        if (::PostMessageW(target, kWmIspLog, 0, reinterpret_cast<LPARAM>(record.get()))) {
            // The dialog owns the record now.
            static_cast<void>(record.release());
        }
    } catch (const std::bad_alloc&) {
        // No memory for the record: the line is lost.
    }
}

}  // namespace

void PostLogLine(std::wstring_view text) noexcept { PostRecord(text, 0, LogText); }

void PostLogProgress(std::wstring_view text, std::uint16_t value) noexcept {
    PostRecord(text, value, LogProgress);
}
