#include "testbed/rig/docksim/DockSimOptions.h"

#include <charconv>

#include "testbed/rig/channel/InterfaceTraits.h"
#include "testbed/rig/channel/TextConversion.h"

const char* const kDockSimUsage =
    "usage: docksim.exe [OPTION...]        serve the simulated dock until asked to quit\n"
    "       docksim.exe --send REQUEST     ask the running docksim, print its reply\n"
    "options:\n"
    "  --dock TRAITS          the dock's vendor collection, placed here in the list (first\n"
    "                         by default); TRAITS is KEY=VALUE,... with the keys vid, pid,\n"
    "                         release, page, usage, in, out, dock, or the word default\n"
    "  --interface TRAITS     one more HID interface; a foreign one unless dock=1\n"
    "  --mode application|bootloader\n"
    "  --version LDDD         the application's version: a letter and three digits\n"
    "  --busy-answers N       busy answers before chip 1's erase ends (default 2)\n"
    "  --fault FAULT          chip1-flash-error, chip1-erase-error, chip1-endless-busy,\n"
    "                         chip1-wrong-checksum, chip3-erase-error, chip3-wrong-checksum,\n"
    "                         finish-unanswered, jump-into-application, silent-from=N,\n"
    "                         remove-before=N, remove-after=N (reports count from 1)\n"
    "  --answer-delay-us N    time the dock takes to answer a report (default 0)\n"
    "  --notify-caption TEXT  caption of the window told of arrivals and removals\n"
    "  --dump-dir DIR         write the chips' contents and a summary there at the end\n"
    "  --unplugged            start with the dock unplugged\n"
    "  --wait-ms N            how long --send waits for docksim to start (default 20000)\n"
    "requests: interfaces | plug | unplug | replug N (foreign interface N of the listing) |\n"
    "          fault FAULT | status | dump DIR | quit\n";

namespace {

std::optional<std::uint32_t> ParseCount(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, result] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// A letter and three digits, "E117": the letter and the three digit values.
std::optional<std::array<std::uint8_t, 4>> ParseVersion(std::string_view text) {
    if (text.size() != 4 || text[0] < 'A' || text[0] > 'Z') {
        return std::nullopt;
    }
    std::array<std::uint8_t, 4> version{static_cast<std::uint8_t>(text[0]), 0, 0, 0};
    for (std::size_t i = 1; i < 4; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        version[i] = static_cast<std::uint8_t>(text[i] - '0');
    }
    return version;
}

// The dock's collection as the simulator knows it, changed by `traits`.
bool DockInterface(std::string_view traits, sim::SimInterface& dock, std::string& error) {
    dock = sim::SimInterface{};
    return traits == "default" || rig::ApplyInterfaceTraits(traits, dock, error);
}

}  // namespace

bool ApplyFault(std::string_view fault, sim::DockFaults& faults, std::string& error) {
    struct Flag {
        std::string_view name;
        bool sim::DockFaults::*member;
    };
    static constexpr Flag kFlags[] = {
        {"chip1-flash-error", &sim::DockFaults::chip1FlashError},
        {"chip1-erase-error", &sim::DockFaults::chip1EraseError},
        {"chip1-endless-busy", &sim::DockFaults::chip1EndlessBusy},
        {"chip1-wrong-checksum", &sim::DockFaults::chip1WrongChecksum},
        {"chip3-erase-error", &sim::DockFaults::chip3EraseError},
        {"chip3-wrong-checksum", &sim::DockFaults::chip3WrongChecksum},
        {"finish-unanswered", &sim::DockFaults::finishUnanswered},
        {"jump-into-application", &sim::DockFaults::jumpIntoApplication},
    };
    struct Count {
        std::string_view name;
        std::uint32_t sim::DockFaults::*member;
    };
    static constexpr Count kCounts[] = {
        {"silent-from", &sim::DockFaults::silentFromReport},
        {"remove-before", &sim::DockFaults::removeBeforeReport},
        {"remove-after", &sim::DockFaults::removeAfterReport},
    };
    for (const Flag& flag : kFlags) {
        if (fault == flag.name) {
            faults.*flag.member = true;
            return true;
        }
    }
    const std::size_t equals = fault.find('=');
    const std::string_view name = fault.substr(0, equals);
    for (const Count& count : kCounts) {
        if (name != count.name) {
            continue;
        }
        const std::optional<std::uint32_t> report =
            equals == std::string_view::npos ? std::nullopt : ParseCount(fault.substr(equals + 1));
        if (!report) {
            error = std::string(name) + " needs =N, the number of a report";
            return false;
        }
        faults.*count.member = *report;
        return true;
    }
    error = "unknown fault \"" + std::string(fault) + "\"";
    return false;
}

std::optional<DockSimOptions> ParseDockSimOptions(int argc, const wchar_t* const* argv,
                                                  std::string& error) {
    DockSimOptions options;
    std::optional<std::size_t> dockPosition;
    for (int i = 1; i < argc; ++i) {
        const std::string option = rig::ToUtf8(argv[i]);
        if (option == "--unplugged") {
            options.startUnplugged = true;
            continue;
        }
        if (i + 1 >= argc) {
            error =
                option.starts_with("--") ? option + " needs a value" : "unknown option " + option;
            return std::nullopt;
        }
        const std::wstring wideValue = argv[++i];
        const std::string value = rig::ToUtf8(wideValue);
        bool valid = true;
        if (option == "--dock") {
            sim::SimInterface dock;
            valid = !dockPosition && DockInterface(value, dock, error);
            if (valid) {
                dockPosition = options.interfaces.size();
                options.interfaces.push_back(dock);
            } else if (error.empty()) {
                error = "--dock may be given once";
            }
        } else if (option == "--interface") {
            sim::SimInterface other;
            other.ofDock = false;
            valid = rig::ApplyInterfaceTraits(value, other, error);
            options.interfaces.push_back(other);
        } else if (option == "--mode") {
            valid = value == "application" || value == "bootloader";
            options.settings.mode = value == "bootloader" ? device::DeviceMode::Bootloader
                                                          : device::DeviceMode::Application;
        } else if (option == "--version") {
            const std::optional<std::array<std::uint8_t, 4>> version = ParseVersion(value);
            valid = version.has_value();
            options.settings.applicationVersion = version.value_or(std::array<std::uint8_t, 4>{});
        } else if (option == "--busy-answers" || option == "--answer-delay-us" ||
                   option == "--wait-ms") {
            const std::optional<std::uint32_t> count = ParseCount(value);
            valid = count.has_value();
            if (option == "--busy-answers") {
                options.settings.chip1EraseBusyAnswers = count.value_or(0);
            } else if (option == "--answer-delay-us") {
                options.answerDelayUs = count.value_or(0);
            } else {
                options.waitMs = count.value_or(0);
            }
        } else if (option == "--fault") {
            valid = ApplyFault(value, options.faults, error);
        } else if (option == "--notify-caption") {
            options.notifyCaption = wideValue;
        } else if (option == "--dump-dir") {
            options.dumpDir = wideValue;
        } else if (option == "--send") {
            options.request = value;
        } else {
            error = "unknown option " + option;
            return std::nullopt;
        }
        if (!valid) {
            if (error.empty()) {
                error = "bad value \"" + value + "\" for " + option;
            }
            return std::nullopt;
        }
    }
    if (!dockPosition) {
        options.interfaces.insert(options.interfaces.begin(), sim::SimInterface{});
    }
    return options;
}
