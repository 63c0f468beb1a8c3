#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/HidInterfaceMatch.h"
#include "device/IspAnswer.h"
#include "device/IspCommand.h"
#include "device/IspDataPacket.h"
#include "testbed/sim/DockSimulator.h"
#include "testbed/sim/SimHidLink.h"

using device::DeviceMode;
using device::IspReport;
using Kind = SimHidLink::Delivery::Kind;

namespace {

constexpr std::uint16_t kVid = device::kDockVendorId;
constexpr std::uint16_t kPid = device::kDockProductId;
constexpr std::uint16_t kRelease = device::kDockRelease;

// Bytes that look like firmware: no runs, every value present.
std::vector<std::uint8_t> Image(std::size_t length, std::uint32_t seed) {
    std::vector<std::uint8_t> image(length);
    for (std::uint8_t& byte : image) {
        seed = seed * 1103515245U + 12345U;
        byte = static_cast<std::uint8_t>(seed >> 16U);
    }
    return image;
}

std::uint16_t Sum(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t sum = 0;
    for (const std::uint8_t byte : bytes) {
        sum += byte;
    }
    return static_cast<std::uint16_t>(sum);
}

bool HasErrorContaining(const sim::DockSimulator& dock, const std::string& text) {
    return std::any_of(
        dock.ProtocolErrors().begin(), dock.ProtocolErrors().end(),
        [&](const std::string& error) { return error.find(text) != std::string::npos; });
}

// The tool's side of the link, played by hand: one report out, one answer
// back, as the sequencer will do it.
struct Bench {
    sim::DockSimulator dock;
    SimHidLink link{dock};

    explicit Bench(sim::DockSettings settings = {}) : dock(settings) {}

    bool Open() {
        if (!link.OpenDevice(kVid, kPid, kRelease)) {
            return false;
        }
        link.WakeReader();
        return true;
    }

    // What the removal handler does before the next scan.
    void Close() {
        link.State().m_bOpen = false;
        link.CloseDevice();
    }

    std::optional<IspReport> Exchange(const IspReport& report) {
        EXPECT_TRUE(link.WriteReport(report));
        const auto delivery = link.TakeNext();
        if (!delivery || delivery->kind != Kind::Report) {
            return std::nullopt;
        }
        return delivery->bytes;
    }

    std::uint8_t Status(const IspReport& report) {
        const auto answer = Exchange(report);
        EXPECT_TRUE(answer);
        return answer ? device::DecodeStatus(*answer).value_or(0xEE) : 0xEE;
    }

    std::uint16_t Checksum(const IspReport& report) {
        const auto answer = Exchange(report);
        EXPECT_TRUE(answer);
        return answer ? device::DecodeChecksum(*answer).value_or(0) : 0;
    }

    std::optional<DeviceMode> Mode() {
        const auto answer = Exchange(device::BuildDeviceStatusCommand());
        return answer ? device::DecodeModeAnswer(*answer) : std::nullopt;
    }

    // Streams a whole image; returns the number of packets, each of which the
    // dock must have taken.
    std::size_t SendImage(const std::vector<std::uint8_t>& image, bool blockWise) {
        std::uint16_t number = 0;
        std::uint16_t room = device::kChip1BlockSize;
        std::size_t position = 0;
        while (position < image.size()) {
            const auto remaining = static_cast<std::uint32_t>(image.size() - position);
            const std::uint8_t n = blockWise ? device::BlockPacketLength(remaining, room)
                                             : device::PlainPacketLength(remaining);
            if (n == 0) {
                ADD_FAILURE() << "no bytes for packet " << number + 1;
                break;
            }
            room = device::BlockRoomAfter(room, n);
            const auto packet =
                device::BuildDataPacket(++number, std::span(image).subspan(position, n));
            EXPECT_TRUE(packet);
            const auto answer = Exchange(*packet);
            EXPECT_TRUE(answer) << "packet " << number;
            position += n;
        }
        return number;
    }

    std::optional<SimHidLink::Delivery> Next() { return link.TakeNext(); }
};

sim::DockSettings InBootloader() {
    sim::DockSettings settings;
    settings.mode = DeviceMode::Bootloader;
    return settings;
}

}  // namespace

TEST(DockSimulator, AnswersModeAndVersionInItsApplication) {
    sim::DockSettings settings;
    settings.applicationVersion = {'V', 2, 0, 5};
    Bench bench(settings);
    ASSERT_TRUE(bench.Open());

    const auto mode = bench.Exchange(device::BuildDeviceStatusCommand());
    ASSERT_TRUE(mode);
    EXPECT_EQ(device::AnsweredCode(*mode), device::USBUID_ISP_EFM8_CMD_DEVICE_STATUS);
    EXPECT_EQ(device::DecodeModeAnswer(*mode), DeviceMode::Application);

    const auto version = bench.Exchange(device::BuildDeviceVersionCommand());
    ASSERT_TRUE(version);
    EXPECT_EQ(device::DecodeVersionAnswer(*version), (std::array<std::uint8_t, 4>{'V', 2, 0, 5}));
    EXPECT_TRUE(bench.dock.ProtocolErrors().empty());
}

TEST(DockSimulator, ReceivesReportsWithTheReportIdTheLinkSets) {
    Bench bench;
    ASSERT_TRUE(bench.Open());
    IspReport report = device::BuildDeviceStatusCommand();
    report[0] = 0x77;
    ASSERT_TRUE(bench.Exchange(report));
    ASSERT_EQ(bench.dock.Received().size(), 1U);
    EXPECT_EQ(bench.dock.Received()[0], device::BuildDeviceStatusCommand());
    EXPECT_EQ(bench.dock.ReportCount(), 1U);
}

TEST(DockSimulator, Chip1BlockWiseTransferEndsWithTheImage) {
    sim::DockSettings settings;
    settings.chip1EraseBusyAnswers = 3;
    Bench bench(settings);
    ASSERT_TRUE(bench.Open());
    const std::vector<std::uint8_t> image = Image(138416, 4);

    EXPECT_EQ(bench.Status(device::BuildTiInitialCommand()), 0x00);
    EXPECT_EQ(bench.Status(device::BuildTiEraseCommand()), 0x00);
    for (int poll = 0; poll < 3; ++poll) {
        EXPECT_NE(bench.Status(device::BuildTiStatusCommand()), 0x00) << poll;
    }
    EXPECT_EQ(bench.Status(device::BuildTiStatusCommand()), 0x00);
    EXPECT_EQ(bench.SendImage(image, true), 2703U);
    EXPECT_EQ(bench.Checksum(device::BuildTiChecksumCommand(138416)), Sum(image));
    EXPECT_TRUE(bench.Exchange(device::BuildTiEndCommand()));

    EXPECT_EQ(bench.dock.Chip1Contents(), image);
    EXPECT_TRUE(bench.dock.ProtocolErrors().empty());
}

// Chip 1's flash takes a block once it is full; a power cycle loses the block
// still being filled.
TEST(DockSimulator, Chip1WritesWholeBlocks) {
    sim::DockSettings settings;
    settings.chip1EraseBusyAnswers = 0;
    Bench bench(settings);
    ASSERT_TRUE(bench.Open());
    const std::vector<std::uint8_t> image = Image(300, 15);
    bench.Status(device::BuildTiInitialCommand());
    bench.Status(device::BuildTiEraseCommand());
    bench.Status(device::BuildTiStatusCommand());
    bench.SendImage(std::vector<std::uint8_t>(image.begin(), image.begin() + 255), true);
    EXPECT_TRUE(bench.dock.Chip1Contents().empty());
    const std::array<std::uint8_t, 1> last{image[255]};
    EXPECT_EQ(bench.Status(*device::BuildDataPacket(6, last)), 0x00);
    EXPECT_EQ(bench.dock.Chip1Contents(),
              std::vector<std::uint8_t>(image.begin(), image.begin() + 256));
    const std::array<std::uint8_t, 3> partial{1, 2, 3};
    EXPECT_EQ(bench.Status(*device::BuildDataPacket(7, partial)), 0x00);
    bench.link.Unplug();
    bench.link.Plug();
    EXPECT_EQ(bench.dock.Chip1Contents().size(), 256U);
}

TEST(DockSimulator, Chip1EraseWithoutBusyAnswersIsDoneAtOnce) {
    sim::DockSettings settings;
    settings.chip1EraseBusyAnswers = 0;
    Bench bench(settings);
    ASSERT_TRUE(bench.Open());
    EXPECT_EQ(bench.Status(device::BuildTiInitialCommand()), 0x00);
    EXPECT_EQ(bench.Status(device::BuildTiEraseCommand()), 0x00);
    EXPECT_EQ(bench.Status(device::BuildTiStatusCommand()), 0x00);
}

TEST(DockSimulator, Chip1RefusesPacketsThatCrossABlock) {
    Bench bench;
    ASSERT_TRUE(bench.Open());
    const std::vector<std::uint8_t> image = Image(1000, 9);
    bench.Status(device::BuildTiInitialCommand());
    bench.Status(device::BuildTiEraseCommand());
    while (bench.Status(device::BuildTiStatusCommand()) != 0x00) {
    }
    bench.SendImage(image, false);  // plain 59-byte steps: packet 5 runs from 236 to 295
    EXPECT_NE(bench.Checksum(device::BuildTiChecksumCommand(1000)), Sum(image));
    EXPECT_NE(bench.dock.Chip1Contents(), image);
    EXPECT_TRUE(HasErrorContaining(bench.dock, "crosses a 256-byte block"));
}

TEST(DockSimulator, Chip1ChecksumCountsUnwrittenBytesAsErased) {
    Bench bench;
    ASSERT_TRUE(bench.Open());
    bench.Status(device::BuildTiInitialCommand());
    bench.Status(device::BuildTiEraseCommand());
    EXPECT_EQ(bench.Checksum(device::BuildTiChecksumCommand(2)), 0x01FE);
    EXPECT_EQ(bench.Checksum(device::BuildTiChecksumCommand(0xFFFFFFFF)),
              static_cast<std::uint16_t>(0xFFFFFFFFULL * 0xFF));
}

TEST(DockSimulator, Chip2TakesItsTwoFiles) {
    Bench bench;
    ASSERT_TRUE(bench.Open());
    const std::vector<std::uint8_t> file1 = Image(8192, 1);
    const std::vector<std::uint8_t> file2 = Image(262144, 2);

    EXPECT_TRUE(bench.Exchange(device::BuildMegachipInitialCommand()));
    EXPECT_EQ(bench.SendImage(file1, false), 139U);
    EXPECT_EQ(bench.SendImage(file2, false), 4444U);

    ASSERT_EQ(bench.dock.Chip2Files().size(), 2U);
    EXPECT_EQ(bench.dock.Chip2Files()[0], file1);
    EXPECT_EQ(bench.dock.Chip2Files()[1], file2);
    EXPECT_TRUE(bench.dock.ProtocolErrors().empty());
}

TEST(DockSimulator, JumpLeavesTheBusAndComesBackAsBootloader) {
    Bench bench;
    ASSERT_TRUE(bench.Open());
    const std::wstring path = bench.link.State().m_strDevicePath;

    EXPECT_TRUE(bench.Exchange(device::BuildJumpIspCommand()));
    const auto removed = bench.Next();
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->kind, Kind::Removed);
    EXPECT_EQ(removed->path, path);
    const auto arrived = bench.Next();
    ASSERT_TRUE(arrived);
    EXPECT_EQ(arrived->kind, Kind::Arrived);
    EXPECT_EQ(arrived->path, path);
    EXPECT_FALSE(bench.Next());
    EXPECT_EQ(bench.dock.Mode(), DeviceMode::Bootloader);

    // The handle from before the restart no longer reaches the device.
    EXPECT_FALSE(bench.link.WriteReport(device::BuildDeviceStatusCommand()));
    bench.Close();
    ASSERT_TRUE(bench.Open());
    EXPECT_EQ(bench.Mode(), DeviceMode::Bootloader);
}

TEST(DockSimulator, BootloaderProgramsChip3AndTheNewApplicationRunsAfterThePowerReset) {
    Bench bench(InBootloader());
    ASSERT_TRUE(bench.Open());
    const std::vector<std::uint8_t> image = Image(17843, 3);
    const std::array<std::uint8_t, 4> version{'E', 1, 1, 7};

    EXPECT_EQ(bench.Mode(), DeviceMode::Bootloader);
    EXPECT_EQ(bench.Status(device::BuildEraseCommand(17843)), 0x00);
    EXPECT_EQ(bench.dock.Chip3Flash(), std::vector<std::uint8_t>(std::size_t{35} * 512, 0xFF));
    EXPECT_EQ(bench.SendImage(image, false), 303U);
    EXPECT_EQ(bench.Checksum(device::BuildChecksumCommand(17843)), Sum(image));
    EXPECT_TRUE(bench.Exchange(device::BuildFinishCommand(Sum(image), 17843, version)));
    // The dock stays on the bus in its bootloader until the user powers it off.
    EXPECT_FALSE(bench.Next());
    EXPECT_EQ(bench.dock.Mode(), DeviceMode::Bootloader);
    bench.link.Unplug();
    bench.link.Plug();
    ASSERT_TRUE(bench.Next());  // removed
    ASSERT_TRUE(bench.Next());  // arrived

    const auto written = bench.dock.Chip3Written();
    EXPECT_TRUE(std::equal(written.begin(), written.end(), image.begin(), image.end()));
    EXPECT_TRUE(std::all_of(bench.dock.Chip3Flash().begin() + 17843, bench.dock.Chip3Flash().end(),
                            [](std::uint8_t byte) { return byte == 0xFF; }));
    EXPECT_EQ(bench.dock.Mode(), DeviceMode::Application);
    bench.Close();
    ASSERT_TRUE(bench.Open());
    const auto answer = bench.Exchange(device::BuildDeviceVersionCommand());
    ASSERT_TRUE(answer);
    EXPECT_EQ(device::DecodeVersionAnswer(*answer), version);
    EXPECT_TRUE(bench.dock.ProtocolErrors().empty());
}

TEST(DockSimulator, FinishWithAWrongSumComesBackAsBootloader) {
    Bench bench(InBootloader());
    ASSERT_TRUE(bench.Open());
    const std::vector<std::uint8_t> image = Image(1000, 5);
    bench.Status(device::BuildEraseCommand(1000));
    bench.SendImage(image, false);
    EXPECT_NE(bench.Status(device::BuildFinishCommand(Sum(image) + 1, 1000, {'E', 1, 1, 7})), 0x00);
    EXPECT_EQ(bench.dock.Mode(), DeviceMode::Bootloader);
    EXPECT_EQ(bench.dock.ApplicationVersion(), (std::array<std::uint8_t, 4>{'E', 1, 1, 6}));
}

TEST(DockSimulator, PowerCycleAfterAChip3EraseStartsTheBootloader) {
    Bench bench;
    ASSERT_TRUE(bench.Open());
    bench.Exchange(device::BuildJumpIspCommand());
    ASSERT_EQ(bench.Next()->kind, Kind::Removed);
    ASSERT_EQ(bench.Next()->kind, Kind::Arrived);
    bench.Close();
    ASSERT_TRUE(bench.Open());
    EXPECT_EQ(bench.Status(device::BuildEraseCommand(512)), 0x00);
    bench.link.Unplug();
    bench.link.Plug();
    EXPECT_EQ(bench.dock.Mode(), DeviceMode::Bootloader);
}

TEST(DockSimulator, CommandsOutsideTheirModeAreRefused) {
    const struct {
        DeviceMode mode;
        IspReport command;
    } cases[] = {
        {DeviceMode::Application, device::BuildEraseCommand(512)},
        {DeviceMode::Application, device::BuildChecksumCommand(512)},
        {DeviceMode::Application, device::BuildFinishCommand(0, 1, {'E', 1, 1, 7})},
        {DeviceMode::Bootloader, device::BuildTiInitialCommand()},
        {DeviceMode::Bootloader, device::BuildTiEraseCommand()},
        {DeviceMode::Bootloader, device::BuildTiStatusCommand()},
        {DeviceMode::Bootloader, device::BuildTiChecksumCommand(1)},
        {DeviceMode::Bootloader, device::BuildTiEndCommand()},
        {DeviceMode::Bootloader, device::BuildMegachipInitialCommand()},
        {DeviceMode::Bootloader, device::BuildJumpIspCommand()},
    };
    for (const auto& c : cases) {
        sim::DockSettings settings;
        settings.mode = c.mode;
        Bench bench(settings);
        ASSERT_TRUE(bench.Open());
        EXPECT_EQ(bench.Status(c.command), sim::kStatusRefused) << int{c.command[4]};
        EXPECT_TRUE(HasErrorContaining(bench.dock, "not served")) << int{c.command[4]};
        EXPECT_FALSE(bench.Next()) << int{c.command[4]};  // no restart
    }
}

TEST(DockSimulator, CodesOutsideTheCommandSetAreRefused) {
    for (const int code : {0x01, 0x06, 0x0B, 0x10, 0xFF}) {
        Bench bench;
        ASSERT_TRUE(bench.Open());
        IspReport report = device::BuildTiEndCommand();
        report[4] = static_cast<std::uint8_t>(code);
        EXPECT_EQ(bench.Status(report), sim::kStatusRefused) << code;
    }
}

TEST(DockSimulator, DataPacketsOutOfTurnAreRefused) {
    Bench bench(InBootloader());
    ASSERT_TRUE(bench.Open());
    const std::array<std::uint8_t, 10> bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

    // Before any erase, no chip takes data.
    EXPECT_NE(bench.Status(*device::BuildDataPacket(1, bytes)), 0x00);
    EXPECT_TRUE(HasErrorContaining(bench.dock, "no chip being programmed"));

    bench.Status(device::BuildEraseCommand(512));
    EXPECT_EQ(bench.Status(*device::BuildDataPacket(1, bytes)), 0x00);
    EXPECT_NE(bench.Status(*device::BuildDataPacket(3, bytes)), 0x00);
    EXPECT_TRUE(HasErrorContaining(bench.dock, "out of order, expected 2"));

    IspReport empty = *device::BuildDataPacket(2, bytes);
    empty[1] = 0;
    EXPECT_NE(bench.Status(empty), 0x00);
    EXPECT_TRUE(HasErrorContaining(bench.dock, "data packet, 0 bytes"));
    EXPECT_EQ(bench.dock.Chip3Written().size(), 10U);
}

// Each report as it reaches the dock, one byte off what its firmware parses:
// refused, noted, and nothing programmed.
TEST(DockSimulator, ReportsTheDockCannotParseAreRefused) {
    const std::array<std::uint8_t, 10> bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    struct Case {
        const char* name;
        IspReport report;
        std::size_t at;
        std::uint8_t value;
        const char* why;
    };
    const Case cases[] = {
        {"report ID", device::BuildEraseCommand(512), 0, 0x01, "report ID 0x01"},
        {"class of a programming command", device::BuildEraseCommand(512), 1, 0x03,
         "class 0x03, not 0x04"},
        {"class of a mode command", device::BuildDeviceStatusCommand(), 1, 0x04,
         "class 0x04, not 0x03"},
        {"trailer of the erase", device::BuildEraseCommand(512), 63, 0x5A,
         "trailer 0x5A, not 0x00"},
        {"trailer of a mode command", device::BuildDeviceStatusCommand(), 63, 0x00,
         "trailer 0x00, not 0x5A"},
        {"byte after the erase's page count", device::BuildEraseCommand(512), 6, 0x01, "not zero"},
        {"byte of a query without parameters", device::BuildDeviceVersionCommand(), 5, 0x01,
         "not zero"},
        {"byte after the finish's version", device::BuildFinishCommand(1, 2, {'E', 1, 1, 7}), 13,
         0x01, "not zero"},
        {"data length 60", *device::BuildDataPacket(1, bytes), 1, 60, "data packet, 60 bytes"},
        {"data trailer", *device::BuildDataPacket(1, bytes), 63, 0x00, "trailer 0x00"},
        {"byte after the data", *device::BuildDataPacket(1, bytes), 14, 0x01,
         "after its data are not zero"},
    };
    for (const Case& c : cases) {
        sim::DockSimulator dock(InBootloader());
        IspReport report = c.report;
        report[0] = device::kOutputReportId;
        report[c.at] = c.value;
        const sim::Reaction reaction = dock.HandleOutputReport(report);
        ASSERT_TRUE(reaction.answer) << c.name;
        EXPECT_NE((*reaction.answer)[device::kParameterPos], 0x00) << c.name;
        ASSERT_EQ(dock.ProtocolErrors().size(), 1U) << c.name;
        EXPECT_TRUE(HasErrorContaining(dock, c.why)) << c.name << ": " << dock.ProtocolErrors()[0];
        EXPECT_TRUE(dock.Chip3Flash().empty()) << c.name;
    }
}

TEST(DockSimulator, Chip3TakesNoBytesPastItsErasedPages) {
    Bench bench(InBootloader());
    ASSERT_TRUE(bench.Open());
    bench.Status(device::BuildEraseCommand(512));
    bench.SendImage(Image(std::size_t{9} * 59, 6), false);  // the ninth packet would end at 531
    EXPECT_EQ(bench.dock.Chip3Written().size(), std::size_t{8} * 59);
    EXPECT_TRUE(HasErrorContaining(bench.dock, "past the 512 erased bytes"));
}

TEST(DockSimulatorFaults, StatusFaults) {
    const struct {
        const char* name;
        DeviceMode mode;
        void (*arm)(sim::DockFaults&);
        IspReport command;
        int preparingCommands;  // TI_INITIAL, then TI_ERASE, sent first
    } cases[] = {
        {"flash error", DeviceMode::Application,
         [](sim::DockFaults& f) { f.chip1FlashError = true; }, device::BuildTiInitialCommand(), 0},
        {"chip 1 erase error", DeviceMode::Application,
         [](sim::DockFaults& f) { f.chip1EraseError = true; }, device::BuildTiEraseCommand(), 1},
        {"chip 3 erase error", DeviceMode::Bootloader,
         [](sim::DockFaults& f) { f.chip3EraseError = true; }, device::BuildEraseCommand(512), 0},
    };
    for (const auto& c : cases) {
        sim::DockSettings settings;
        settings.mode = c.mode;
        Bench bench(settings);
        c.arm(bench.dock.Faults());
        ASSERT_TRUE(bench.Open());
        if (c.preparingCommands > 0) {
            EXPECT_EQ(bench.Status(device::BuildTiInitialCommand()), 0x00) << c.name;
        }
        EXPECT_EQ(bench.Status(c.command), sim::kStatusFailed) << c.name;
        EXPECT_TRUE(bench.dock.ProtocolErrors().empty()) << c.name;
    }
}

TEST(DockSimulatorFaults, FlashErrorLeavesChip1Unprepared) {
    Bench bench;
    bench.dock.Faults().chip1FlashError = true;
    ASSERT_TRUE(bench.Open());
    bench.Status(device::BuildTiInitialCommand());
    EXPECT_EQ(bench.Status(device::BuildTiEraseCommand()), sim::kStatusRefused);
}

TEST(DockSimulatorFaults, Chip3EraseErrorLeavesTheFlashAlone) {
    Bench bench(InBootloader());
    ASSERT_TRUE(bench.Open());
    bench.Status(device::BuildEraseCommand(512));
    bench.dock.Faults().chip3EraseError = true;
    bench.Status(device::BuildEraseCommand(1024));
    EXPECT_EQ(bench.dock.Chip3Flash().size(), 512U);
}

TEST(DockSimulatorFaults, WrongChecksums) {
    Bench chip1;
    chip1.dock.Faults().chip1WrongChecksum = true;
    ASSERT_TRUE(chip1.Open());
    const std::vector<std::uint8_t> image4 = Image(700, 7);
    chip1.Status(device::BuildTiInitialCommand());
    chip1.Status(device::BuildTiEraseCommand());
    while (chip1.Status(device::BuildTiStatusCommand()) != 0x00) {
    }
    chip1.SendImage(image4, true);
    EXPECT_EQ(chip1.Checksum(device::BuildTiChecksumCommand(700)),
              static_cast<std::uint16_t>(Sum(image4) + 1));
    EXPECT_EQ(chip1.dock.Chip1Contents(), image4);

    Bench chip3(InBootloader());
    chip3.dock.Faults().chip3WrongChecksum = true;
    ASSERT_TRUE(chip3.Open());
    const std::vector<std::uint8_t> image0 = Image(700, 8);
    chip3.Status(device::BuildEraseCommand(700));
    chip3.SendImage(image0, false);
    EXPECT_EQ(chip3.Checksum(device::BuildChecksumCommand(700)),
              static_cast<std::uint16_t>(Sum(image0) + 1));
}

TEST(DockSimulatorFaults, EndlessBusy) {
    sim::DockSettings settings;
    settings.chip1EraseBusyAnswers = 1;
    Bench bench(settings);
    bench.dock.Faults().chip1EndlessBusy = true;
    ASSERT_TRUE(bench.Open());
    bench.Status(device::BuildTiInitialCommand());
    bench.Status(device::BuildTiEraseCommand());
    for (int poll = 0; poll < 1000; ++poll) {
        ASSERT_EQ(bench.Status(device::BuildTiStatusCommand()), sim::kStatusBusy) << poll;
    }
    // No packet is taken while the erase runs.
    const std::array<std::uint8_t, 1> byte{0x42};
    EXPECT_NE(bench.Status(*device::BuildDataPacket(1, byte)), 0x00);
}

TEST(DockSimulatorFaults, NoAnswerFromAReportOnUntilReplugged) {
    Bench bench;
    bench.dock.Faults().silentFromReport = 3;
    ASSERT_TRUE(bench.Open());
    EXPECT_TRUE(bench.Exchange(device::BuildDeviceStatusCommand()));
    EXPECT_TRUE(bench.Exchange(device::BuildDeviceVersionCommand()));
    EXPECT_FALSE(bench.Exchange(device::BuildDeviceStatusCommand()));
    EXPECT_FALSE(bench.Exchange(device::BuildDeviceStatusCommand()));
    EXPECT_EQ(bench.dock.Received().size(), 4U);

    bench.link.Unplug();
    bench.link.Plug();
    ASSERT_EQ(bench.Next()->kind, Kind::Removed);
    ASSERT_EQ(bench.Next()->kind, Kind::Arrived);
    bench.Close();
    ASSERT_TRUE(bench.Open());
    EXPECT_EQ(bench.Mode(), DeviceMode::Application);
}

TEST(DockSimulatorFaults, RemovalBeforeAReportLosesIt) {
    Bench bench;
    bench.dock.Faults().removeBeforeReport = 2;
    ASSERT_TRUE(bench.Open());
    EXPECT_TRUE(bench.Exchange(device::BuildDeviceStatusCommand()));
    EXPECT_TRUE(bench.link.WriteReport(device::BuildDeviceVersionCommand()));
    const auto removed = bench.Next();
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->kind, Kind::Removed);
    EXPECT_FALSE(bench.Next());
    EXPECT_EQ(bench.dock.Received().size(), 1U);
    EXPECT_FALSE(bench.dock.Plugged());
    EXPECT_FALSE(bench.link.WriteReport(device::BuildDeviceVersionCommand()));
    bench.Close();
    EXPECT_FALSE(bench.Open());
}

TEST(DockSimulatorFaults, RemovalAfterAReportFollowsItsAnswer) {
    Bench bench;
    bench.dock.Faults().removeAfterReport = 2;
    ASSERT_TRUE(bench.Open());
    EXPECT_TRUE(bench.Exchange(device::BuildDeviceStatusCommand()));
    EXPECT_TRUE(bench.Exchange(device::BuildDeviceVersionCommand()));
    const auto removed = bench.Next();
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->kind, Kind::Removed);
    EXPECT_EQ(bench.dock.Received().size(), 2U);
    EXPECT_FALSE(bench.dock.Plugged());
}

TEST(SimHidLink, OpensTheDocksVendorCollection) {
    Bench bench;
    EXPECT_TRUE(bench.link.State().m_bThreadsStarted);
    EXPECT_EQ(bench.link.State().m_wSeenProductId, 0x3305);
    ASSERT_TRUE(bench.link.OpenDevice(kVid, kPid, kRelease));
    const HidLinkState& state = bench.link.State();
    EXPECT_TRUE(state.m_bOpen);
    EXPECT_TRUE(state.m_bReadOpen);
    EXPECT_TRUE(state.m_bWriteOpen);
    EXPECT_TRUE(state.m_bVendorSeen);
    EXPECT_EQ(state.m_wSeenProductId, 0x3305);
    EXPECT_EQ(state.m_strDevicePath, bench.dock.Interfaces()[0].path);
}

TEST(SimHidLink, OtherVendorProductOrRelease) {
    const struct {
        const char* name = nullptr;
        device::HidIdentity identity;
        bool vendorSeen = false;
        std::uint16_t seenProductId = 0;
    } cases[] = {
        {"vendor",
         {.vendorId = 0x1234, .productId = kPid, .versionNumber = kRelease},
         false,
         0x3305},
        {"product",
         {.vendorId = kVid, .productId = 0xF608, .versionNumber = kRelease},
         true,
         0xF608},
        {"release", {.vendorId = kVid, .productId = kPid, .versionNumber = 0x0101}, true, 0x3305},
    };
    for (const auto& c : cases) {
        Bench bench;
        bench.dock.Interfaces()[0].identity = c.identity;
        EXPECT_FALSE(bench.Open()) << c.name;
        EXPECT_FALSE(bench.link.State().m_bOpen) << c.name;
        EXPECT_EQ(bench.link.State().m_bVendorSeen, c.vendorSeen) << c.name;
        EXPECT_EQ(bench.link.State().m_wSeenProductId, c.seenProductId) << c.name;
        EXPECT_EQ(bench.link.State().m_strDevicePath, L"") << c.name;
    }
}

TEST(SimHidLink, ALaterInterfaceOfAnotherVendorClearsVendorSeen) {
    Bench bench;
    bench.dock.Interfaces()[0].identity.productId = 0xF608;
    sim::SimInterface mouse;
    mouse.path = L"mouse";
    mouse.identity = {.vendorId = 0x046D, .productId = 0xC077, .versionNumber = 0x7200};
    mouse.usagePage = 0x0001;
    mouse.usage = 0x0002;
    mouse.ofDock = false;
    bench.dock.Interfaces().push_back(mouse);

    EXPECT_FALSE(bench.Open());
    EXPECT_FALSE(bench.link.State().m_bVendorSeen);
    EXPECT_EQ(bench.link.State().m_wSeenProductId, 0xF608);
}

TEST(SimHidLink, ASearchThatFindsNoDockReportsNoVendorFromAnEarlierOne) {
    Bench bench;
    ASSERT_TRUE(bench.Open());
    ASSERT_TRUE(bench.link.State().m_bVendorSeen);
    bench.dock.Unplug();
    EXPECT_FALSE(bench.Open());
    EXPECT_FALSE(bench.link.State().m_bVendorSeen);

    // A dock of another product seen once: its product ID is still the last one
    // recorded, but only a search that sees the vendor again reports it.
    bench.dock.Plug();
    bench.dock.Interfaces()[0].identity.productId = 0xF608;
    EXPECT_FALSE(bench.Open());
    EXPECT_TRUE(bench.link.State().m_bVendorSeen);
    bench.dock.Unplug();
    EXPECT_FALSE(bench.Open());
    EXPECT_FALSE(bench.link.State().m_bVendorSeen);
    EXPECT_EQ(bench.link.State().m_wSeenProductId, 0xF608);
}

TEST(SimHidLink, SecondCollectionsWithOtherUsagesAreSkipped) {
    Bench bench;
    sim::SimInterface consumer = bench.dock.Interfaces()[0];
    consumer.path = L"consumer collection";
    consumer.usagePage = 0x000C;
    consumer.usage = 0x0001;
    sim::SimInterface otherUsage = bench.dock.Interfaces()[0];
    otherUsage.path = L"vendor collection, usage 1";
    otherUsage.usage = 0x0001;
    auto& interfaces = bench.dock.Interfaces();
    interfaces.insert(interfaces.begin(), {consumer, otherUsage});

    ASSERT_TRUE(bench.Open());
    EXPECT_EQ(bench.link.State().m_strDevicePath, interfaces[2].path);
    EXPECT_EQ(bench.Mode(), DeviceMode::Application);

    // Every collection of the dock leaves the bus with it.
    bench.link.Unplug();
    for (std::size_t i = 0; i < 3; ++i) {
        const auto notice = bench.Next();
        ASSERT_TRUE(notice);
        EXPECT_EQ(notice->kind, Kind::Removed);
        EXPECT_EQ(notice->path, interfaces[i].path);
    }

    interfaces.pop_back();
    bench.Close();
    bench.link.Plug();
    EXPECT_FALSE(bench.Open());
}

TEST(SimHidLink, ReadOrWriteHandleThatCannotBeOpened) {
    Bench readFails;
    readFails.dock.Interfaces()[0].readOpenFails = true;
    ASSERT_TRUE(readFails.Open());
    EXPECT_FALSE(readFails.link.State().m_bReadOpen);
    EXPECT_TRUE(readFails.link.State().m_bWriteOpen);
    EXPECT_FALSE(readFails.link.Reading());

    Bench writeFails;
    writeFails.dock.Interfaces()[0].writeOpenFails = true;
    ASSERT_TRUE(writeFails.Open());
    EXPECT_TRUE(writeFails.link.State().m_bReadOpen);
    EXPECT_FALSE(writeFails.link.State().m_bWriteOpen);
    EXPECT_FALSE(writeFails.link.WriteReport(device::BuildDeviceStatusCommand()));
    EXPECT_EQ(writeFails.dock.ReportCount(), 0U);
}

TEST(SimHidLink, ShortInputReportsArriveWithTheirLength) {
    Bench bench;
    bench.dock.Interfaces()[0].inputReportLength = 8;
    ASSERT_TRUE(bench.Open());
    ASSERT_TRUE(bench.link.WriteReport(device::BuildDeviceVersionCommand()));
    const auto answer = bench.Next();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->length, 8);
    EXPECT_EQ(answer->bytes[7], 1);  // the second version digit
    EXPECT_EQ(answer->bytes[8], 0);  // the third did not fit
    EXPECT_FALSE(device::DecodeVersionAnswer(std::span(answer->bytes).first(answer->length)));
}

TEST(SimHidLink, LongerReportsAreBoundedToTheBuffer) {
    Bench bench;
    bench.dock.Interfaces()[0].inputReportLength = 65;
    bench.dock.Interfaces()[0].outputReportLength = 65;
    ASSERT_TRUE(bench.Open());
    ASSERT_TRUE(bench.link.WriteReport(device::BuildDeviceStatusCommand()));
    const auto answer = bench.Next();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->length, 64);
    EXPECT_EQ(device::BoundedReportLength(0xFFFF), 64);
    EXPECT_EQ(device::BoundedReportLength(9), 9);
}

TEST(SimHidLink, ShortOutputReportsAreIgnoredByTheDock) {
    Bench bench;
    bench.dock.Interfaces()[0].outputReportLength = 32;
    ASSERT_TRUE(bench.Open());
    EXPECT_TRUE(bench.link.WriteReport(device::BuildDeviceStatusCommand()));
    EXPECT_FALSE(bench.Next());
    EXPECT_TRUE(HasErrorContaining(bench.dock, "of 32 bytes ignored"));
}

TEST(SimHidLink, AnswersWaitForTheReaderButNoticesDoNot) {
    Bench bench;
    ASSERT_TRUE(bench.link.OpenDevice(kVid, kPid, kRelease));
    ASSERT_TRUE(bench.link.WriteReport(device::BuildDeviceStatusCommand()));
    EXPECT_FALSE(bench.Next());
    EXPECT_EQ(bench.link.Pending(), 1U);

    bench.link.Unplug();
    const auto removed = bench.Next();
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->kind, Kind::Removed);

    bench.link.WakeReader();
    const auto answer = bench.Next();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->kind, Kind::Report);
    EXPECT_EQ(device::DecodeModeAnswer(answer->bytes), DeviceMode::Application);
}

TEST(SimHidLink, WakingWithNoDeviceOpenStartsNoRead) {
    Bench bench;
    bench.link.WakeReader();
    EXPECT_FALSE(bench.link.Reading());
    ASSERT_TRUE(bench.Open());
    EXPECT_TRUE(bench.link.Reading());
}

TEST(SimHidLink, ClosingDropsUnreadAnswersAndTheClearedOpenFlagHoldsThemBack) {
    Bench bench;
    ASSERT_TRUE(bench.Open());
    ASSERT_TRUE(bench.link.WriteReport(device::BuildDeviceStatusCommand()));
    bench.link.State().m_bOpen = false;
    EXPECT_FALSE(bench.Next());
    bench.link.CloseDevice();
    EXPECT_EQ(bench.link.Pending(), 0U);
    EXPECT_FALSE(bench.link.State().m_bReadOpen);
    EXPECT_FALSE(bench.link.State().m_bWriteOpen);
    EXPECT_FALSE(bench.link.WriteReport(device::BuildDeviceStatusCommand()));
}

// A whole update as the shipped package drives it: chips 1 and 2 in the
// application, the restart into the bootloader, chip 3, and the new version.
TEST(DockSimulator, WholeUpdateOfThreeChips) {
    Bench bench;
    const std::vector<std::uint8_t> image0 = Image(17843, 10);
    const std::vector<std::uint8_t> image1 = Image(8192, 11);
    const std::vector<std::uint8_t> image2 = Image(262144, 12);
    const std::vector<std::uint8_t> image4 = Image(138416, 14);
    ASSERT_TRUE(bench.Open());
    EXPECT_EQ(bench.Mode(), DeviceMode::Application);

    EXPECT_EQ(bench.Status(device::BuildTiInitialCommand()), 0x00);
    EXPECT_EQ(bench.Status(device::BuildTiEraseCommand()), 0x00);
    while (bench.Status(device::BuildTiStatusCommand()) != 0x00) {
    }
    bench.SendImage(image4, true);
    EXPECT_EQ(bench.Checksum(device::BuildTiChecksumCommand(138416)), Sum(image4));
    bench.Exchange(device::BuildTiEndCommand());

    bench.Exchange(device::BuildMegachipInitialCommand());
    bench.SendImage(image1, false);
    bench.SendImage(image2, false);

    bench.Exchange(device::BuildJumpIspCommand());
    EXPECT_EQ(bench.Next()->kind, Kind::Removed);
    EXPECT_EQ(bench.Next()->kind, Kind::Arrived);
    bench.Close();
    ASSERT_TRUE(bench.Open());
    EXPECT_EQ(bench.Mode(), DeviceMode::Bootloader);

    EXPECT_EQ(bench.Status(device::BuildEraseCommand(17843)), 0x00);
    bench.SendImage(image0, false);
    EXPECT_EQ(bench.Checksum(device::BuildChecksumCommand(17843)), Sum(image0));
    EXPECT_EQ(bench.Status(device::BuildFinishCommand(Sum(image0), 17843, {'E', 1, 1, 7})), 0x00);
    EXPECT_FALSE(bench.Next());
    bench.link.Unplug();  // the power reset
    bench.link.Plug();
    EXPECT_EQ(bench.Next()->kind, Kind::Removed);
    EXPECT_EQ(bench.Next()->kind, Kind::Arrived);
    bench.Close();
    ASSERT_TRUE(bench.Open());
    EXPECT_EQ(bench.Mode(), DeviceMode::Application);

    EXPECT_EQ(bench.dock.Chip1Contents(), image4);
    ASSERT_EQ(bench.dock.Chip2Files().size(), 2U);
    EXPECT_EQ(bench.dock.Chip2Files()[0], image1);
    EXPECT_EQ(bench.dock.Chip2Files()[1], image2);
    const auto written = bench.dock.Chip3Written();
    EXPECT_TRUE(std::equal(written.begin(), written.end(), image0.begin(), image0.end()));
    EXPECT_EQ(bench.dock.ApplicationVersion(), (std::array<std::uint8_t, 4>{'E', 1, 1, 7}));
    EXPECT_TRUE(bench.dock.ProtocolErrors().empty());
}
