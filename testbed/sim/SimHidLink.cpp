#include "testbed/sim/SimHidLink.h"

#include <algorithm>
#include <span>

#include "device/HidInterfaceMatch.h"

SimHidLink::SimHidLink(sim::DockSimulator& dock) : m_dock(dock) {
    State().m_bThreadsStarted = true;
}

bool SimHidLink::OpenDevice(std::uint16_t vid, std::uint16_t pid, std::uint16_t release) {
    HidLinkState& state = State();
    device::BeginSearch(state);
    const device::HidIdentity wanted{.vendorId = vid, .productId = pid, .versionNumber = release};
    for (const sim::SimInterface& candidate : m_dock.PresentInterfaces()) {
        if (!device::AttributesMatch(candidate.identity, wanted, state) ||
            !device::CapsMatch(candidate.usagePage, candidate.usage)) {
            continue;
        }
        // As the real link does, a device opened before goes first: answers
        // not yet read die with its handles, and a reader that was reading
        // goes on with the new read handle.
        const bool wasReading = m_reading;
        CloseDevice();
        m_opened = candidate;
        m_openedArrival = m_dock.Arrivals();
        m_wInputReportLength = device::BoundedReportLength(candidate.inputReportLength);
        m_wOutputReportLength = device::BoundedReportLength(candidate.outputReportLength);
        state.m_bOpen = true;
        state.m_strDevicePath = candidate.path;
        m_readHandle = !candidate.readOpenFails;
        m_writeHandle = !candidate.writeOpenFails;
        state.m_bReadOpen = m_readHandle;
        state.m_bWriteOpen = m_writeHandle;
        m_reading = wasReading && m_readHandle;
        if (Trace() != nullptr) {
            Trace()->Opened(candidate.path, m_wInputReportLength, m_wOutputReportLength);
        }
        return true;
    }
    return false;
}

void SimHidLink::CloseDevice() {
    if (Trace() != nullptr && (m_readHandle || m_writeHandle)) {
        Trace()->Closed();
    }
    State().m_bReadOpen = false;
    State().m_bWriteOpen = false;
    m_readHandle = false;
    m_writeHandle = false;
    m_reading = false;
    // Answers not yet read die with the read handle.
    std::erase_if(m_pending,
                  [](const Delivery& delivery) { return delivery.kind == Delivery::Kind::Report; });
}

bool SimHidLink::WriteReport(const device::IspReport& report) {
    if (!m_writeHandle) {
        return false;
    }
    if (!m_opened.ofDock) {
        return true;  // another device takes the report and never answers
    }
    if (!m_dock.Plugged() || m_dock.Arrivals() != m_openedArrival) {
        return false;  // the device is no longer connected
    }
    device::IspReport bytes = report;
    bytes[device::kReportIdPos] = device::kOutputReportId;
    const auto sent = std::span<const std::uint8_t>(bytes).first(m_wOutputReportLength);
    if (Trace() != nullptr) {
        Trace()->Sent(sent);
    }
    if (m_replay != nullptr) {
        QueueReplayed(m_replay->Answer(sent));
        return true;
    }
    Queue(m_dock.HandleOutputReport(sent));
    return true;
}

void SimHidLink::WakeReader() {
    if (State().m_bOpen && m_readHandle) {
        m_reading = true;
    }
}

// A notice comes through the window and always goes out; answers keep their
// order and go out only while a read is outstanding.
std::optional<SimHidLink::Delivery> SimHidLink::TakeNext() {
    auto next = m_pending.begin();
    if (!(m_reading && State().m_bOpen)) {
        next = std::find_if(m_pending.begin(), m_pending.end(), [](const Delivery& delivery) {
            return delivery.kind != Delivery::Kind::Report;
        });
    }
    if (next == m_pending.end()) {
        return std::nullopt;
    }
    Delivery delivery = *next;
    m_pending.erase(next);
    if (LinkTrace* const trace = Trace()) {
        switch (delivery.kind) {
            case Delivery::Kind::Report:
                trace->Received(std::span(delivery.bytes.data(), delivery.length));
                break;
            case Delivery::Kind::Removed:
                trace->Removed(delivery.path);
                break;
            case Delivery::Kind::Arrived:
                trace->Arrived(delivery.path);
                break;
        }
    }
    return delivery;
}

void SimHidLink::Unplug() {
    QueueEvents(m_dock.Unplug());
}

void SimHidLink::Plug() {
    QueueEvents(m_dock.Plug());
}

void SimHidLink::Queue(const sim::Reaction& reaction) {
    if (reaction.answer && m_wInputReportLength > 0) {
        Delivery delivery;
        delivery.kind = Delivery::Kind::Report;
        std::copy_n(reaction.answer->begin(), m_wInputReportLength, delivery.bytes.begin());
        delivery.length = m_wInputReportLength;
        m_pending.push_back(delivery);
    }
    QueueEvents(reaction.events);
}

void SimHidLink::QueueEvents(const std::vector<sim::BusEvent>& events) {
    for (const sim::BusEvent& event : events) {
        Delivery delivery;
        delivery.kind = event.kind == sim::BusEventKind::Removed ? Delivery::Kind::Removed
                                                                 : Delivery::Kind::Arrived;
        delivery.path = event.path;
        m_pending.push_back(delivery);
    }
}

void SimHidLink::QueueReplayed(const sim::ReplayedAnswer& replayed) {
    if (replayed.answer && m_wInputReportLength > 0) {
        Delivery delivery;
        delivery.kind = Delivery::Kind::Report;
        delivery.length = static_cast<std::uint16_t>(
            std::min<std::size_t>(replayed.answer->size(), delivery.bytes.size()));
        std::copy_n(replayed.answer->begin(), delivery.length, delivery.bytes.begin());
        delivery.afterMs = replayed.afterMs;
        m_pending.push_back(delivery);
    }
    // The recorded arrivals and removals are the dock's: it leaves and comes
    // back as the simulator's dock does.
    for (const sim::BusEventKind kind : replayed.bus) {
        QueueEvents(kind == sim::BusEventKind::Removed ? m_dock.Unplug() : m_dock.Plug());
    }
}
