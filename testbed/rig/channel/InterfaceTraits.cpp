#include "testbed/rig/channel/InterfaceTraits.h"

#include <charconv>
#include <cstdint>

#include "testbed/rig/channel/RigNames.h"

namespace rig {
namespace {

// Built by appending: GCC 12 warns wrongly about a literal plus a string.
std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

std::optional<unsigned long> ParseNumber(std::string_view text, unsigned long limit) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    }
    unsigned long value = 0;
    const auto [end, result] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || result != std::errc() || end != text.data() + text.size() ||
        value > limit) {
        return std::nullopt;
    }
    return value;
}

bool ApplyKey(std::string_view key, std::string_view value, sim::SimInterface& into,
              std::string& error) {
    const bool flag = key == "dock";
    const std::optional<unsigned long> number = ParseNumber(value, flag ? 1 : 0xFFFF);
    if (!number) {
        error = "bad value " + Quoted(value) + " for " + std::string(key);
        return false;
    }
    const auto word = static_cast<std::uint16_t>(*number);
    if (key == "vid") {
        into.identity.vendorId = word;
    } else if (key == "pid") {
        into.identity.productId = word;
    } else if (key == "release") {
        into.identity.versionNumber = word;
    } else if (key == "page") {
        into.usagePage = word;
    } else if (key == "usage") {
        into.usage = word;
    } else if (key == "in") {
        into.inputReportLength = word;
    } else if (key == "out") {
        into.outputReportLength = word;
    } else if (flag) {
        into.ofDock = *number == 1;
    } else {
        error = "unknown key " + Quoted(key);
        return false;
    }
    return true;
}

std::string Hex16(std::uint16_t value) {
    constexpr const char* kDigits = "0123456789abcdef";
    std::string text = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) {
        text += kDigits[(value >> shift) & 0xFU];
    }
    return text;
}

}  // namespace

bool ApplyInterfaceTraits(std::string_view traits, sim::SimInterface& into, std::string& error) {
    while (!traits.empty()) {
        const std::size_t comma = traits.find(',');
        const std::string_view pair = traits.substr(0, comma);
        traits = comma == std::string_view::npos ? std::string_view() : traits.substr(comma + 1);
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos) {
            error = Quoted(pair) + " is not KEY=VALUE";
            return false;
        }
        if (!ApplyKey(pair.substr(0, equals), pair.substr(equals + 1), into, error)) {
            return false;
        }
    }
    return true;
}

std::string FormatInterfaceTraits(const sim::SimInterface& entry) {
    return "vid=" + Hex16(entry.identity.vendorId) + ",pid=" + Hex16(entry.identity.productId) +
           ",release=" + Hex16(entry.identity.versionNumber) + ",page=" + Hex16(entry.usagePage) +
           ",usage=" + Hex16(entry.usage) + ",in=" + std::to_string(entry.inputReportLength) +
           ",out=" + std::to_string(entry.outputReportLength) +
           ",dock=" + (entry.ofDock ? "1" : "0");
}

std::string FormatListing(const std::vector<ListedInterface>& interfaces) {
    std::string text;
    for (const ListedInterface& listed : interfaces) {
        text += std::to_string(listed.index) + " " + FormatInterfaceTraits(listed.entry) + "\n";
    }
    return text;
}

std::optional<std::vector<ListedInterface>> ParseListing(std::string_view text) {
    std::vector<ListedInterface> interfaces;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        const std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos) {
            return std::nullopt;
        }
        const std::optional<unsigned long> index = ParseNumber(line.substr(0, space), 9999);
        ListedInterface listed;
        std::string error;
        if (!index || !ApplyInterfaceTraits(line.substr(space + 1), listed.entry, error)) {
            return std::nullopt;
        }
        listed.index = static_cast<unsigned>(*index);
        listed.entry.path = InterfacePipePath(listed.index);
        interfaces.push_back(std::move(listed));
    }
    return interfaces;
}

}  // namespace rig
