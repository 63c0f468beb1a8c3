#include "testbed/rig/docksim/DockSimServer.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <span>
#include <system_error>
#include <utility>

#include "testbed/rig/channel/ControlRequest.h"
#include "testbed/rig/channel/InterfaceTraits.h"
#include "testbed/rig/channel/RigNames.h"
#include "testbed/rig/channel/TextConversion.h"
#include "testbed/rig/docksim/DockReport.h"

namespace {

constexpr ULONG_PTR kNoticeKey = 0;

// A request or reply never comes near this; a report is at most 64 bytes,
// and a longer message is handed on in pieces of this size.
constexpr std::size_t kControlMessageSize = 64 * 1024;
constexpr std::size_t kReportMessageSize = 4096;
// Instances waiting for clients, per pipe. A client opens the read and the
// write handle back to back, before docksim can open a new instance for the
// second: every open within such a burst must find one waiting.
constexpr int kWaitingInstances = 4;
// The HID class driver keeps this many unread input reports per open handle;
// a handle that never reads loses the ones after.
constexpr DWORD kBufferedReports = 32;

void Say(const std::string& line) {
    std::printf("docksim: %s\n", line.c_str());
    std::fflush(stdout);
}

}  // namespace

DockSimServer::DockSimServer(const DockSimOptions& options)
    : m_options(options),
      m_dock(options.settings),
      m_served(options.interfaces.size(), false),
      m_notifier(options.notifyCaption) {
    m_dock.Faults() = options.faults;
    std::vector<sim::SimInterface>& interfaces = m_dock.Interfaces();
    interfaces = options.interfaces;
    for (unsigned index = 0; index < interfaces.size(); ++index) {
        interfaces[index].path = rig::InterfacePipePath(index);
    }
    if (options.startUnplugged) {
        static_cast<void>(m_dock.Unplug());  // nobody is told: it was never there
    }
}

int DockSimServer::Run() {
    m_port.Reset(::CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    m_delayTimer.Reset(::CreateWaitableTimerW(nullptr, TRUE, nullptr));
    if (!m_port.IsValid() || !m_delayTimer.IsValid()) {
        Say("cannot create the completion port or the timer");
        return 1;
    }
    for (int i = 0; i < kWaitingInstances; ++i) {
        if (!OpenListener(Role::Control, 0)) {
            Say("cannot open the control pipe (is another docksim running?)");
            return 1;
        }
    }
    for (unsigned index = 0; index < m_served.size(); ++index) {
        const sim::SimInterface& entry = m_dock.Interfaces()[index];
        if (m_dock.Plugged() || !entry.ofDock) {
            ServeInterface(index);
        }
    }
    m_notifier.Start(m_port.Get(), kNoticeKey);
    const std::wstring readyName(rig::kReadyEvent);
    m_ready.Reset(::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    ::SetEvent(m_ready.Get());
    Say("serving " + std::to_string(m_served.size()) + " interface(s):\n" + Listing());

    while (!m_quit) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* record = nullptr;
        const BOOL ok = ::GetQueuedCompletionStatus(m_port.Get(), &bytes, &key, &record, INFINITE);
        const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
        if (record == nullptr) {
            if (!ok) {
                Say("the completion port failed (error " + std::to_string(error) + ")");
                return 1;
            }
            if (key == kNoticeKey) {
                OnNoticesSent(bytes);
            }
            continue;
        }
        const auto found = m_endpoints.find(key);
        if (found != m_endpoints.end()) {
            OnPipeEvent(key, found->second.end->Complete(record, bytes, error));
        }
    }
    ::ResetEvent(m_ready.Get());
    if (!m_options.dumpDir.empty()) {
        std::string failure;
        if (!WriteChipDump(m_options.dumpDir, m_dock, failure)) {
            Say(failure);
            return 1;
        }
    }
    Say("quit after " + std::to_string(m_dock.ReportCount()) + " report(s)");
    return 0;
}

bool DockSimServer::OpenListener(Role role, unsigned index) {
    const bool control = role == Role::Control;
    const std::wstring name =
        control ? std::wstring(rig::kControlPipe) : rig::InterfacePipePath(index);
    const DWORD inputBytes = control ? 0 : m_dock.Interfaces()[index].inputReportLength;
    // The first control pipe must be docksim's own: a second docksim fails here.
    const DWORD firstOnly = control && !m_controlOpened ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0;
    // Interface pipes buffer no output reports, so a client's write ends when
    // the dock has taken the report, as a HID write does.
    UniqueFileHandle pipe(::CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | firstOnly,
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, control ? 0 : inputBytes * kBufferedReports, 0, 0, nullptr));
    if (!pipe.IsValid()) {
        return false;
    }
    m_controlOpened = m_controlOpened || control;
    const std::uint64_t id = m_nextId++;
    if (::CreateIoCompletionPort(pipe.Get(), m_port.Get(), id, 0) == nullptr) {
        return false;
    }
    auto end = std::make_unique<PipeEnd>(std::move(pipe),
                                         control ? kControlMessageSize : kReportMessageSize);
    PipeEnd& listening = *end;
    m_endpoints.emplace(id, Endpoint{.role = role, .index = index, .end = std::move(end)});
    const PipeEnd::Event first = listening.Listen();
    if (first != PipeEnd::Event::None) {
        OnPipeEvent(id, first);
    }
    return true;
}

void DockSimServer::OnPipeEvent(std::uint64_t id, PipeEnd::Event event) {
    Endpoint& endpoint = m_endpoints.at(id);
    switch (event) {
        case PipeEnd::Event::None:
            break;
        case PipeEnd::Event::Connected:
            // Instances keep waiting for the next clients.
            if (!OpenListener(endpoint.role, endpoint.index)) {
                Say("cannot open another pipe instance");
            }
            ReadNext(id);
            break;
        case PipeEnd::Event::Received:
            if (endpoint.role == Role::Control) {
                OnRequest(id);
            } else {
                OnOutputReport(id);
                ReadNext(id);
            }
            break;
        case PipeEnd::Event::Sent:
            if (endpoint.role == Role::Control) {
                if (endpoint.quitAfterReply) {
                    m_quit = true;
                } else {
                    ReadNext(id);
                }
            }
            break;
        case PipeEnd::Event::Ended:
            m_endpoints.erase(id);
            break;
    }
}

// An end may have been closed by what its message did (a removal closes the
// dock's pipes); otherwise it waits for the next message.
void DockSimServer::ReadNext(std::uint64_t id) {
    const auto found = m_endpoints.find(id);
    if (found != m_endpoints.end() && !found->second.end->Read()) {
        m_endpoints.erase(found);
    }
}

void DockSimServer::OnOutputReport(std::uint64_t id) {
    const Endpoint& endpoint = m_endpoints.at(id);
    const unsigned index = endpoint.index;
    // Another maker's device takes the report and has nothing to say.
    if (!m_dock.Interfaces()[index].ofDock) {
        return;
    }
    const sim::Reaction reaction = m_dock.HandleOutputReport(endpoint.end->Message());
    if (reaction.answer) {
        WaitAnswerDelay();
        Answer(index, *reaction.answer);
    }
    ApplyBusEvents(reaction.events, false);
}

void DockSimServer::WaitAnswerDelay() {
    if (m_options.answerDelayUs == 0) {
        return;
    }
    LARGE_INTEGER due{};
    due.QuadPart = -static_cast<LONGLONG>(m_options.answerDelayUs) * 10;  // 100 ns, relative
    if (::SetWaitableTimer(m_delayTimer.Get(), &due, 0, nullptr, nullptr, FALSE)) {
        ::WaitForSingleObject(m_delayTimer.Get(), INFINITE);
    }
}

void DockSimServer::Answer(unsigned index, const device::IspReport& answer) {
    // The collection's input reports have its announced length.
    std::vector<std::uint8_t> report(m_dock.Interfaces()[index].inputReportLength, 0);
    std::copy_n(answer.begin(), std::min(report.size(), answer.size()), report.begin());
    for (auto& [id, endpoint] : m_endpoints) {
        if (endpoint.role == Role::Interface && endpoint.index == index &&
            endpoint.end->Connected()) {
            // Busy: this handle has not read its last 32 reports; the new one is lost for it.
            static_cast<void>(endpoint.end->Write(report));
        }
    }
}

std::uint32_t DockSimServer::ApplyBusEvents(const std::vector<sim::BusEvent>& events,
                                            bool ticketed) {
    std::uint32_t ticket = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const sim::BusEvent& event = events[i];
        const std::optional<unsigned> index = rig::InterfaceIndexOf(event.path);
        if (!index || *index >= m_served.size()) {
            continue;
        }
        if (event.kind == sim::BusEventKind::Removed) {
            WithdrawInterface(*index);
        } else {
            ServeInterface(*index);
        }
        const bool last = i + 1 == events.size();
        ticket = ticketed && last ? m_nextTicket++ : 0;
        m_notifier.Announce(event, ticket);
    }
    return ticket;
}

void DockSimServer::ServeInterface(unsigned index) {
    m_served[index] = true;
    for (int i = 0; i < kWaitingInstances; ++i) {
        if (!OpenListener(Role::Interface, index)) {
            Say("cannot open the pipe of interface " + std::to_string(index));
        }
    }
}

// Every handle on the interface breaks, as a removed device's handles do;
// what a client has not read yet stays readable until it closes its handle.
void DockSimServer::WithdrawInterface(unsigned index) {
    m_served[index] = false;
    std::erase_if(m_endpoints, [index](const auto& item) {
        return item.second.role == Role::Interface && item.second.index == index;
    });
}

std::string DockSimServer::Listing() {
    std::vector<rig::ListedInterface> present;
    for (unsigned index = 0; index < m_served.size(); ++index) {
        if (m_served[index]) {
            present.push_back(
                rig::ListedInterface{.index = index, .entry = m_dock.Interfaces()[index]});
        }
    }
    return rig::FormatListing(present);
}

void DockSimServer::OnRequest(std::uint64_t id) {
    const std::span<const std::uint8_t> message = m_endpoints.at(id).end->Message();
    const std::string request(message.begin(), message.end());
    const std::string ok = std::string(rig::kReplyOk) + "\n";
    const std::size_t space = request.find(' ');
    const std::string word = request.substr(0, space);
    const std::string argument = space == std::string::npos ? "" : request.substr(space + 1);
    if (word != rig::kListRequest) {
        Say("request: " + request);
    }
    std::string failure;
    if (request == rig::kListRequest) {
        Reply(id, ok + Listing());
    } else if (request == "plug" || request == "unplug") {
        const std::uint32_t ticket =
            ApplyBusEvents(request == "plug" ? m_dock.Plug() : m_dock.Unplug(), true);
        if (ticket == 0) {
            Reply(id, ok);  // nothing changed, nobody to tell
        } else {
            m_endpoints.at(id).awaitedTicket = ticket;  // the reply waits for the notices
        }
    } else if (const std::optional<unsigned> foreign = ForeignInterface(word, argument, failure)) {
        // Another maker's device pulled and plugged in again: the system
        // announces its removal and its arrival, as for any HID device.
        const std::wstring& path = m_dock.Interfaces()[*foreign].path;
        m_endpoints.at(id).awaitedTicket = ApplyBusEvents(
            {{sim::BusEventKind::Removed, path}, {sim::BusEventKind::Arrived, path}}, true);
    } else if (word == "fault" && ApplyFault(argument, m_dock.Faults(), failure)) {
        Reply(id, ok);
    } else if (request == "status") {
        Reply(id, ok + DockSummary(m_dock));
    } else if (word == "dump" && !argument.empty() &&
               WriteChipDump(rig::FromUtf8(argument), m_dock, failure)) {
        Reply(id, ok);
    } else if (request == "quit") {
        m_endpoints.at(id).quitAfterReply = true;
        Reply(id, ok);
    } else {
        Reply(id, "error\n" + (failure.empty() ? "unknown request \"" + request + "\"" : failure) +
                      "\n");
    }
}

// The interface that "replug N" names, when N is one of the foreign ones.
std::optional<unsigned> DockSimServer::ForeignInterface(const std::string& word,
                                                        const std::string& argument,
                                                        std::string& failure) {
    if (word != "replug") {
        return std::nullopt;
    }
    unsigned index = 0;
    const auto [end, error] =
        std::from_chars(argument.data(), argument.data() + argument.size(), index);
    if (error != std::errc() || end != argument.data() + argument.size() ||
        index >= m_dock.Interfaces().size() || m_dock.Interfaces()[index].ofDock) {
        failure = "replug takes the index of a foreign interface";
        return std::nullopt;
    }
    return index;
}

void DockSimServer::OnNoticesSent(std::uint32_t ticket) {
    for (auto& [id, endpoint] : m_endpoints) {
        if (endpoint.awaitedTicket == ticket) {
            endpoint.awaitedTicket = 0;
            Reply(id, std::string(rig::kReplyOk) + "\n");
            return;
        }
    }
}

void DockSimServer::Reply(std::uint64_t id, std::string_view reply) {
    const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(reply.data()), reply.size());
    if (m_endpoints.at(id).end->Write(bytes) != PipeEnd::WriteStart::Started) {
        m_endpoints.erase(id);
    }
}
