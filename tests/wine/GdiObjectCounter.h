#pragma once

#include <windows.h>

#include <optional>
#include <string_view>

// Counts the GDI objects that a process holds: this one, or another opened
// with PROCESS_QUERY_INFORMATION and PROCESS_VM_READ. Windows answers through
// GetGuiResources; Wine leaves that call unimplemented (it returns 0 with
// ERROR_CALL_NOT_IMPLEMENTED), so there the count is read from the process's
// own GDI handle table instead.
class GdiObjectCounter {
public:
    explicit GdiObjectCounter(HANDLE process = ::GetCurrentProcess());

    // Empty when neither way gives a count.
    std::optional<unsigned> Count() const;
    // Which way the count is read, for the test's output.
    std::string_view Source() const noexcept { return m_source; }

private:
    HANDLE m_process;
    bool m_systemCounts = false;
    std::string_view m_source;
};
