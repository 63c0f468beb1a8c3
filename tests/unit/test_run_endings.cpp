#include <gtest/gtest.h>

#include "tests/support/FlowHarness.h"

// Every way a run can end: each must leave a verdict on the label, never PASS
// after a failure, and an exit button the user can press.
namespace {

bool EverPassed(const RecordingSurface& surface) {
    return std::find(surface.looks.begin(), surface.looks.end(), ResultLook::Pass) !=
           surface.looks.end();
}

// Starts a run of all three chips and hands the dock's answers over one by one
// until the run waits in `step` (after the restart into the bootloader too).
bool RunUntilStep(FlowHarness& h, std::uint8_t step) {
    h.Scan();
    h.flow.OnStartUpgrade();
    for (int guard = 0; guard < 20000; ++guard) {
        if (h.flow.IspStep() == step) {
            return true;
        }
        if (h.link.Pending() == 0) {
            h.Advance(200, /*pump=*/false);  // the scan after the dock's return
            if (h.link.Pending() == 0 && h.flow.IspStep() != step) {
                return false;
            }
            continue;
        }
        h.Pump(1);
    }
    return false;
}

// The steps in which a run of all three chips waits for the dock.
constexpr std::uint8_t kWaitingSteps[] = {
    UpgradeFlow::STEP_CHIP1_PREPARE_CHECK, UpgradeFlow::STEP_CHIP1_ERASE_CHECK,
    UpgradeFlow::STEP_CHIP1_ERASE_WAIT,    UpgradeFlow::STEP_CHIP1_SEND,
    UpgradeFlow::STEP_CHIP1_VERIFY,        UpgradeFlow::STEP_CHIP2_START,
    UpgradeFlow::STEP_CHIP2_FILE1_SEND,    UpgradeFlow::STEP_CHIP2_FILE2_SEND,
    UpgradeFlow::STEP_CHIP3_ERASE,         UpgradeFlow::STEP_CHIP3_ERASE_CHECK,
    UpgradeFlow::STEP_CHIP3_SEND,          UpgradeFlow::STEP_CHIP3_VERIFY,
};

}  // namespace

TEST(RunEndings, RemovalAtEveryStepARunWaitsIn) {
    for (const std::uint8_t step : kWaitingSteps) {
        FlowHarness h;
        ASSERT_TRUE(RunUntilStep(h, step)) << int{step};
        h.flow.OnHidRemoval(h.link.State().m_strDevicePath);

        if (step == UpgradeFlow::STEP_CHIP3_ERASE) {
            // Leaving for the bootloader: the run waits for the dock's return.
            EXPECT_EQ(LastLines(h.surface, 1), std::vector<std::wstring>{L"No Device found!"});
            EXPECT_EQ(h.flow.IspStep(), UpgradeFlow::STEP_CHIP3_ERASE);
            continue;
        }
        EXPECT_EQ(LastLines(h.surface, 2),
                  (std::vector<std::wstring>{L"No Device found!", L"Error!, restart please."}))
            << int{step};
        EXPECT_EQ(h.flow.IspStep(), UpgradeFlow::STEP_IDLE) << int{step};
        EXPECT_EQ(h.surface.Look(), ResultLook::Fail) << int{step};
        EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, false, true})) << int{step};
        EXPECT_FALSE(EverPassed(h.surface)) << int{step};
        EXPECT_FALSE(h.surface.timers.contains(UpgradeFlow::TIMER_NO_ANSWER)) << int{step};
    }
}

TEST(RunEndings, ADockThatFallsSilentIsGivenUpOn) {
    const struct {
        std::uint8_t step;
        unsigned timeoutMs;
        std::wstring line;
    } cases[] = {
        {UpgradeFlow::STEP_CHIP1_PREPARE_CHECK, 10000,
         L"No answer from the dock within 10 s to chip 1's prepare, update stopped!"},
        {UpgradeFlow::STEP_CHIP1_SEND, 10000,
         L"No answer from the dock within 10 s to a chip 1 data packet, update stopped!"},
        {UpgradeFlow::STEP_CHIP1_VERIFY, 10000,
         L"No answer from the dock within 10 s to chip 1's checksum, update stopped!"},
        {UpgradeFlow::STEP_CHIP2_FILE2_SEND, 10000,
         L"No answer from the dock within 10 s to a chip 2 data packet, update stopped!"},
        {UpgradeFlow::STEP_CHIP3_ERASE, 30000,
         L"No answer from the dock within 30 s to the dock's restart into its bootloader, update "
         L"stopped!"},
        {UpgradeFlow::STEP_CHIP3_ERASE_CHECK, 10000,
         L"No answer from the dock within 10 s to chip 3's erase, update stopped!"},
        {UpgradeFlow::STEP_CHIP3_SEND, 10000,
         L"No answer from the dock within 10 s to a chip 3 data packet, update stopped!"},
    };
    for (const auto& c : cases) {
        FlowHarness h;
        ASSERT_TRUE(RunUntilStep(h, c.step)) << int{c.step};
        // What the dock was about to say is lost, and it says nothing more.
        h.dock.Faults().silentFromReport = h.dock.ReportCount() + 1;
        while (h.link.TakeNext()) {
        }
        ASSERT_EQ(h.flow.IspStep(), c.step);
        h.Advance(c.timeoutMs - 1);
        EXPECT_EQ(h.flow.IspStep(), c.step) << "not yet given up: " << int{c.step};
        h.Advance(1);
        EXPECT_EQ(LastLines(h.surface, 1), std::vector<std::wstring>{c.line}) << int{c.step};
        EXPECT_EQ(h.flow.IspStep(), UpgradeFlow::STEP_IDLE);
        EXPECT_EQ(h.surface.Look(), ResultLook::Fail);
        EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, false, true})) << int{c.step};
        EXPECT_FALSE(EverPassed(h.surface));
    }
}

TEST(RunEndings, AnEraseThatNeverFinishesIsAnEraseError) {
    FlowHarness h;
    h.dock.Faults().chip1EndlessBusy = true;
    h.Scan();
    h.flow.OnStartUpgrade();
    h.Pump();
    EXPECT_EQ(LastLines(h.surface, 1), std::vector<std::wstring>{L"ISP Chip 1 ERASE ERROR!"});
    EXPECT_GE(h.surface.now, 60000U);
    EXPECT_LT(h.surface.now, 60100U);
    EXPECT_EQ(h.flow.IspStep(), UpgradeFlow::STEP_SHOW_FAIL);
    EXPECT_EQ(h.dock.Received().back()[device::kCodePos], device::USBUID_ISP_EFM8_CMD_TI_END);
    EXPECT_EQ(h.surface.Look(), ResultLook::Fail);
    EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, false, true}));
}

TEST(RunEndings, PoweringOffBeforeClosingTheMessageStillPasses) {
    FlowHarness h;
    h.surface.onMessage = [&h] { h.flow.OnHidRemoval(h.link.State().m_strDevicePath); };
    ASSERT_TRUE(RunUntilStep(h, UpgradeFlow::STEP_CHIP3_VERIFY));
    h.Pump();
    h.Advance(200);

    ASSERT_EQ(h.surface.messages.size(), 1U);
    const auto lines = h.surface.Lines();
    EXPECT_EQ(std::find(lines.begin(), lines.end(), L"Error!, restart please."), lines.end());
    EXPECT_EQ(h.surface.Look(), ResultLook::Pass);
    EXPECT_EQ(h.flow.IspStep(), UpgradeFlow::STEP_IDLE);
    EXPECT_TRUE(h.surface.Enabled(UpgradeFlow::kExitButton));
}

TEST(RunEndings, ThePassVerdictShowsBeforeThePowerResetMessage) {
    FlowHarness h;
    std::optional<ResultLook> lookDuringMessage;
    bool exitDuringMessage = false;
    h.surface.onMessage = [&] {
        lookDuringMessage = h.surface.Look();
        exitDuringMessage = h.surface.Enabled(UpgradeFlow::kExitButton);
    };
    ASSERT_TRUE(RunUntilStep(h, UpgradeFlow::STEP_CHIP3_VERIFY));
    h.Pump();
    EXPECT_EQ(lookDuringMessage, ResultLook::Pass);
    EXPECT_TRUE(exitDuringMessage);
}

TEST(RunEndings, AForeignArrivalDoesNotDisturbATransfer) {
    // Mode queries up to the end of the run: a scan in the middle of a
    // transfer would add one.
    const auto modeQueries = [](const FlowHarness& h) {
        const auto& received = h.dock.Received();
        const auto isCommand = [](const device::IspReport& r, std::uint8_t code) {
            return r[2] == 0xFE && r[3] == 0xFF && r[4] == code;
        };
        const auto finish = std::find_if(received.begin(), received.end(), [&](const auto& r) {
            return isCommand(r, device::USBUID_ISP_EFM8_CMD_FINISH);
        });
        return std::count_if(received.begin(), finish, [&](const auto& r) {
            return isCommand(r, device::USBUID_ISP_EFM8_CMD_DEVICE_STATUS);
        });
    };
    const auto finish = [](FlowHarness& h) {
        h.Pump();
        h.Advance(200);
    };
    FlowHarness undisturbed;
    ASSERT_TRUE(RunUntilStep(undisturbed, UpgradeFlow::STEP_CHIP1_SEND));
    finish(undisturbed);

    for (const std::uint8_t step :
         {UpgradeFlow::STEP_CHIP1_SEND, UpgradeFlow::STEP_CHIP2_FILE2_SEND,
          UpgradeFlow::STEP_CHIP3_SEND}) {
        FlowHarness h;
        ASSERT_TRUE(RunUntilStep(h, step));
        h.flow.OnHidArrival();  // a mouse plugged in
        EXPECT_FALSE(h.surface.timers.contains(UpgradeFlow::TIMER_SCAN)) << int{step};
        finish(h);
        EXPECT_EQ(modeQueries(h), modeQueries(undisturbed)) << int{step};
        EXPECT_EQ(h.surface.looks.back(), ResultLook::Pass) << int{step};
        EXPECT_TRUE(std::ranges::equal(h.dock.Chip3Written(), package::SampleImages::Image(0)));
    }
}

TEST(RunEndings, ADeviceCheckThatEndsEarlyLeavesExitOn) {
    FlowHarness h;
    h.link.Unplug();
    h.Pump();
    for (void (UpgradeFlow::*check)() :
         {&UpgradeFlow::OnScanDevices, &UpgradeFlow::CheckHubFirmware,
          &UpgradeFlow::CheckDpFirmware}) {
        h.flow.OnFwVer();
        EXPECT_FALSE(h.surface.Enabled(UpgradeFlow::kExitButton));
        (h.flow.*check)();
        EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, false, true}));
    }
}

TEST(RunEndings, AMessageLeftOpenForLongDoesNotTimeTheRunOut) {
    FlowHarness h;
    // The window keeps handling its timers while the message is open.
    h.surface.onMessage = [&h] { h.Advance(60000, /*pump=*/false); };
    ASSERT_TRUE(RunUntilStep(h, UpgradeFlow::STEP_CHIP3_VERIFY));
    h.Pump();
    EXPECT_EQ(h.surface.Look(), ResultLook::Pass);
    const auto lines = h.surface.Lines();
    EXPECT_TRUE(std::none_of(lines.begin(), lines.end(), [](const std::wstring& line) {
        return line.starts_with(L"No answer");
    }));
}
