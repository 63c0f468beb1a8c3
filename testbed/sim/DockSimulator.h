#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "device/IspAnswer.h"
#include "device/IspReport.h"
#include "testbed/sim/SimTypes.h"

namespace sim {

// Byte 0 of every answer; the tool does not examine it.
inline constexpr std::uint8_t kAnswerReportId = 0x01;
// Byte 5 of answers that carry a status.
inline constexpr std::uint8_t kStatusOk = 0x00;
inline constexpr std::uint8_t kStatusBusy = 0x01;
inline constexpr std::uint8_t kStatusFailed = 0x02;
inline constexpr std::uint8_t kStatusRefused = 0xFF;  // not served now: wrong mode, order or code

// Answers to commands as the dock frames them: the command's code as class and
// code, the signature, and from byte 5 on a status or a 16-bit sum, high byte first.
device::IspReport FramedAnswer(std::uint8_t code);
device::IspReport StatusAnswer(std::uint8_t code, std::uint8_t status);
device::IspReport SumAnswer(std::uint8_t code, std::uint16_t sum);

// The dock's microcontroller as the tool meets it over its HID collection. In
// its application it answers the mode and version queries and programs
// chips 1 and 2; in its bootloader it programs its own flash, chip 3. Every
// byte written to a chip is kept so tests compare it with the package. After
// the finish command it answers and stays in its bootloader: the new
// application runs only once the user has powered the dock off and on
// (Unplug, then Plug).
//
// Every report is read as the dock's firmware reads it: report ID, the class
// that goes with the command, zeros after the parameters or the data, the
// trailer, data lengths of 1 to 59. One it cannot parse is refused, and every
// refusal and other deviation from the protocol is noted in ProtocolErrors(),
// so a whole run shows that list empty.
//
// A report is a command when bytes 2 to 3 hold FE FF, otherwise a data packet
// for the chip being programmed.
class DockSimulator {
public:
    explicit DockSimulator(DockSettings settings = {});

    // One output report in, as it reaches the device.
    Reaction HandleOutputReport(std::span<const std::uint8_t> report);

    // The technician pulls or plugs the cable. Plugging in powers the
    // microcontroller up: it starts its application when the application is
    // whole, its bootloader otherwise.
    std::vector<BusEvent> Unplug();
    std::vector<BusEvent> Plug();
    bool Plugged() const { return m_plugged; }
    // Counts the dock's arrivals, so a link can tell a handle from before a
    // re-plug from a current one.
    std::uint32_t Arrivals() const { return m_arrivals; }

    // The machine's HID interfaces: the dock's (by default its one vendor
    // collection) and any a test adds. PresentInterfaces() leaves out the
    // dock's while it is unplugged.
    std::vector<SimInterface>& Interfaces() { return m_interfaces; }
    std::vector<SimInterface> PresentInterfaces() const;

    DockFaults& Faults() { return m_faults; }
    DockSettings& Settings() { return m_settings; }

    device::DeviceMode Mode() const { return m_mode; }
    const std::array<std::uint8_t, 4>& ApplicationVersion() const { return m_version; }

    // Chip 1: the blocks written to flash since its last erase.
    const std::vector<std::uint8_t>& Chip1Contents() const { return m_chip1; }
    // Chip 2: one entry per file, in the order they were sent.
    const std::vector<std::vector<std::uint8_t>>& Chip2Files() const { return m_chip2; }
    // Chip 3: the erased pages, and the part of them written since the erase.
    const std::vector<std::uint8_t>& Chip3Flash() const { return m_chip3; }
    std::span<const std::uint8_t> Chip3Written() const;

    const std::vector<device::IspReport>& Received() const { return m_received; }
    std::uint32_t ReportCount() const { return m_reportCount; }
    const std::vector<std::string>& ProtocolErrors() const { return m_protocolErrors; }

private:
    enum class Chip1Phase { Idle, Ready, Erasing, Erased };
    enum class DataTarget { None, Chip1, Chip2, Chip3 };

    Reaction Process(const device::IspReport& report);
    Reaction ProcessCommand(const device::IspReport& report);
    device::IspReport ProcessData(const device::IspReport& report);
    device::IspReport Refused(std::uint8_t code);
    Reaction Refuse(const device::IspReport& report, bool command, std::string why);
    std::vector<BusEvent> RestartIntoBootloader();

    std::uint8_t Chip1Initial();
    std::uint8_t Chip1Erase();
    std::uint8_t Chip1Status();
    std::uint16_t Chip1Checksum(std::uint32_t length);
    void Chip1End();
    std::uint8_t Chip3Erase(std::uint8_t pages);
    std::uint16_t Chip3Checksum(std::uint16_t length) const;
    std::uint8_t Finish(const device::IspReport& report);

    bool AcceptPacketNumber(std::uint16_t number);
    bool WriteChip1(std::span<const std::uint8_t> bytes);
    bool WriteChip3(std::span<const std::uint8_t> bytes);
    void FlushChip1Block();
    void PowerUp();
    std::vector<BusEvent> DockEvents(BusEventKind kind) const;
    void NoteError(std::string text);

    DockSettings m_settings;
    DockFaults m_faults;
    std::vector<SimInterface> m_interfaces;
    bool m_plugged = true;
    std::uint32_t m_arrivals = 1;
    bool m_hung = false;

    device::DeviceMode m_mode;
    std::array<std::uint8_t, 4> m_version;
    bool m_applicationWhole;

    DataTarget m_target = DataTarget::None;
    std::uint16_t m_nextPacket = 1;

    Chip1Phase m_chip1Phase = Chip1Phase::Idle;
    unsigned m_chip1BusyLeft = 0;
    std::vector<std::uint8_t> m_chip1;
    std::vector<std::uint8_t> m_chip1Block;  // the block being filled
    std::vector<std::vector<std::uint8_t>> m_chip2;
    std::vector<std::uint8_t> m_chip3;
    std::size_t m_chip3Written = 0;

    std::vector<device::IspReport> m_received;
    std::uint32_t m_reportCount = 0;
    std::vector<std::string> m_protocolErrors;
};

}  // namespace sim
