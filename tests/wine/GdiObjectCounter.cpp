#include "GdiObjectCounter.h"

#include <winternl.h>

#include <cstddef>
#include <cstdint>
#include <vector>

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

bool ReadWhole(HANDLE process, const void* from, void* to, std::size_t size) {
    SIZE_T read = 0;
    return ::ReadProcessMemory(process, from, to, size, &read) != FALSE && read == size;
}

std::optional<std::vector<std::byte>> HandleTable(HANDLE process) {
    PROCESS_BASIC_INFORMATION basics{};
    if (::NtQueryInformationProcess(process, ProcessBasicInformation, &basics, sizeof(basics),
                                    nullptr) != 0 ||
        basics.PebBaseAddress == nullptr) {
        return std::nullopt;
    }
    const auto* const environment = reinterpret_cast<const std::byte*>(basics.PebBaseAddress);
    const std::byte* table = nullptr;
    if (!ReadWhole(process, environment + kHandleTableOffset, &table, sizeof(table)) ||
        table == nullptr) {
        return std::nullopt;
    }
    std::vector<std::byte> entries(kEntryCount * kEntrySize);
    if (!ReadWhole(process, table, entries.data(), entries.size())) {
        return std::nullopt;
    }
    return entries;
}

bool SystemCountsObjects(HANDLE process) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD count = ::GetGuiResources(process, GR_GDIOBJECTS);
    return count != 0 || ::GetLastError() != ERROR_CALL_NOT_IMPLEMENTED;
}

}  // namespace

GdiObjectCounter::GdiObjectCounter(HANDLE process)
    : m_process(process),
      m_systemCounts(SystemCountsObjects(process)),
      m_source(m_systemCounts ? "GetGuiResources" : "the process's GDI handle table") {}

std::optional<unsigned> GdiObjectCounter::Count() const {
    if (m_systemCounts) {
        return static_cast<unsigned>(::GetGuiResources(m_process, GR_GDIOBJECTS));
    }
    const std::optional<std::vector<std::byte>> table = HandleTable(m_process);
    if (!table) {
        return std::nullopt;
    }
    unsigned live = 0;
    for (std::size_t entry = 0; entry < kEntryCount; ++entry) {
        if ((*table)[entry * kEntrySize + kTypeOffset] != std::byte{0}) {
            ++live;
        }
    }
    return live;
}
