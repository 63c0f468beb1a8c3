#include <gtest/gtest.h>

#include "device/IspDataPacket.h"
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
    ASSERT_TRUE(h.package.identity.m_bPackageLoaded);
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

const char* ModeName(device::DeviceMode mode) {
    return mode == device::DeviceMode::Bootloader ? "bootloader" : "application";
}

// An image a run writes, and the number of data packets it takes with the
// sample package.
struct WrittenImage {
    int image;
    std::size_t packets;
};
constexpr WrittenImage kChip1Image{4, 2703};  // 138,416 bytes in 256-byte blocks
constexpr WrittenImage kChip2File1{1, 139};   // 8,192 bytes
constexpr WrittenImage kChip2File2{2, 4444};  // 262,144 bytes
constexpr WrittenImage kChip3Image{0, 303};   // 17,843 bytes

bool Writes(const std::vector<WrittenImage>& written, int image) {
    return std::ranges::any_of(written,
                               [image](const WrittenImage& w) { return w.image == image; });
}

// What the dock took in and holds after a run that wrote `written`, in this
// order: each image in packets numbered from 1 on, chip 1's never across one
// of its 256-byte blocks, carrying the image's bytes in order; each chip
// holding its image byte for byte, and chips the run left out holding nothing.
void ExpectImagesWritten(const sim::DockSimulator& dock, const std::vector<WrittenImage>& written) {
    const auto runs = PacketRuns(dock);
    ASSERT_EQ(runs.size(), written.size());
    for (std::size_t r = 0; r < runs.size(); ++r) {
        SCOPED_TRACE(testing::Message() << "image " << written[r].image);
        EXPECT_EQ(runs[r].size(), written[r].packets);
        std::vector<std::uint8_t> carried;
        for (std::size_t i = 0; i < runs[r].size(); ++i) {
            const auto& packet = runs[r][i];
            ASSERT_EQ(
                packet[device::kPacketNumberPos] | (packet[device::kPacketNumberPos + 1] << 8U),
                i + 1);
            const std::uint8_t length = packet[device::kPacketLengthPos];
            if (written[r].image == kChip1Image.image) {
                EXPECT_LE(carried.size() % device::kChip1BlockSize + length,
                          device::kChip1BlockSize)
                    << "chip 1 packet across a block";
            }
            carried.insert(carried.end(), packet.begin() + device::kPacketDataPos,
                           packet.begin() + device::kPacketDataPos + length);
        }
        EXPECT_EQ(carried, ImageBytes(written[r].image));
    }

    if (Writes(written, kChip1Image.image)) {
        EXPECT_EQ(dock.Chip1Contents(), ImageBytes(kChip1Image.image));
    } else {
        EXPECT_TRUE(dock.Chip1Contents().empty());
    }
    if (Writes(written, kChip2File1.image)) {
        ASSERT_EQ(dock.Chip2Files().size(), 2U);
        EXPECT_EQ(dock.Chip2Files()[0], ImageBytes(kChip2File1.image));
        EXPECT_EQ(dock.Chip2Files()[1], ImageBytes(kChip2File2.image));
    } else {
        EXPECT_TRUE(dock.Chip2Files().empty());
    }
    if (Writes(written, kChip3Image.image)) {
        EXPECT_TRUE(std::ranges::equal(dock.Chip3Written(), ImageBytes(kChip3Image.image)));
    } else {
        EXPECT_TRUE(dock.Chip3Written().empty());
    }
}

}  // namespace

TEST(UpgradeFlow, CompleteRunOfAllThreeChips) {
    FlowHarness h;
    StartRun(h);
    EXPECT_EQ(h.flow.Step(), IspStep::Chip3Erase) << "waiting for the bootloader";
    ResumeAfterRestart(h);

    EXPECT_EQ(h.surface.messages, std::vector<std::wstring>{L"Please, power reset device! "});
    EXPECT_EQ(h.surface.looks.back(), ResultLook::Pass);
    EXPECT_TRUE(h.dock.ProtocolErrors().empty()) << h.dock.ProtocolErrors().front();
    h.PowerReset();
    h.Pump();

    // What the chips hold is what the package carries: 2,703 block-wise
    // packets for chip 1, 139 and 4,444 for chip 2, 303 for chip 3.
    ExpectImagesWritten(h.dock, {kChip1Image, kChip2File1, kChip2File2, kChip3Image});
    const auto runs = PacketRuns(h.dock);
    ASSERT_EQ(runs.size(), 4U);
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
    EXPECT_EQ(h.flow.Step(), IspStep::Idle);

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
        std::uint8_t firstCommand;  // what the first step sends
        IspStep stepAfterStart;
        std::vector<WrittenImage> written;
    } cases[] = {
        // From chip 1's prepare: chips 1, 2 and 3.
        {'3',
         device::DeviceMode::Application,
         device::USBUID_ISP_EFM8_CMD_TI_INITIAL,
         IspStep::Chip1PrepareCheck,
         {kChip1Image, kChip2File1, kChip2File2, kChip3Image}},
        // From chip 2's start: chips 2 and 3.
        {'2',
         device::DeviceMode::Application,
         device::USBUID_ISP_EFM8_CMD_MEGACHIP_INITIAL,
         IspStep::Chip2File1Begin,
         {kChip2File1, kChip2File2, kChip3Image}},
        // From the restart into the bootloader: chip 3 alone.
        {'1',
         device::DeviceMode::Application,
         device::USBUID_ISP_EFM8_CMD_JUMP_ISP,
         IspStep::Chip3Erase,
         {kChip3Image}},
        // Already in the bootloader, whatever the plan: chip 3's erase at once.
        {'3',
         device::DeviceMode::Bootloader,
         device::USBUID_ISP_EFM8_CMD_ERASE,
         IspStep::Chip3EraseCheck,
         {kChip3Image}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "plan " << c.plan << ", " << ModeName(c.mode));
        sim::DockSettings settings;
        settings.mode = c.mode;
        FlowHarness h(settings, c.plan);
        h.Scan();
        ASSERT_TRUE(h.surface.Enabled(UpgradeFlow::kStartButton));
        const std::size_t before = h.dock.Received().size();
        h.flow.OnStartUpgrade();
        ASSERT_EQ(h.dock.Received().size(), before + 1);
        EXPECT_EQ(h.dock.Received()[before][device::kCodePos], c.firstCommand);
        EXPECT_EQ(h.flow.Step(), c.stepAfterStart);
        h.Pump();
        h.Advance(200);

        ExpectImagesWritten(h.dock, c.written);
        EXPECT_EQ(h.surface.looks.back(), ResultLook::Pass);
        EXPECT_EQ(h.surface.messages, std::vector<std::wstring>{L"Please, power reset device! "});
        EXPECT_TRUE(h.dock.ProtocolErrors().empty());
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
        EXPECT_EQ(h.flow.Step(), IspStep::ShowFail) << c.name;
        EXPECT_EQ(CommandCodes(h.dock).back(), c.lastCommand) << c.name;
        EXPECT_EQ(h.surface.Look(), ResultLook::Fail) << c.name;
        EXPECT_TRUE(h.surface.Enabled(UpgradeFlow::kExitButton)) << c.name;
        EXPECT_TRUE(std::find(h.surface.looks.begin(), h.surface.looks.end(), ResultLook::Pass) ==
                    h.surface.looks.end())
            << c.name;
    }
}

// The finish command would tell the dock the new version over a chip 1 that
// did not verify, and every later check would find it current: the run
// stops at chip 1's end command, and the next check offers the update again.
TEST(UpgradeFlow, ChipOneMismatchStopsTheRunAndTheNextCheckOffersTheUpdate) {
    FlowHarness h;
    h.dock.Faults().chip1WrongChecksum = true;
    StartRun(h);
    ResumeAfterRestart(h);

    EXPECT_EQ(LastLines(h.surface, 2), (std::vector<std::wstring>{
                                           L"Chip 1 checksum cul:  37a2 ,   37a1",
                                           L"ISP false!",
                                       }));
    EXPECT_EQ(h.flow.Step(), IspStep::ShowFail);
    EXPECT_EQ(CommandCodes(h.dock).back(), device::USBUID_ISP_EFM8_CMD_TI_END);
    EXPECT_EQ(Count(CommandCodes(h.dock), device::USBUID_ISP_EFM8_CMD_MEGACHIP_INITIAL), 0U);
    EXPECT_EQ(h.surface.Look(), ResultLook::Fail);
    EXPECT_TRUE(std::find(h.surface.looks.begin(), h.surface.looks.end(), ResultLook::Pass) ==
                h.surface.looks.end());

    h.flow.OnFwVer();
    h.Advance(12000);
    EXPECT_EQ(h.surface.Endings().back(), FlowEnding::UpdateOffered);
    EXPECT_TRUE(h.surface.Enabled(UpgradeFlow::kStartButton));
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
    ASSERT_EQ(h.flow.Step(), IspStep::ShowFail);

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
    ASSERT_EQ(h.flow.Step(), IspStep::Chip3Erase);
    const std::size_t sent = h.dock.Received().size();
    device::IspReport junk{};
    junk.fill(0x33);
    h.flow.OnIspReport(junk);
    h.flow.OnIspReport(std::span(junk.data(), 3));
    EXPECT_EQ(h.flow.Step(), IspStep::Chip3Erase);
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
    EXPECT_EQ(h.flow.Step(), IspStep::ShowFail);
    EXPECT_EQ(h.surface.Look(), ResultLook::Fail);
    EXPECT_TRUE(PacketRuns(h.dock).empty());
}

namespace {

// The step values the programming sequence never uses.
// Step numbers that no handler sets.
constexpr std::uint8_t kUnusedSteps[] = {14, 15, 16, 26, 100, 255};

std::vector<std::uint8_t> Bytes(const device::IspReport& report) {
    return {report.begin(), report.end()};
}

// Everything of the window and the dock that a step could change.
struct Observable {
    std::size_t sent = 0;
    std::size_t records = 0;
    std::vector<ResultLook> looks;
    ResultLook look = ResultLook::Neutral;
    Buttons buttons{};
    bool scanButton = false;
    IspStep step = IspStep::Idle;
    int progress = 0;
    std::size_t fills = 0;
    std::size_t messages = 0;
    std::size_t pauses = 0;
    int clears = 0;
};

Observable Observe(const FlowHarness& h) {
    return {.sent = h.dock.Received().size(),
            .records = h.surface.records.size(),
            .looks = h.surface.looks,
            .look = h.surface.Look(),
            .buttons = ButtonsOf(h.surface),
            .scanButton = h.surface.Enabled(UpgradeFlow::kScanButton),
            .step = h.flow.Step(),
            .progress = h.surface.progress,
            .fills = h.surface.fills.size(),
            .messages = h.surface.messages.size(),
            .pauses = h.surface.pauses.size(),
            .clears = h.surface.clears};
}

void ExpectUnchanged(const Observable& before, const FlowHarness& h) {
    const Observable now = Observe(h);
    EXPECT_EQ(now.sent, before.sent) << "a report went out";
    EXPECT_EQ(now.records, before.records) << "something was logged";
    EXPECT_EQ(now.looks, before.looks);
    EXPECT_EQ(now.look, before.look);
    EXPECT_TRUE(now.buttons == before.buttons) << "a button changed";
    EXPECT_EQ(now.scanButton, before.scanButton);
    EXPECT_EQ(now.step, before.step);
    EXPECT_EQ(now.progress, before.progress);
    EXPECT_EQ(now.fills, before.fills);
    EXPECT_EQ(now.messages, before.messages);
    EXPECT_EQ(now.pauses, before.pauses);
    EXPECT_EQ(now.clears, before.clears);
}

// The dock found by a scan, so that anything the flow sent would reach it,
// and the flow then put into `step`.
void EnterStep(FlowHarness& h, IspStep step) {
    h.Scan();
    ASSERT_TRUE(h.link.State().m_bOpen);
    ASSERT_EQ(h.link.Pending(), 0U);
    UpgradeFlowTestAccess::SetStep(h.flow, step);
    ASSERT_EQ(h.flow.Step(), step);
}

// Runs `body` on a flow put into each unused step, with the dock in its
// application and in its bootloader.
template <typename Body>
void InEveryUnusedStep(const Body& body) {
    for (const device::DeviceMode mode :
         {device::DeviceMode::Application, device::DeviceMode::Bootloader}) {
        for (const std::uint8_t step : kUnusedSteps) {
            SCOPED_TRACE(testing::Message()
                         << "step " << static_cast<unsigned>(step) << ", " << ModeName(mode));
            sim::DockSettings settings;
            settings.mode = mode;
            FlowHarness h(settings);
            EnterStep(h, static_cast<IspStep>(step));
            body(h);
        }
    }
}

}  // namespace

TEST(UpgradeFlow, AnAnswerInAnUnusedStepDoesNothing) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } answers[] = {
        // Answers that move the steps on when they are awaited.
        {"status success",
         Bytes(sim::StatusAnswer(device::USBUID_ISP_EFM8_CMD_TI_STATUS, sim::kStatusOk))},
        {"status failure",
         Bytes(sim::StatusAnswer(device::USBUID_ISP_EFM8_CMD_ERASE, sim::kStatusFailed))},
        {"chip 3's matching checksum",
         Bytes(sim::SumAnswer(device::USBUID_ISP_EFM8_CMD_CHECKSUM, 0xAE17))},
        {"chip 1's matching checksum",
         Bytes(sim::SumAnswer(device::USBUID_ISP_EFM8_CMD_TI_CHECKSUM, 0x37A1))},
        {"an unframed report", std::vector<std::uint8_t>(64, 0x33)},
        {"a three-byte report", {0x01, 0x00, 0xFE}},
    };
    InEveryUnusedStep([&](FlowHarness& h) {
        for (const auto& answer : answers) {
            SCOPED_TRACE(answer.name);
            const Observable before = Observe(h);
            h.flow.OnIspReport(answer.bytes);
            ExpectUnchanged(before, h);
        }
    });
}

TEST(UpgradeFlow, SteppingAnUnusedStepDoesNothing) {
    InEveryUnusedStep([](FlowHarness& h) {
        const Observable before = Observe(h);
        UpgradeFlowTestAccess::StepSequencer(h.flow);
        UpgradeFlowTestAccess::StepSequencer(h.flow);
        ExpectUnchanged(before, h);
    });
}
