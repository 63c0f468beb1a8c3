#include "testbed/rig/docksim/PipeEnd.h"

#include <utility>

PipeEnd::PipeEnd(UniqueFileHandle pipe, std::size_t messageSize)
    : m_pipe(std::move(pipe)), m_readBuffer(messageSize) {
    m_in.done.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_out.done.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

PipeEnd::~PipeEnd() {
    if (!m_in.pending && !m_out.pending) {
        return;
    }
    ::CancelIoEx(m_pipe.Get(), nullptr);
    // The records and buffers belong to the operations until they have ended.
    for (Operation* operation : {&m_in, &m_out}) {
        DWORD bytes = 0;
        if (operation->pending) {
            ::GetOverlappedResult(m_pipe.Get(), &operation->record, &bytes, TRUE);
        }
    }
}

// An operation that ended at once still sends its packet to the port, so
// both count as under way.
bool PipeEnd::Start(Operation& operation, BOOL started) {
    const DWORD error = started ? ERROR_SUCCESS : ::GetLastError();
    operation.pending = started || error == ERROR_IO_PENDING || error == ERROR_MORE_DATA;
    return operation.pending;
}

PipeEnd::Event PipeEnd::Listen() {
    if (!m_in.done.IsValid() || !m_out.done.IsValid()) {
        return Event::Ended;
    }
    m_in.record = OVERLAPPED{};
    m_in.record.hEvent = m_in.done.Get();
    if (::ConnectNamedPipe(m_pipe.Get(), &m_in.record)) {
        m_in.pending = true;
        return Event::None;
    }
    switch (::GetLastError()) {
        case ERROR_IO_PENDING:
            m_in.pending = true;
            return Event::None;
        case ERROR_PIPE_CONNECTED:
            m_connected = true;
            return Event::Connected;
        default:
            return Event::Ended;
    }
}

bool PipeEnd::Read() {
    m_in.record = OVERLAPPED{};
    m_in.record.hEvent = m_in.done.Get();
    return Start(m_in, ::ReadFile(m_pipe.Get(), m_readBuffer.data(),
                                  static_cast<DWORD>(m_readBuffer.size()), nullptr, &m_in.record));
}

PipeEnd::WriteStart PipeEnd::Write(std::span<const std::uint8_t> bytes) {
    if (m_out.pending) {
        return WriteStart::Busy;
    }
    m_writeBuffer.assign(bytes.begin(), bytes.end());
    m_out.record = OVERLAPPED{};
    m_out.record.hEvent = m_out.done.Get();
    return Start(m_out,
                 ::WriteFile(m_pipe.Get(), m_writeBuffer.data(),
                             static_cast<DWORD>(m_writeBuffer.size()), nullptr, &m_out.record))
               ? WriteStart::Started
               : WriteStart::Failed;
}

PipeEnd::Event PipeEnd::Complete(const OVERLAPPED* record, DWORD bytes, DWORD error) {
    if (record == &m_out.record) {
        m_out.pending = false;
        return Event::Sent;
    }
    if (record != &m_in.record) {
        return Event::None;
    }
    m_in.pending = false;
    if (!m_connected) {
        m_connected = error == ERROR_SUCCESS || error == ERROR_PIPE_CONNECTED;
        return m_connected ? Event::Connected : Event::Ended;
    }
    // A message longer than the buffer arrives in pieces; each piece is
    // handed on as it is, and the dock refuses reports of the wrong length.
    if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) {
        return Event::Ended;
    }
    m_received = bytes;
    return Event::Received;
}

std::span<const std::uint8_t> PipeEnd::Message() const {
    return std::span<const std::uint8_t>(m_readBuffer).first(m_received);
}
