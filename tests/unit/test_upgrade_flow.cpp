#include <gtest/gtest.h>

#include "tests/support/FlowHarness.h"

namespace {

bool IsCommand(const device::IspReport& report) {
    return report[device::kSignatureHighPos] == device::kSignatureHigh &&
           report[device::kSignatureLowPos] == device::kSignatureLow;
}

// The data packets the dock received, cut into one run per image: a run
// starts where the packet number starts again at 1.
std::vector<std::vector<device::IspReport>> PacketRuns(const sim::DockSimulator& dock) {
    std::vector<std::vector<device::IspReport>> runs;
    for (const device::IspReport& report : dock.Received()) {
        if (IsCommand(report)) {
            continue;
        }
        const unsigned number = report[2] | (report[3] << 8U);
        if (number == 1 || runs.empty()) {
            runs.emplace_back();
        }
        runs.back().push_back(report);
    }
    return runs;
}

std::vector<std::uint8_t> CommandCodes(const sim::DockSimulator& dock) {
    std::vector<std::uint8_t> codes;
    for (const device::IspReport& report : dock.Received()) {
        if (IsCommand(report)) {
            codes.push_back(report[device::kCodePos]);
        }
    }
    return codes;
}

std::size_t Count(const std::vector<std::uint8_t>& codes, std::uint8_t code) {
    return static_cast<std::size_t>(std::count(codes.begin(), codes.end(), code));
}

// From "FW Ver"-less start: a scan finds the dock in its application, the
// version answer offers the update, and start begins the run.
void StartRun(FlowHarness& h) {
    ASSERT_TRUE(h.package.loaded);
    h.Scan();
    ASSERT_TRUE(h.surface.Enabled(UpgradeFlow::kStartButton));
    h.flow.OnStartUpgrade();
    h.Pump();
}

// The dock restarts into its bootloader after chip 2: its arrival sets the
// scan timer, the scan finds it again and the run goes on with chip 3.
void ResumeAfterRestart(FlowHarness& h) {
    h.Advance(200);
}

std::vector<std::uint8_t> ImageBytes(int image) {
    return package::SampleImages::Image(image);
}

}  // namespace

TEST(UpgradeFlow, CompleteRunOfAllThreeChips) {
    FlowHarness h;
    StartRun(h);
    EXPECT_EQ(h.flow.IspStep(), UpgradeFlow::STEP_CHIP3_ERASE) << "waiting for the bootloader";
    ResumeAfterRestart(h);

    EXPECT_EQ(h.surface.messages, std::vector<std::wstring>{L"Please, power reset device! "});
    EXPECT_EQ(h.surface.looks.back(), ResultLook::Pass);
    EXPECT_TRUE(h.dock.ProtocolErrors().empty()) << h.dock.ProtocolErrors().front();

    // What the chips hold is what the package carries.
    EXPECT_EQ(h.dock.Chip1Contents(), ImageBytes(4));
    ASSERT_EQ(h.dock.Chip2Files().size(), 2U);
    EXPECT_EQ(h.dock.Chip2Files()[0], ImageBytes(1));
    EXPECT_EQ(h.dock.Chip2Files()[1], ImageBytes(2));
    const auto chip3 = h.dock.Chip3Written();
    EXPECT_TRUE(std::ranges::equal(chip3, ImageBytes(0)));

    // 2,703 block-wise packets for chip 1, 139 and 4,444 for chip 2, 303 for chip 3.
    const auto runs = PacketRuns(h.dock);
    ASSERT_EQ(runs.size(), 4U);
    const std::size_t expectedCounts[] = {2703, 139, 4444, 303};
    for (std::size_t r = 0; r < runs.size(); ++r) {
        EXPECT_EQ(runs[r].size(), expectedCounts[r]) << "image run " << r;
        std::size_t offset = 0;
        for (std::size_t i = 0; i < runs[r].size(); ++i) {
            const auto& packet = runs[r][i];
            ASSERT_EQ(packet[2] | (packet[3] << 8U), i + 1) << "run " << r;
            if (r == 0) {
                EXPECT_LE(offset % 256 + packet[1], 256U) << "chip 1 packet across a block";
            }
            offset += packet[1];
        }
    }
    EXPECT_EQ(runs[0].back()[1], 58);
    EXPECT_EQ(runs[3].back()[1], 25);

    const std::vector<std::wstring> expected = {
        L"Waiting...",
        L"WORK_PREPARE..",
        L"Chip 1 Erasing...",
        L"Chip 1 File 1/1 : 138416 BYTES",
        L"",
        L"File 1/1 End",
        L"ISP Chip 1 Finish!",
        L"Verify..",
        L"Chip 1 Checksum pass, ISP Success!",
        L"Chip 2 File 1/2 :   8192 BYTES",
        L"",
        L"File 1/2 End",
        L"File 2/2 : 262144 BYTES",
        L"",
        L"File 2/2 End, ISP Chip 2 FINISH",
        L"No Device found!",
        L"ISP device found!",
        L"File 1/1 :  17843 BYTES",
        L"",
        L"File 1/1 End",
        L"ISP Chip 3 Finish!",
        L"Chip 3 Checksum pass, ISP Success!",
        // The power reset: the dock leaves without an error and comes back.
        L"No Device found!",
    };
    const auto lines = h.surface.Lines();
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector(lines.begin(), lines.begin() + static_cast<long>(expected.size())),
              expected);
    EXPECT_EQ(h.flow.IspStep(), UpgradeFlow::STEP_IDLE);

    // Back from the power reset, the dock is checked again.
    h.Advance(200);
    EXPECT_EQ(h.surface.Lines().back(), L"Engineer file version!");
    EXPECT_TRUE(h.surface.Enabled(UpgradeFlow::kExitButton));
}

TEST(UpgradeFlow, ProgressOfChip2SecondFileWaitsThenCounts) {
    FlowHarness h;
    StartRun(h);
    const auto& records = h.surface.records;
    const auto heading = std::find_if(records.begin(), records.end(), [](const LogRecord& r) {
        return r.text == L"File 2/2 : 262144 BYTES";
    });
    ASSERT_NE(heading, records.end());
    std::vector<LogRecord> progress;
    std::copy_if(heading, records.end(), std::back_inserter(progress),
                 [](const LogRecord& r) { return r.kind == LogProgress; });
    ASSERT_GT(progress.size(), 46U);
    for (std::size_t i = 0; i < 45; ++i) {
        EXPECT_EQ(progress[i].text, L"Wait...") << i;
        EXPECT_EQ(progress[i].value, 0) << i;
    }
    EXPECT_EQ(progress[45].text, L"  2655");
    EXPECT_EQ(progress[45].value, 1);
    // The end of the file is reported with a leading space, at 100 %.
    EXPECT_EQ(progress[4444].text, L" 262144");
    EXPECT_EQ(progress[4444].value, 100);
}

TEST(UpgradeFlow, EachPlanStartsAtItsOwnStep) {
    const struct {
        char plan;
        device::DeviceMode mode;
        std::size_t imageRuns;  // images written: chip 1, chip 2's two files, chip 3
        std::uint8_t firstCommand;
    } cases[] = {
        {'3', device::DeviceMode::Application, 4, device::USBUID_ISP_EFM8_CMD_TI_INITIAL},
        {'2', device::DeviceMode::Application, 3, device::USBUID_ISP_EFM8_CMD_MEGACHIP_INITIAL},
        {'1', device::DeviceMode::Application, 1, device::USBUID_ISP_EFM8_CMD_JUMP_ISP},
        {'3', device::DeviceMode::Bootloader, 1, device::USBUID_ISP_EFM8_CMD_ERASE},
    };
    for (const auto& c : cases) {
        sim::DockSettings settings;
        settings.mode = c.mode;
        FlowHarness h(settings, c.plan);
        h.Scan();
        ASSERT_TRUE(h.surface.Enabled(UpgradeFlow::kStartButton)) << c.plan;
        const std::size_t before = h.dock.Received().size();
        h.flow.OnStartUpgrade();
        ASSERT_GT(h.dock.Received().size(), before);
        EXPECT_EQ(h.dock.Received()[before][device::kCodePos], c.firstCommand) << c.plan;
        h.Pump();
        h.Advance(200);

        EXPECT_EQ(PacketRuns(h.dock).size(), c.imageRuns) << c.plan;
        EXPECT_TRUE(std::ranges::equal(h.dock.Chip3Written(), ImageBytes(0))) << c.plan;
        EXPECT_EQ(h.surface.looks.back(), ResultLook::Pass) << c.plan;
        EXPECT_TRUE(h.dock.ProtocolErrors().empty()) << c.plan;
    }
}

TEST(UpgradeFlow, ChipOneErasePollsUntilDoneWithAPauseAfterEachPoll) {
    sim::DockSettings settings;
    settings.chip1EraseBusyAnswers = 3;
    FlowHarness h(settings);
    StartRun(h);
    EXPECT_EQ(Count(CommandCodes(h.dock), device::USBUID_ISP_EFM8_CMD_TI_STATUS), 4U);
    EXPECT_EQ(h.surface.pauses, (std::vector<unsigned>{30, 30, 30}));
    EXPECT_EQ(h.dock.Chip1Contents(), ImageBytes(4));
}

TEST(UpgradeFlow, DeviceErrorsEndTheRunInFailAtOnce) {
    const struct {
        const char* name;
        void (*arm)(sim::DockFaults&);
        std::wstring lastLine;
        std::uint8_t lastCommand;
    } cases[] = {
        {"chip 1 prepare", [](sim::DockFaults& f) { f.chip1FlashError = true; },
         L"ISP Chip 1 FLASH ERROR!", device::USBUID_ISP_EFM8_CMD_TI_END},
        {"chip 1 erase", [](sim::DockFaults& f) { f.chip1EraseError = true; },
         L"ISP Chip 1 ERASE ERROR!", device::USBUID_ISP_EFM8_CMD_TI_END},
        // Nothing is sent after these two, so no answer could show the verdict.
        {"chip 3 erase", [](sim::DockFaults& f) { f.chip3EraseError = true; },
         L"ISP Chip 3 ERASE ERROR!", device::USBUID_ISP_EFM8_CMD_ERASE},
        {"chip 3 checksum", [](sim::DockFaults& f) { f.chip3WrongChecksum = true; },
         L"ISP Chip 3 false!", device::USBUID_ISP_EFM8_CMD_CHECKSUM},
    };
    for (const auto& c : cases) {
        FlowHarness h;
        c.arm(h.dock.Faults());
        StartRun(h);
        ResumeAfterRestart(h);
        EXPECT_EQ(h.surface.Lines().back(), c.lastLine) << c.name;
        EXPECT_EQ(h.flow.IspStep(), UpgradeFlow::STEP_SHOW_FAIL) << c.name;
        EXPECT_EQ(CommandCodes(h.dock).back(), c.lastCommand) << c.name;
        EXPECT_EQ(h.surface.Look(), ResultLook::Fail) << c.name;
        EXPECT_TRUE(h.surface.Enabled(UpgradeFlow::kExitButton)) << c.name;
        EXPECT_TRUE(std::find(h.surface.looks.begin(), h.surface.looks.end(), ResultLook::Pass) ==
                    h.surface.looks.end())
            << c.name;
    }
}

TEST(UpgradeFlow, ChipOneMismatchGoesOnButNeverPasses) {
    FlowHarness good;
    StartRun(good);
    ResumeAfterRestart(good);

    FlowHarness h;
    h.dock.Faults().chip1WrongChecksum = true;
    StartRun(h);
    ResumeAfterRestart(h);

    const auto lines = h.surface.Lines();
    const auto mismatch = std::find(lines.begin(), lines.end(), L"ISP false!");
    ASSERT_NE(mismatch, lines.end());
    EXPECT_TRUE(mismatch[-1].starts_with(L"Chip 1 checksum cul:"))
        << std::string(mismatch[-1].begin(), mismatch[-1].end());
    EXPECT_TRUE(mismatch[-1].ends_with(L",   37a1"));
    // The dock sees exactly the traffic of a good run...
    EXPECT_EQ(CommandCodes(h.dock), CommandCodes(good.dock));
    EXPECT_EQ(h.dock.Received().size(), good.dock.Received().size());
    // ...but the verdict is FAIL, with a line that says why.
    EXPECT_EQ(h.surface.looks.back(), ResultLook::Fail);
    EXPECT_TRUE(std::find(h.surface.looks.begin(), h.surface.looks.end(), ResultLook::Pass) ==
                h.surface.looks.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        L"Chip 1 failed its checksum verification: the update did not pass."),
              lines.end());
}

TEST(UpgradeFlow, ChipOneChecksumLineShowsBothSumsInHex) {
    FlowHarness h;
    h.dock.Faults().chip1WrongChecksum = true;  // the device reports the sum plus one
    StartRun(h);
    const auto lines = h.surface.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"Chip 1 checksum cul:  37a2 ,   37a1"),
              lines.end());
}

TEST(UpgradeFlow, BootloaderAnswerAfterAFailedRunResumesAtTheErase) {
    FlowHarness h;
    h.dock.Faults().chip3WrongChecksum = true;
    StartRun(h);
    ResumeAfterRestart(h);
    ASSERT_EQ(h.flow.IspStep(), UpgradeFlow::STEP_SHOW_FAIL);

    h.dock.Faults().chip3WrongChecksum = false;
    const std::size_t erasesBefore = Count(CommandCodes(h.dock), device::USBUID_ISP_EFM8_CMD_ERASE);
    h.Scan();
    EXPECT_EQ(Count(CommandCodes(h.dock), device::USBUID_ISP_EFM8_CMD_ERASE), erasesBefore + 1);
    EXPECT_EQ(h.surface.looks.back(), ResultLook::Pass);
    EXPECT_TRUE(std::ranges::equal(h.dock.Chip3Written(), ImageBytes(0)));
}

TEST(UpgradeFlow, AnswersInApplicationModeWhileWaitingInStep9DoNothing) {
    FlowHarness h(sim::DockSettings{}, '1');
    h.Scan();
    h.flow.OnStartUpgrade();
    // The jump command went out; hand over nothing of the restart yet.
    ASSERT_EQ(h.flow.IspStep(), UpgradeFlow::STEP_CHIP3_ERASE);
    const std::size_t sent = h.dock.Received().size();
    device::IspReport junk{};
    junk.fill(0x33);
    h.flow.OnIspReport(junk);
    h.flow.OnIspReport(std::span(junk.data(), 3));
    EXPECT_EQ(h.flow.IspStep(), UpgradeFlow::STEP_CHIP3_ERASE);
    EXPECT_EQ(h.dock.Received().size(), sent);
}

TEST(UpgradeFlow, AFailedPackageReadStopsTheRunWithoutSendingUnreadBytes) {
    FlowHarness h;
    h.Scan();
    // The load made 4 reads; the first packet of chip 1 is the 5th.
    h.package.file.FailRead(h.package.file.Reads() + 1);
    h.flow.OnStartUpgrade();
    h.Pump();
    EXPECT_EQ(h.surface.Lines().back(), L"Firmware file read error, update stopped!");
    EXPECT_EQ(h.flow.IspStep(), UpgradeFlow::STEP_SHOW_FAIL);
    EXPECT_EQ(h.surface.Look(), ResultLook::Fail);
    EXPECT_TRUE(PacketRuns(h.dock).empty());
}
