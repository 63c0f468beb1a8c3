#include "testbed/rig/channel/ControlRequest.h"

#include <string>

#include "framework/OwnedHandle.h"
#include "testbed/rig/channel/RigNames.h"

namespace rig {
namespace {

// A reply larger than this is not one docksim sends.
constexpr std::size_t kMaxReply = 1U << 20U;
constexpr DWORD kReadChunk = 4096;

// One overlapped read or write, given up when the deadline passes. The
// record stays in use until the operation has ended, so a cancelled one is
// waited for before the record goes.
bool Transfer(HANDLE pipe, HANDLE event, bool write, void* bytes, DWORD size, ULONGLONG deadline,
              DWORD& done, DWORD& error) {
    OVERLAPPED record{};
    record.hEvent = event;
    const BOOL started = write ? ::WriteFile(pipe, bytes, size, nullptr, &record)
                               : ::ReadFile(pipe, bytes, size, nullptr, &record);
    // A message longer than the buffer ends at once with ERROR_MORE_DATA;
    // the result below tells how much of it arrived.
    if (!started && ::GetLastError() != ERROR_IO_PENDING && ::GetLastError() != ERROR_MORE_DATA) {
        error = ::GetLastError();
        done = 0;
        return false;
    }
    const ULONGLONG now = ::GetTickCount64();
    const DWORD left = deadline > now ? static_cast<DWORD>(deadline - now) : 0;
    if (::WaitForSingleObject(event, left) != WAIT_OBJECT_0) {
        ::CancelIoEx(pipe, &record);
    }
    done = 0;
    if (!::GetOverlappedResult(pipe, &record, &done, TRUE)) {
        error = ::GetLastError();
        return false;
    }
    error = ERROR_SUCCESS;
    return true;
}

UniqueFileHandle ConnectToControlPipe(ULONGLONG deadline) {
    const std::wstring name(kControlPipe);
    for (;;) {
        UniqueFileHandle pipe(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
        if (pipe.IsValid() || ::GetLastError() != ERROR_PIPE_BUSY) {
            return pipe;
        }
        // Every instance is taken for the moment: docksim opens a new one as
        // soon as a client connects.
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline ||
            !::WaitNamedPipeW(name.c_str(), static_cast<DWORD>(deadline - now))) {
            return pipe;
        }
    }
}

}  // namespace

bool AwaitDockSim(DWORD waitMs) {
    const std::wstring name(kReadyEvent);
    const UniqueKernelHandle ready(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    return ready.IsValid() && ::WaitForSingleObject(ready.Get(), waitMs) == WAIT_OBJECT_0;
}

std::optional<std::string> AskDockSim(std::string_view request, DWORD replyMs) {
    const ULONGLONG deadline = ::GetTickCount64() + replyMs;
    const UniqueFileHandle pipe = ConnectToControlPipe(deadline);
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!pipe.IsValid() || !::SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr)) {
        return std::nullopt;
    }
    const UniqueKernelHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event.IsValid()) {
        return std::nullopt;
    }
    std::string message(request);
    DWORD done = 0;
    DWORD error = ERROR_SUCCESS;
    if (!Transfer(pipe.Get(), event.Get(), true, message.data(), static_cast<DWORD>(message.size()),
                  deadline, done, error)) {
        return std::nullopt;
    }
    // The reply is one message, read in pieces when it is long.
    std::string reply;
    for (;;) {
        const std::size_t offset = reply.size();
        reply.resize(offset + kReadChunk);
        const bool whole = Transfer(pipe.Get(), event.Get(), false, reply.data() + offset,
                                    kReadChunk, deadline, done, error);
        reply.resize(offset + done);
        if (whole) {
            return reply;
        }
        if (error != ERROR_MORE_DATA || reply.size() > kMaxReply) {
            return std::nullopt;
        }
    }
}

std::optional<std::vector<ListedInterface>> AskInterfaceListing(DWORD replyMs) {
    const std::optional<std::string> reply = AskDockSim(kListRequest, replyMs);
    const std::string head = std::string(kReplyOk) + "\n";
    if (!reply || !reply->starts_with(head)) {
        return std::nullopt;
    }
    return ParseListing(std::string_view(*reply).substr(head.size()));
}

}  // namespace rig
