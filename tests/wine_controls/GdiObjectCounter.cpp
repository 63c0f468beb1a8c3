#include "GdiObjectCounter.h"

#include <windows.h>

#include <winternl.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

static_assert(sizeof(void*) == 8, "the handle table is read in its 64-bit layout");

// The process environment block's pointer to the GDI handle table, in the
// 64-bit layout.
constexpr std::size_t kHandleTableOffset = 0xF8;
// The table's entries: 24 bytes each, the object's type in byte 14, zero
// for a free entry.
constexpr std::size_t kEntrySize = 24;
constexpr std::size_t kTypeOffset = 14;
constexpr std::size_t kEntryCount = 0x10000;

const std::byte* HandleTable() {
    PROCESS_BASIC_INFORMATION process{};
    if (::NtQueryInformationProcess(::GetCurrentProcess(), ProcessBasicInformation, &process,
                                    sizeof(process), nullptr) != 0 ||
        process.PebBaseAddress == nullptr) {
        return nullptr;
    }
    const auto* const environment = reinterpret_cast<const std::byte*>(process.PebBaseAddress);
    const std::byte* table = nullptr;
    std::memcpy(&table, environment + kHandleTableOffset, sizeof(table));
    return table;
}

bool SystemCountsObjects() {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD count = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    return count != 0 || ::GetLastError() != ERROR_CALL_NOT_IMPLEMENTED;
}

}  // namespace

GdiObjectCounter::GdiObjectCounter()
    : m_systemCounts(SystemCountsObjects()),
      m_source(m_systemCounts ? "GetGuiResources" : "the process's GDI handle table") {}

std::optional<unsigned> GdiObjectCounter::Count() const {
    if (m_systemCounts) {
        return static_cast<unsigned>(::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS));
    }
    const std::byte* const table = HandleTable();
    if (table == nullptr) {
        return std::nullopt;
    }
    unsigned live = 0;
    for (std::size_t entry = 0; entry < kEntryCount; ++entry) {
        if (table[entry * kEntrySize + kTypeOffset] != std::byte{0}) {
            ++live;
        }
    }
    return live;
}
