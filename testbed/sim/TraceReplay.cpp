#include "testbed/sim/TraceReplay.h"

#include <algorithm>
#include <charconv>

#include "device/IspReport.h"

namespace sim {

namespace {

constexpr std::string_view kTitle = "# DOCK Firmware Update Tool trace";

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

std::optional<std::vector<std::uint8_t>> FromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(hex.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto [end, error] =
            std::from_chars(hex.data() + 2 * i, hex.data() + 2 * i + 2, bytes[i], 16);
        if (error != std::errc() || end != hex.data() + 2 * i + 2) {
            return std::nullopt;
        }
    }
    return bytes;
}

std::string ToHex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (const std::uint8_t byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

// One event line: its time, and what follows it.
struct Event {
    std::uint64_t at = 0;
    std::string_view what;
    std::string_view rest;
};

std::optional<Event> ParseEvent(std::string_view line) {
    Event event;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), event.at);
    if (error != std::errc() || end == line.data() || end == line.data() + line.size() ||
        *end != ' ') {
        return std::nullopt;
    }
    std::string_view tail(end + 1, line.data() + line.size() - end - 1);
    const std::size_t space = std::min(tail.find(' '), tail.size());
    event.what = tail.substr(0, space);
    event.rest = tail.substr(std::min(space + 1, tail.size()));
    return event;
}

// Where the last trace of a file begins, or none.
std::optional<std::size_t> LastTitle(const std::vector<std::string_view>& lines) {
    for (std::size_t i = lines.size(); i > 0; --i) {
        if (lines[i - 1] == kTitle) {
            return i - 1;
        }
    }
    return std::nullopt;
}

std::string_view CommandName(std::uint8_t code) {
    switch (code) {
        case device::USBUID_ISP_EFM8_CMD_FINISH:
            return "FINISH";
        case device::USBUID_ISP_EFM8_CMD_JUMP_ISP:
            return "JUMP_ISP";
        case device::USBUID_ISP_EFM8_CMD_ERASE:
            return "ERASE";
        case device::USBUID_ISP_EFM8_CMD_CHECKSUM:
            return "CHECKSUM";
        case device::USBUID_ISP_EFM8_CMD_DEVICE_STATUS:
            return "DEVICE_STATUS";
        case device::USBUID_ISP_EFM8_CMD_DEVICE_VERSION:
            return "DEVICE_VERSION";
        case device::USBUID_ISP_EFM8_CMD_TI_INITIAL:
            return "TI_INITIAL";
        case device::USBUID_ISP_EFM8_CMD_TI_ERASE:
            return "TI_ERASE";
        case device::USBUID_ISP_EFM8_CMD_TI_STATUS:
            return "TI_STATUS";
        case device::USBUID_ISP_EFM8_CMD_TI_CHECKSUM:
            return "TI_CHECKSUM";
        case device::USBUID_ISP_EFM8_CMD_TI_END:
            return "TI_END";
        case device::USBUID_ISP_EFM8_CMD_MEGACHIP_INITIAL:
            return "MEGACHIP_INITIAL";
        default:
            return "UNKNOWN";
    }
}

bool IsCommand(const std::vector<std::uint8_t>& report) {
    return report.size() > device::kCodePos && report[2] == 0xFE && report[3] == 0xFF;
}

std::string HexByte(std::uint8_t byte) {
    return ToHex(std::span(&byte, 1));
}

}  // namespace

std::optional<std::string> TraceReplay::Read(std::string_view text) {
    const std::vector<std::string_view> lines = Lines(text);
    const std::optional<std::size_t> title = LastTitle(lines);
    if (!title) {
        return "no trace of the tool in it";
    }
    for (std::size_t i = *title + 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::string number = "line " + std::to_string(i + 1) + ": ";
        if (line.starts_with("# ")) {
            const std::string_view field = line.substr(2);
            const std::size_t space = std::min(field.find(' '), field.size());
            m_header.emplace_back(field.substr(0, space),
                                  field.substr(std::min(space + 1, field.size())));
            continue;
        }
        const std::optional<Event> event = ParseEvent(line);
        if (!event) {
            return number + "not a line of a trace";
        }
        if (event->rest == "lines dropped") {
            return number + "the trace lost " + std::string(event->what) +
                   " lines, so it cannot be replayed";
        }
        if (event->what == ">" || event->what == "<") {
            const auto bytes = FromHex(event->rest);
            if (!bytes) {
                return number + "its bytes are not hexadecimal";
            }
            if (event->what == ">") {
                m_exchanges.push_back(
                    Exchange{.line = i + 1, .at = event->at, .sent = *bytes, .replies = {}});
                continue;
            }
            if (m_exchanges.empty()) {
                return number + "an answer before the first report";
            }
            m_exchanges.back().replies.push_back(
                Reply{.kind = Reply::Kind::Answer, .at = event->at, .bytes = *bytes});
        } else if (event->what == "removed" || event->what == "arrived") {
            if (m_exchanges.empty()) {
                return number +
                       "the dock left or arrived before the first report: a replay "
                       "starts with the dock attached";
            }
            m_exchanges.back().replies.push_back(Reply{
                .kind = event->what == "removed" ? Reply::Kind::Removed : Reply::Kind::Arrived,
                .at = event->at,
                .bytes = {}});
        } else if (event->what == "tool") {
            const std::size_t space = std::min(event->rest.find(' '), event->rest.size());
            std::string& result = event->rest.substr(0, space) == "hub" ? m_hub : m_dp;
            if (result.empty()) {
                result = event->rest.substr(std::min(space + 1, event->rest.size()));
            }
        } else if (event->what == "check" || event->what == "ending") {
            m_ending = event->rest;
        }
    }
    if (m_exchanges.empty()) {
        return "no report was recorded";
    }
    return std::nullopt;
}

std::string TraceReplay::Header(std::string_view name) const {
    for (const auto& [key, value] : m_header) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

ReplayedAnswer TraceReplay::Answer(std::span<const std::uint8_t> sent) {
    if (m_mismatch) {
        return {};
    }
    if (m_next == m_exchanges.size()) {
        m_mismatch = "after the trace's last report the tool sent " + ToHex(sent);
        return {};
    }
    const Exchange& exchange = m_exchanges[m_next];
    if (!std::equal(sent.begin(), sent.end(), exchange.sent.begin(), exchange.sent.end())) {
        m_mismatch = "line " + std::to_string(exchange.line) + ": expected " +
                     ToHex(exchange.sent) + ", sent " + ToHex(sent);
        return {};
    }
    ++m_next;
    ReplayedAnswer replayed;
    for (const Reply& reply : exchange.replies) {
        switch (reply.kind) {
            case Reply::Kind::Answer:
                // One answer to each report, as the dock gives it.
                if (!replayed.answer) {
                    replayed.answer = reply.bytes;
                    replayed.afterMs = static_cast<unsigned>(reply.at - exchange.at);
                }
                break;
            case Reply::Kind::Removed:
                replayed.bus.push_back(BusEventKind::Removed);
                break;
            case Reply::Kind::Arrived:
                replayed.bus.push_back(BusEventKind::Arrived);
                break;
        }
    }
    return replayed;
}

std::vector<std::string> TrafficShape(std::string_view traceText) {
    std::vector<std::string> shape;
    std::size_t packets = 0;
    std::vector<std::uint8_t> statuses;  // of the data packets' answers, each once
    bool inData = false;
    const auto closeData = [&] {
        if (packets > 0) {
            std::string line = "data ";
            line.append(std::to_string(packets));
            for (std::size_t i = 0; i < statuses.size(); ++i) {
                line.append(i == 0 ? ", answered " : " ").append(HexByte(statuses[i]));
            }
            shape.push_back(line);
        }
        packets = 0;
        statuses.clear();
        inData = false;
    };
    for (const std::string_view line : Lines(traceText)) {
        const std::optional<Event> event = ParseEvent(line);
        if (!event) {
            continue;
        }
        if (event->what == ">" || event->what == "<") {
            const std::vector<std::uint8_t> bytes =
                FromHex(event->rest).value_or(std::vector<std::uint8_t>{});
            const bool command = IsCommand(bytes);
            if (event->what == ">" && !command) {
                inData = true;
                ++packets;
                continue;
            }
            if (event->what == "<" && inData) {
                const std::uint8_t status = bytes.size() > 5 ? bytes[5] : 0xFF;
                if (std::find(statuses.begin(), statuses.end(), status) == statuses.end()) {
                    statuses.push_back(status);
                }
                continue;
            }
            closeData();
            std::string shaped(event->what);
            if (!command) {
                shaped.append(" unframed");
            } else {
                shaped.append(" ").append(CommandName(bytes[device::kCodePos]));
                if (event->what == "<") {
                    shaped.append(" ").append(HexByte(bytes.size() > 5 ? bytes[5] : 0xFF));
                }
            }
            shape.push_back(shaped);
            continue;
        }
        if (event->what == "tool") {
            continue;  // the vendor tools', not the dock's
        }
        closeData();
        std::string shaped(event->what);
        if (event->what == "check" || event->what == "ending" || event->what == "write-failed") {
            shaped.append(" ").append(event->rest);
        }
        shape.push_back(shaped);
    }
    closeData();
    return shape;
}

}  // namespace sim
