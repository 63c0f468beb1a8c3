#include "testbed/sim/DockSimulator.h"

#include <algorithm>
#include <utility>

#include "device/IspCommand.h"
#include "device/IspDataPacket.h"

namespace sim {
namespace {

using device::DeviceMode;
using device::IspReport;

constexpr std::uint8_t kErased = 0xFF;

// The dock's vendor collection as Windows names it.
constexpr const wchar_t* kDockPath =
    L"\\\\?\\hid#vid_10c4&pid_f607#7&2f1c3a5e&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

// The sum a chip computes over `length` bytes of its flash; bytes past what
// was written read as erased.
std::uint16_t FlashSum(const std::vector<std::uint8_t>& flash, std::uint32_t length) {
    const std::size_t written = std::min<std::size_t>(flash.size(), length);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < written; ++i) {
        sum += flash[i];
    }
    sum += static_cast<std::uint32_t>(length - written) * kErased;
    return static_cast<std::uint16_t>(sum);
}

std::string Hex(std::uint8_t value) {
    constexpr const char* kDigits = "0123456789ABCDEF";
    return std::string("0x") + kDigits[value >> 4U] + kDigits[value & 0x0FU];
}

// How the dock's firmware reads a command: the class byte that goes with the
// code, how many parameter bytes follow the code (the rest up to the trailer
// must be zero), and the trailer. Written out here on its own, not taken from
// the tool's builders, so a misreading the tool makes shows as a refusal.
struct CommandShape {
    std::uint8_t code;
    std::uint8_t commandClass;
    std::size_t parameterBytes;
    std::uint8_t trailer;
};

constexpr CommandShape kCommandShapes[] = {
    {0x02, 0x03, 8, 0x5A},  // finish: sum, length, version letter and digits
    {0x03, 0x03, 0, 0x5A},  // jump into the bootloader
    {0x04, 0x04, 1, 0x00},  // chip 3 erase: page count
    {0x05, 0x04, 2, 0x00},  // chip 3 checksum: length
    {0x07, 0x03, 0, 0x5A},  // mode query
    {0x08, 0x03, 0, 0x5A},  // version query
    {0x09, 0x04, 0, 0x5A},  // chip 1 prepare
    {0x0A, 0x04, 0, 0x5A},  // chip 1 erase
    {0x0C, 0x04, 0, 0x5A},  // chip 1 erase status
    {0x0D, 0x04, 4, 0x5A},  // chip 1 checksum: length
    {0x0E, 0x04, 0, 0x5A},  // chip 1 end
    {0x0F, 0x04, 0, 0x5A},  // chip 2 start
};

constexpr std::size_t kFirstParameter = 5;
constexpr std::size_t kTrailerAt = 63;
constexpr std::uint8_t kDataTrailer = 0x5A;

bool ZeroBetween(const IspReport& report, std::size_t first, std::size_t end) {
    return std::all_of(report.begin() + static_cast<std::ptrdiff_t>(first),
                       report.begin() + static_cast<std::ptrdiff_t>(end),
                       [](std::uint8_t byte) { return byte == 0; });
}

// Why the dock would not take this command, or empty when it would. Codes it
// does not know are left to the command dispatch.
std::string CommandFault(const IspReport& report) {
    const std::uint8_t code = report[4];
    const auto* shape = std::find_if(std::begin(kCommandShapes), std::end(kCommandShapes),
                                     [code](const CommandShape& s) { return s.code == code; });
    if (shape == std::end(kCommandShapes)) {
        return {};
    }
    if (report[1] != shape->commandClass) {
        return "class " + Hex(report[1]) + ", not " + Hex(shape->commandClass);
    }
    if (report[kTrailerAt] != shape->trailer) {
        return "trailer " + Hex(report[kTrailerAt]) + ", not " + Hex(shape->trailer);
    }
    if (!ZeroBetween(report, kFirstParameter + shape->parameterBytes, kTrailerAt)) {
        return "bytes after its parameters are not zero";
    }
    return {};
}

// Why the dock would not take this data packet, or empty when it would.
std::string PacketFault(const IspReport& report) {
    const std::size_t length = report[1];
    if (length == 0 || length > kTrailerAt - 4) {
        return std::to_string(length) + " bytes";
    }
    if (report[kTrailerAt] != kDataTrailer) {
        return "trailer " + Hex(report[kTrailerAt]);
    }
    if (!ZeroBetween(report, 4 + length, kTrailerAt)) {
        return "bytes after its data are not zero";
    }
    return {};
}

// The answer to a data packet echoes its byte count and packet number; byte 5
// tells whether the bytes were taken.
IspReport PacketAnswer(const IspReport& packet, std::uint8_t status) {
    IspReport answer{};
    answer[device::kReportIdPos] = kAnswerReportId;
    std::copy_n(packet.begin() + device::kPacketLengthPos, 3,
                answer.begin() + device::kPacketLengthPos);
    answer[device::kParameterPos] = status;
    return answer;
}

}  // namespace

IspReport FramedAnswer(std::uint8_t code) {
    IspReport answer{};
    answer[device::kReportIdPos] = kAnswerReportId;
    answer[device::kClassPos] = code;
    answer[device::kSignatureHighPos] = device::kSignatureHigh;
    answer[device::kSignatureLowPos] = device::kSignatureLow;
    answer[device::kCodePos] = code;
    return answer;
}

IspReport StatusAnswer(std::uint8_t code, std::uint8_t status) {
    IspReport answer = FramedAnswer(code);
    answer[device::kParameterPos] = status;
    return answer;
}

IspReport SumAnswer(std::uint8_t code, std::uint16_t sum) {
    IspReport answer = FramedAnswer(code);
    device::PutBigEndian16(answer, device::kParameterPos, sum);
    return answer;
}

DockSimulator::DockSimulator(DockSettings settings)
    : m_settings(settings),
      m_mode(settings.mode),
      m_version(settings.applicationVersion),
      m_applicationWhole(settings.mode == DeviceMode::Application) {
    SimInterface dock;
    dock.path = kDockPath;
    m_interfaces.push_back(dock);
}

Reaction DockSimulator::HandleOutputReport(std::span<const std::uint8_t> report) {
    Reaction reaction;
    if (!m_plugged) {
        return reaction;
    }
    ++m_reportCount;
    if (m_reportCount == m_faults.removeBeforeReport) {
        reaction.events = Unplug();
        return reaction;
    }
    if (m_reportCount == m_faults.silentFromReport) {
        m_hung = true;
    }
    if (report.size() != device::kReportSize) {
        NoteError("report " + std::to_string(m_reportCount) + " of " +
                  std::to_string(report.size()) + " bytes ignored");
    } else {
        IspReport bytes{};
        std::copy(report.begin(), report.end(), bytes.begin());
        m_received.push_back(bytes);
        if (!m_hung) {
            reaction = Process(bytes);
        }
    }
    if (m_reportCount == m_faults.removeAfterReport) {
        std::vector<BusEvent> removed = Unplug();
        reaction.events.insert(reaction.events.end(), removed.begin(), removed.end());
    }
    return reaction;
}

Reaction DockSimulator::Process(const IspReport& report) {
    const bool command = report[device::kSignatureHighPos] == device::kSignatureHigh &&
                         report[device::kSignatureLowPos] == device::kSignatureLow;
    if (report[0] != device::kOutputReportId) {
        return Refuse(report, command, "report ID " + Hex(report[0]));
    }
    if (command) {
        if (std::string fault = CommandFault(report); !fault.empty()) {
            return Refuse(report, command, std::move(fault));
        }
        return ProcessCommand(report);
    }
    if (std::string fault = PacketFault(report); !fault.empty()) {
        return Refuse(report, command, std::move(fault));
    }
    return Reaction{.answer = ProcessData(report), .events = {}};
}

// A report the dock cannot parse changes nothing; a command is answered with
// the refusal status, a data packet with the failure status.
Reaction DockSimulator::Refuse(const IspReport& report, bool command, std::string why) {
    NoteError("report " + std::to_string(m_reportCount) + " refused: " +
              (command ? "command " + Hex(report[device::kCodePos]) : std::string("data packet")) +
              ", " + why);
    if (command) {
        return Reaction{.answer = StatusAnswer(report[device::kCodePos], kStatusRefused),
                        .events = {}};
    }
    return Reaction{.answer = PacketAnswer(report, kStatusFailed), .events = {}};
}

Reaction DockSimulator::ProcessCommand(const IspReport& report) {
    const std::uint8_t code = report[device::kCodePos];
    const bool application = m_mode == DeviceMode::Application;
    Reaction reaction;
    switch (code) {
        case device::USBUID_ISP_EFM8_CMD_DEVICE_STATUS:
            reaction.answer = StatusAnswer(code, application ? 0x00 : 0x01);
            return reaction;
        case device::USBUID_ISP_EFM8_CMD_DEVICE_VERSION:
            reaction.answer = FramedAnswer(code);
            std::copy(m_version.begin(), m_version.end(),
                      reaction.answer->begin() + device::kParameterPos);
            return reaction;
        case device::USBUID_ISP_EFM8_CMD_TI_INITIAL:
            if (application) {
                reaction.answer = StatusAnswer(code, Chip1Initial());
                return reaction;
            }
            break;
        case device::USBUID_ISP_EFM8_CMD_TI_ERASE:
            if (application) {
                reaction.answer = StatusAnswer(code, Chip1Erase());
                return reaction;
            }
            break;
        case device::USBUID_ISP_EFM8_CMD_TI_STATUS:
            if (application) {
                reaction.answer = StatusAnswer(code, Chip1Status());
                return reaction;
            }
            break;
        case device::USBUID_ISP_EFM8_CMD_TI_CHECKSUM:
            if (application) {
                const std::uint32_t length = device::GetBigEndian32(report, device::kParameterPos);
                reaction.answer = SumAnswer(code, Chip1Checksum(length));
                return reaction;
            }
            break;
        case device::USBUID_ISP_EFM8_CMD_TI_END:
            if (application) {
                Chip1End();
                reaction.answer = StatusAnswer(code, kStatusOk);
                return reaction;
            }
            break;
        case device::USBUID_ISP_EFM8_CMD_MEGACHIP_INITIAL:
            if (application) {
                m_chip2.clear();
                m_target = DataTarget::Chip2;
                m_nextPacket = 1;
                reaction.answer = StatusAnswer(code, kStatusOk);
                return reaction;
            }
            break;
        case device::USBUID_ISP_EFM8_CMD_JUMP_ISP:
            if (application) {
                reaction.answer = StatusAnswer(code, kStatusOk);
                reaction.events = RestartIntoBootloader();
                return reaction;
            }
            break;
        case device::USBUID_ISP_EFM8_CMD_ERASE:
            if (!application) {
                reaction.answer = StatusAnswer(code, Chip3Erase(report[device::kParameterPos]));
                return reaction;
            }
            break;
        case device::USBUID_ISP_EFM8_CMD_CHECKSUM:
            if (!application) {
                const std::uint16_t length = device::GetBigEndian16(report, device::kParameterPos);
                reaction.answer = SumAnswer(code, Chip3Checksum(length));
                return reaction;
            }
            break;
        case device::USBUID_ISP_EFM8_CMD_FINISH:
            if (!application) {
                // The new application starts at the next power-up: the dock
                // stays on the bus in its bootloader until the user powers it off.
                const std::uint8_t status = Finish(report);
                if (!m_faults.finishUnanswered) {
                    reaction.answer = StatusAnswer(code, status);
                }
                return reaction;
            }
            break;
        default:
            break;
    }
    reaction.answer = Refused(code);
    return reaction;
}

IspReport DockSimulator::Refused(std::uint8_t code) {
    NoteError("command " + Hex(code) + " not served in the " +
              (m_mode == DeviceMode::Application ? "application" : "bootloader"));
    return StatusAnswer(code, kStatusRefused);
}

IspReport DockSimulator::ProcessData(const IspReport& report) {
    const std::uint8_t length = report[device::kPacketLengthPos];
    const auto number = static_cast<std::uint16_t>(report[device::kPacketNumberPos] |
                                                   (report[device::kPacketNumberPos + 1] << 8U));
    bool taken = false;
    if (m_target == DataTarget::None) {
        NoteError("data packet " + std::to_string(number) + " with no chip being programmed");
    } else if (AcceptPacketNumber(number)) {
        const std::span<const std::uint8_t> bytes(report.data() + device::kPacketDataPos, length);
        switch (m_target) {
            case DataTarget::Chip1:
                taken = WriteChip1(bytes);
                break;
            case DataTarget::Chip2:
                m_chip2.back().insert(m_chip2.back().end(), bytes.begin(), bytes.end());
                taken = true;
                break;
            case DataTarget::Chip3:
                taken = WriteChip3(bytes);
                break;
            case DataTarget::None:
                break;
        }
    }
    return PacketAnswer(report, taken ? kStatusOk : kStatusFailed);
}

// Packets of an image are numbered from 1 without gaps. Chip 2 takes two files
// in a row, so a packet numbered 1 there starts the next file.
bool DockSimulator::AcceptPacketNumber(std::uint16_t number) {
    const bool startsFile = m_target == DataTarget::Chip2 && number == 1;
    if (!startsFile && number != m_nextPacket) {
        NoteError("data packet " + std::to_string(number) + " out of order, expected " +
                  std::to_string(m_nextPacket));
        return false;
    }
    if (startsFile) {
        m_chip2.emplace_back();
    }
    m_nextPacket = static_cast<std::uint16_t>(number + 1);
    return true;
}

std::uint8_t DockSimulator::Chip1Initial() {
    if (m_target == DataTarget::Chip1) {
        m_target = DataTarget::None;
    }
    if (m_faults.chip1FlashError) {
        m_chip1Phase = Chip1Phase::Idle;
        return kStatusFailed;
    }
    m_chip1Phase = Chip1Phase::Ready;
    return kStatusOk;
}

std::uint8_t DockSimulator::Chip1Erase() {
    if (m_chip1Phase != Chip1Phase::Ready) {
        NoteError("chip 1 erase without a successful prepare");
        return kStatusRefused;
    }
    if (m_faults.chip1EraseError) {
        return kStatusFailed;
    }
    m_chip1.clear();
    m_chip1Block.clear();
    m_chip1Phase = Chip1Phase::Erasing;
    m_chip1BusyLeft = m_settings.chip1EraseBusyAnswers;
    return kStatusOk;
}

std::uint8_t DockSimulator::Chip1Status() {
    switch (m_chip1Phase) {
        case Chip1Phase::Erasing:
            if (m_faults.chip1EndlessBusy) {
                return kStatusBusy;
            }
            if (m_chip1BusyLeft > 0) {
                --m_chip1BusyLeft;
                return kStatusBusy;
            }
            m_chip1Phase = Chip1Phase::Erased;
            m_target = DataTarget::Chip1;
            m_nextPacket = 1;
            return kStatusOk;
        case Chip1Phase::Erased:
            return kStatusOk;
        case Chip1Phase::Idle:
        case Chip1Phase::Ready:
            break;
    }
    NoteError("chip 1 erase status asked with no erase started");
    return kStatusRefused;
}

// Chip 1's flash takes whole 256-byte blocks, so its packets may fill a
// block but never run into the next one.
bool DockSimulator::WriteChip1(std::span<const std::uint8_t> bytes) {
    const std::size_t position = m_chip1.size() + m_chip1Block.size();
    if (position % device::kChip1BlockSize + bytes.size() > device::kChip1BlockSize) {
        NoteError("chip 1 packet of " + std::to_string(bytes.size()) + " bytes at " +
                  std::to_string(position) + " crosses a 256-byte block");
        return false;
    }
    m_chip1Block.insert(m_chip1Block.end(), bytes.begin(), bytes.end());
    if (m_chip1Block.size() == device::kChip1BlockSize) {
        FlushChip1Block();
    }
    return true;
}

void DockSimulator::FlushChip1Block() {
    m_chip1.insert(m_chip1.end(), m_chip1Block.begin(), m_chip1Block.end());
    m_chip1Block.clear();
}

std::uint16_t DockSimulator::Chip1Checksum(std::uint32_t length) {
    FlushChip1Block();
    const std::uint16_t sum = FlashSum(m_chip1, length);
    return m_faults.chip1WrongChecksum ? static_cast<std::uint16_t>(sum + 1) : sum;
}

void DockSimulator::Chip1End() {
    FlushChip1Block();
    m_chip1Phase = Chip1Phase::Idle;
    if (m_target == DataTarget::Chip1) {
        m_target = DataTarget::None;
    }
}

std::uint8_t DockSimulator::Chip3Erase(std::uint8_t pages) {
    if (m_faults.chip3EraseError) {
        return kStatusFailed;
    }
    m_chip3.assign(std::size_t{pages} * device::kChip3PageSize, kErased);
    m_chip3Written = 0;
    m_applicationWhole = false;
    m_target = DataTarget::Chip3;
    m_nextPacket = 1;
    return kStatusOk;
}

bool DockSimulator::WriteChip3(std::span<const std::uint8_t> bytes) {
    if (m_chip3Written + bytes.size() > m_chip3.size()) {
        NoteError("chip 3 write past the " + std::to_string(m_chip3.size()) + " erased bytes");
        return false;
    }
    std::copy(bytes.begin(), bytes.end(),
              m_chip3.begin() + static_cast<std::ptrdiff_t>(m_chip3Written));
    m_chip3Written += bytes.size();
    return true;
}

std::uint16_t DockSimulator::Chip3Checksum(std::uint16_t length) const {
    const std::uint16_t sum = FlashSum(m_chip3, length);
    return m_faults.chip3WrongChecksum ? static_cast<std::uint16_t>(sum + 1) : sum;
}

// The bootloader starts the new application only when the sum and length it
// is given agree with its flash; otherwise it comes back as a bootloader.
std::uint8_t DockSimulator::Finish(const IspReport& report) {
    const std::uint16_t sum = device::GetBigEndian16(report, device::kParameterPos);
    const std::uint16_t length = device::GetBigEndian16(report, device::kParameterPos + 2);
    m_target = DataTarget::None;
    if (length == 0 || FlashSum(m_chip3, length) != sum) {
        return kStatusFailed;
    }
    m_applicationWhole = true;
    std::copy_n(report.begin() + device::kParameterPos + 4, m_version.size(), m_version.begin());
    return kStatusOk;
}

std::vector<BusEvent> DockSimulator::RestartIntoBootloader() {
    std::vector<BusEvent> events = Unplug();
    std::vector<BusEvent> arrived = Plug();
    // A restart that does not take (or loses its power on the way) boots
    // the application, which chip 3 still holds whole.
    if (!m_faults.jumpIntoApplication) {
        m_mode = DeviceMode::Bootloader;
    }
    events.insert(events.end(), arrived.begin(), arrived.end());
    return events;
}

std::vector<BusEvent> DockSimulator::Unplug() {
    if (!m_plugged) {
        return {};
    }
    std::vector<BusEvent> events = DockEvents(BusEventKind::Removed);
    m_plugged = false;
    return events;
}

std::vector<BusEvent> DockSimulator::Plug() {
    if (m_plugged) {
        return {};
    }
    m_plugged = true;
    ++m_arrivals;
    PowerUp();
    return DockEvents(BusEventKind::Arrived);
}

// What a power cycle forgets: a hang, the chip being programmed and the block
// not yet written.
void DockSimulator::PowerUp() {
    m_hung = false;
    m_mode = m_applicationWhole ? DeviceMode::Application : DeviceMode::Bootloader;
    m_target = DataTarget::None;
    m_nextPacket = 1;
    m_chip1Phase = Chip1Phase::Idle;
    m_chip1Block.clear();
}

std::vector<BusEvent> DockSimulator::DockEvents(BusEventKind kind) const {
    std::vector<BusEvent> events;
    for (const SimInterface& entry : m_interfaces) {
        if (entry.ofDock) {
            events.push_back(BusEvent{.kind = kind, .path = entry.path});
        }
    }
    return events;
}

std::vector<SimInterface> DockSimulator::PresentInterfaces() const {
    std::vector<SimInterface> present;
    for (const SimInterface& entry : m_interfaces) {
        if (m_plugged || !entry.ofDock) {
            present.push_back(entry);
        }
    }
    return present;
}

std::span<const std::uint8_t> DockSimulator::Chip3Written() const {
    return std::span<const std::uint8_t>(m_chip3).first(m_chip3Written);
}

void DockSimulator::NoteError(std::string text) {
    m_protocolErrors.push_back(std::move(text));
}

}  // namespace sim
