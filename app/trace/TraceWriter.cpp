#include "app/trace/TraceWriter.h"

#include "app/flow/VersionGate.h"
#include "app/log/LogLineFormat.h"
#include "app/outcome/ExitCodes.h"

std::wstring TracePackageIdentity(const package::ImageTable& images,
                                  const PackageIdentity& package) {
    return VersionText(images.m_byCodeVersion) +
           FormatLogLine(L" %04x:%04x plan %c sums %04x %04x",
                         static_cast<unsigned>(package.m_wPackageVid),
                         static_cast<unsigned>(package.m_wPackagePid),
                         static_cast<wchar_t>(images.m_chUpdatePlan),
                         static_cast<unsigned>(images.m_wImage0Sum),
                         static_cast<unsigned>(images.m_wImage4Sum));
}

std::wstring HexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

void TraceWriter::Begin(std::wstring_view toolVersion, const package::ImageTable& images,
                        const PackageIdentity& package, std::wstring_view windowsVersion) {
    Write(std::wstring(kTitle));
    Write(L"# tool " + std::wstring(toolVersion));
    Write(L"# package " + (package.m_bPackageLoaded ? TracePackageIdentity(images, package)
                                                    : std::wstring(L"none")));
    Write(L"# windows " + std::wstring(windowsVersion));
}

void TraceWriter::Opened(std::wstring_view path, std::uint16_t inputLength,
                         std::uint16_t outputLength) {
    const std::wstring where = std::wstring(path) + L" in " + std::to_wstring(inputLength) +
                               L" out " + std::to_wstring(outputLength);
    bool first = false;
    {
        const std::lock_guard lock(m_mutex);
        first = !m_interfaceNamed;
        m_interfaceNamed = true;
    }
    if (first) {
        // The header's last line: the interface and its report lengths.
        Write(L"# interface " + where);
    }
    Event(L"open " + where);
}

void TraceWriter::Closed() {
    Event(L"close");
}

void TraceWriter::Sent(std::span<const std::uint8_t> report) {
    Event(L"> " + HexBytes(report));
}

void TraceWriter::WriteFailed(std::uint32_t error) {
    Event(L"write-failed " + std::to_wstring(error));
}

void TraceWriter::Received(std::span<const std::uint8_t> report) {
    Event(L"< " + HexBytes(report));
}

void TraceWriter::Arrived(std::wstring_view path) {
    Event(L"arrived " + std::wstring(path));
}

void TraceWriter::Removed(std::wstring_view path) {
    Event(L"removed " + std::wstring(path));
}

void TraceWriter::ToolResult(std::wstring_view tool, std::wstring_view text) {
    Event(L"tool " + std::wstring(tool) + L" " + std::wstring(text));
}

void TraceWriter::CheckEnded(std::wstring_view status) {
    Event(L"check " + std::wstring(status));
}

void TraceWriter::RunEnded(std::wstring_view status) {
    Event(L"ending " + std::wstring(status));
}

void TraceWriter::End(std::chrono::milliseconds timeout) {
    const std::lock_guard lock(m_mutex);
    if (m_dropped > 0 && m_queue.PostAndWait(DroppedLine(), timeout)) {
        m_dropped = 0;
    }
}

std::wstring TraceWriter::DroppedLine() const {
    return std::to_wstring(m_clock()) + L" " + std::to_wstring(m_dropped) + L" lines dropped";
}

void TraceWriter::Event(std::wstring text) {
    Write(std::to_wstring(m_clock()) + L" " + std::move(text));
}

void TraceWriter::Write(std::wstring line) {
    // One line at a time, so that the count of refused lines is said in its
    // place, before the first line the sink takes again.
    const std::lock_guard lock(m_mutex);
    if (m_dropped > 0) {
        if (!m_queue.Post(DroppedLine())) {
            ++m_dropped;
            return;
        }
        m_dropped = 0;
    }
    if (!m_queue.Post(std::move(line))) {
        ++m_dropped;
    }
}

void TracedEvents::RunEnded(FlowEnding ending) {
    if (m_trace != nullptr) {
        m_trace->RunEnded(StatusTokenOf(ending));
    }
    m_next.RunEnded(ending);
}

void TracedEvents::CheckEnded(FlowEnding ending, const CheckFacts& facts) {
    if (m_trace != nullptr) {
        if (facts.hub.state != ToolResult::State::NotRun) {
            m_trace->ToolResult(L"hub", HubResultLine(facts.hub));
        }
        const std::wstring dp = DpVersionLine(facts.dp);
        if (!dp.empty()) {
            m_trace->ToolResult(L"dp", dp);
        }
        m_trace->CheckEnded(StatusTokenOf(ending));
    }
    m_next.CheckEnded(ending, facts);
}
