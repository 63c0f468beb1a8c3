#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "framework/OwnedHandle.h"

// docksim's end of one named-pipe instance, driven through docksim's
// completion port: it waits for a client, then reads the client's messages
// one at a time and writes to it, at most one write under way.
//
// Each operation has its own event as well, so that closing the end can wait
// for the operations it cancels; a completion packet that still arrives for
// a closed end is recognised by its key and dropped.
class PipeEnd {
public:
    enum class Event {
        None,       // nothing to act on yet
        Connected,  // a client opened the pipe
        Received,   // a message arrived: Message()
        Sent,       // the write has ended
        Ended,      // the client has gone or the pipe failed
    };
    enum class WriteStart { Started, Busy, Failed };

    PipeEnd(UniqueFileHandle pipe, std::size_t messageSize);
    ~PipeEnd();
    PipeEnd(const PipeEnd&) = delete;
    PipeEnd& operator=(const PipeEnd&) = delete;

    bool Connected() const { return m_connected; }

    // Connected when a client came before the wait began: no packet follows.
    Event Listen();
    // Starts waiting for the client's next message; false when it has gone.
    bool Read();
    // Busy while the previous write has not ended: the client is not reading.
    WriteStart Write(std::span<const std::uint8_t> bytes);

    // What a completion packet of this end means.
    Event Complete(const OVERLAPPED* record, DWORD bytes, DWORD error);
    std::span<const std::uint8_t> Message() const;

private:
    struct Operation {
        OVERLAPPED record{};
        UniqueKernelHandle done;
        bool pending = false;
    };
    static bool Start(Operation& operation, BOOL started);

    UniqueFileHandle m_pipe;
    Operation m_in;   // the wait for a client, then reads
    Operation m_out;  // writes
    bool m_connected = false;
    std::vector<std::uint8_t> m_readBuffer;
    std::size_t m_received = 0;
    std::vector<std::uint8_t> m_writeBuffer;
};
