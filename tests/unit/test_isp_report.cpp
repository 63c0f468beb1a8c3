#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <vector>

#include "device/IspAnswer.h"
#include "device/IspCommand.h"
#include "device/IspDataPacket.h"
#include "device/IspReport.h"

using device::DeviceMode;
using device::IspReport;

namespace {

// A report from its leading bytes and its last byte; everything between is 0x00.
IspReport Expected(std::initializer_list<std::uint8_t> head, std::uint8_t trailer) {
    IspReport report{};
    std::size_t i = 0;
    for (const std::uint8_t byte : head) {
        report[i++] = byte;
    }
    report[63] = trailer;
    return report;
}

// The image sizes of the shipped package.
constexpr std::uint32_t kImage0Length = 17843;
constexpr std::uint32_t kImage4Length = 138416;
constexpr std::array<std::uint8_t, 4> kCodeVersion{'E', 1, 1, 7};

// Packet sizes for a whole image, as a sender steps through it.
std::vector<std::uint8_t> PlainSplit(std::uint32_t total) {
    std::vector<std::uint8_t> split;
    for (std::uint32_t remaining = total; remaining > 0;) {
        const std::uint8_t n = device::PlainPacketLength(remaining);
        if (n == 0) {
            break;  // a sender that stalls; the counts then tell
        }
        split.push_back(n);
        remaining -= n;
    }
    return split;
}

std::vector<std::uint8_t> BlockSplit(std::uint32_t total) {
    std::vector<std::uint8_t> split;
    std::uint16_t room = device::kChip1BlockSize;
    for (std::uint32_t remaining = total; remaining > 0;) {
        const std::uint8_t n = device::BlockPacketLength(remaining, room);
        if (n == 0) {
            break;  // a sender that stalls; the counts then tell
        }
        split.push_back(n);
        remaining -= n;
        room = device::BlockRoomAfter(room, n);
    }
    return split;
}

IspReport AnswerOf(std::uint8_t code, std::initializer_list<std::uint8_t> data) {
    IspReport answer{};
    answer[0] = 0x01;
    answer[1] = code;
    answer[2] = 0xFE;
    answer[3] = 0xFF;
    answer[4] = code;
    std::size_t i = 5;
    for (const std::uint8_t byte : data) {
        answer[i++] = byte;
    }
    return answer;
}

}  // namespace

TEST(IspCommand, DeviceStatusGoesOutAsTheDocumentedBytes) {
    EXPECT_EQ(device::BuildDeviceStatusCommand(), Expected({0x02, 0x03, 0xFE, 0xFF, 0x07}, 0x5A));
}

TEST(IspCommand, EraseForTheShippedImageCarries35PagesAndNoTrailer) {
    EXPECT_EQ(device::BuildEraseCommand(kImage0Length),
              Expected({0x02, 0x04, 0xFE, 0xFF, 0x04, 0x23}, 0x00));
}

TEST(IspCommand, FinishForTheShippedPackage) {
    EXPECT_EQ(
        device::BuildFinishCommand(0xAE17, kImage0Length, kCodeVersion),
        Expected({0x02, 0x03, 0xFE, 0xFF, 0x02, 0xAE, 0x17, 0x45, 0xB3, 0x45, 0x01, 0x01, 0x07},
                 0x5A));
}

TEST(IspCommand, TiChecksumCarriesTheWhole32BitLength) {
    EXPECT_EQ(device::BuildTiChecksumCommand(kImage4Length),
              Expected({0x02, 0x04, 0xFE, 0xFF, 0x0D, 0x00, 0x02, 0x1C, 0xB0}, 0x5A));
    EXPECT_EQ(device::BuildTiChecksumCommand(0x89ABCDEF),
              Expected({0x02, 0x04, 0xFE, 0xFF, 0x0D, 0x89, 0xAB, 0xCD, 0xEF}, 0x5A));
}

TEST(IspCommand, ChecksumCarriesTheLow16BitsOfTheLength) {
    EXPECT_EQ(device::BuildChecksumCommand(kImage0Length),
              Expected({0x02, 0x04, 0xFE, 0xFF, 0x05, 0x45, 0xB3}, 0x00));
    EXPECT_EQ(device::BuildChecksumCommand(0x12345),
              Expected({0x02, 0x04, 0xFE, 0xFF, 0x05, 0x23, 0x45}, 0x00));
}

TEST(IspCommand, FinishKeepsTheLow16BitsOfTheLengthAndTheVersionAsGiven) {
    EXPECT_EQ(device::BuildFinishCommand(0x0102, 0x1FFFE, {'V', 2, 0, 5}),
              Expected({0x02, 0x03, 0xFE, 0xFF, 0x02, 0x01, 0x02, 0xFF, 0xFE, 'V', 2, 0, 5}, 0x5A));
}

TEST(IspCommand, CommandsWithoutParameters) {
    const struct {
        const char* name;
        std::function<IspReport()> build;
        std::uint8_t commandClass;
        std::uint8_t code;
    } cases[] = {
        {"JUMP_ISP", device::BuildJumpIspCommand, 0x03, 0x03},
        {"DEVICE_STATUS", device::BuildDeviceStatusCommand, 0x03, 0x07},
        {"DEVICE_VERSION", device::BuildDeviceVersionCommand, 0x03, 0x08},
        {"TI_INITIAL", device::BuildTiInitialCommand, 0x04, 0x09},
        {"TI_ERASE", device::BuildTiEraseCommand, 0x04, 0x0A},
        {"TI_STATUS", device::BuildTiStatusCommand, 0x04, 0x0C},
        {"TI_END", device::BuildTiEndCommand, 0x04, 0x0E},
        {"MEGACHIP_INITIAL", device::BuildMegachipInitialCommand, 0x04, 0x0F},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.build(), Expected({0x02, c.commandClass, 0xFE, 0xFF, c.code}, 0x5A)) << c.name;
    }
}

TEST(IspCommand, TheToolSendsExactlyTwelveCodesInTheirClasses) {
    const std::vector<IspReport> all = {
        device::BuildFinishCommand(1, 1, kCodeVersion),
        device::BuildJumpIspCommand(),
        device::BuildEraseCommand(1),
        device::BuildChecksumCommand(1),
        device::BuildDeviceStatusCommand(),
        device::BuildDeviceVersionCommand(),
        device::BuildTiInitialCommand(),
        device::BuildTiEraseCommand(),
        device::BuildTiStatusCommand(),
        device::BuildTiChecksumCommand(1),
        device::BuildTiEndCommand(),
        device::BuildMegachipInitialCommand(),
    };
    const std::map<std::uint8_t, std::uint8_t> classOf = {
        {0x02, 0x03}, {0x03, 0x03}, {0x07, 0x03}, {0x08, 0x03}, {0x04, 0x04}, {0x05, 0x04},
        {0x09, 0x04}, {0x0A, 0x04}, {0x0C, 0x04}, {0x0D, 0x04}, {0x0E, 0x04}, {0x0F, 0x04},
    };
    std::set<std::uint8_t> codes;
    for (const IspReport& report : all) {
        codes.insert(report[4]);
        ASSERT_TRUE(classOf.contains(report[4]));
        EXPECT_EQ(report[1], classOf.at(report[4])) << int{report[4]};
        const bool plainTrailer = report[4] == 0x04 || report[4] == 0x05;
        EXPECT_EQ(report[63], plainTrailer ? 0x00 : 0x5A) << int{report[4]};
    }
    EXPECT_EQ(codes.size(), 12U);
}

TEST(IspCommand, PageCountRoundsUpAndKeepsEightBits) {
    const struct {
        std::uint32_t length;
        std::uint8_t pages;
    } cases[] = {
        {0, 0},    {1, 1},      {512, 1},      {513, 2},    {1024, 2},
        {1025, 3}, {17843, 35}, {130560, 255}, {130561, 0}, {131072, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(device::Chip3PageCount(c.length), c.pages) << c.length;
        EXPECT_EQ(device::BuildEraseCommand(c.length)[5], c.pages) << c.length;
    }
}

TEST(IspDataPacket, TwentyBytesThenZerosThenTrailer) {
    std::array<std::uint8_t, 20> payload{};
    for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<std::uint8_t>(0xA0 + i);
    }
    const auto packet = device::BuildDataPacket(5, payload);
    ASSERT_TRUE(packet);
    EXPECT_EQ((*packet)[0], 0x02);
    EXPECT_EQ((*packet)[1], 20);
    EXPECT_EQ((*packet)[2], 5);
    EXPECT_EQ((*packet)[3], 0);
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ((*packet)[4 + i], payload[i]) << i;
    }
    for (std::size_t i = 24; i <= 62; ++i) {
        EXPECT_EQ((*packet)[i], 0x00) << i;
    }
    EXPECT_EQ((*packet)[63], 0x5A);
}

TEST(IspDataPacket, PacketNumberTravelsLowByteFirst) {
    const std::array<std::uint8_t, 1> payload{0x77};
    const struct {
        std::uint16_t number;
        std::uint8_t low;
        std::uint8_t high;
    } cases[] = {{1, 0x01, 0x00}, {0x1234, 0x34, 0x12}, {2703, 0x8F, 0x0A}, {0xFFFF, 0xFF, 0xFF}};
    for (const auto& c : cases) {
        const auto packet = device::BuildDataPacket(c.number, payload);
        ASSERT_TRUE(packet);
        EXPECT_EQ((*packet)[2], c.low) << c.number;
        EXPECT_EQ((*packet)[3], c.high) << c.number;
    }
}

TEST(IspDataPacket, FiftyNineBytesFillTheReportUpToTheTrailer) {
    std::array<std::uint8_t, 60> bytes{};
    bytes.fill(0xC3);
    const auto packet = device::BuildDataPacket(1, std::span(bytes).first(59));
    ASSERT_TRUE(packet);
    EXPECT_EQ((*packet)[1], 59);
    EXPECT_EQ((*packet)[62], 0xC3);
    EXPECT_EQ((*packet)[63], 0x5A);
}

TEST(IspDataPacket, RefusesEmptyAndOversizedPayloads) {
    std::array<std::uint8_t, 60> bytes{};
    EXPECT_FALSE(device::BuildDataPacket(1, std::span(bytes).first(0)));
    EXPECT_FALSE(device::BuildDataPacket(1, bytes));
}

TEST(IspDataPacket, PlainStepsForTheShippedImages) {
    const struct {
        std::size_t packets;
        std::uint32_t length;
        std::uint8_t last;
    } cases[] = {{303, 17843, 25}, {139, 8192, 50}, {4444, 262144, 7}, {1, 59, 59}, {2, 60, 1}};
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> split = PlainSplit(c.length);
        ASSERT_EQ(split.size(), c.packets) << c.length;
        EXPECT_EQ(split.back(), c.last) << c.length;
        for (std::size_t i = 0; i + 1 < split.size(); ++i) {
            ASSERT_EQ(split[i], 59) << c.length << " packet " << i + 1;
        }
    }
}

TEST(IspDataPacket, BlockWiseStepsForTheShippedChip1Image) {
    const std::vector<std::uint8_t> split = BlockSplit(kImage4Length);
    ASSERT_EQ(split.size(), 2703U);
    EXPECT_EQ(split[2700], 59);
    EXPECT_EQ(split[2701], 59);
    EXPECT_EQ(split[2702], 58);
    // Every full block goes out as 59, 59, 59, 59 and 20 bytes, and no packet
    // crosses a block boundary.
    std::uint32_t position = 0;
    for (std::size_t i = 0; i < split.size(); ++i) {
        const std::uint8_t n = split[i];
        ASSERT_LE(position % 256 + n, 256U) << "packet " << i + 1;
        if (i < 2700) {
            ASSERT_EQ(n, i % 5 == 4 ? 20 : 59) << "packet " << i + 1;
        }
        position += n;
    }
    EXPECT_EQ(position, kImage4Length);
}

TEST(IspDataPacket, BlockRoomStartsOverAfterAFullBlock) {
    EXPECT_EQ(device::BlockRoomAfter(256, 59), 197);
    EXPECT_EQ(device::BlockRoomAfter(20, 20), 256);
    EXPECT_EQ(device::BlockPacketLength(1000, 20), 20);
    EXPECT_EQ(device::BlockPacketLength(10, 20), 10);
    EXPECT_EQ(device::BlockPacketLength(1000, 256), 59);
}

TEST(IspAnswer, ModeAnswerReadsOnlyBitZero) {
    const struct {
        std::uint8_t byte5;
        DeviceMode mode;
    } cases[] = {{0x00, DeviceMode::Application},
                 {0x01, DeviceMode::Bootloader},
                 {0x02, DeviceMode::Application},
                 {0x03, DeviceMode::Bootloader},
                 {0xFF, DeviceMode::Bootloader}};
    for (const auto& c : cases) {
        EXPECT_EQ(device::DecodeModeAnswer(AnswerOf(0x07, {c.byte5})), c.mode) << int{c.byte5};
    }
}

TEST(IspAnswer, TheSignatureDecidesWhatIsDispatched) {
    IspReport answer = AnswerOf(0x07, {0x01});
    EXPECT_EQ(device::AnsweredCode(answer), 0x07);
    answer[0] = 0x55;  // the report ID is not examined
    EXPECT_EQ(device::AnsweredCode(answer), 0x07);

    const struct {
        std::size_t position;
        std::uint8_t value;
    } breaks[] = {{1, 0x08}, {2, 0xFF}, {3, 0xFE}, {4, 0x08}};
    for (const auto& b : breaks) {
        IspReport broken = AnswerOf(0x07, {0x01});
        broken[b.position] = b.value;
        EXPECT_FALSE(device::AnsweredCode(broken)) << b.position;
        EXPECT_FALSE(device::DecodeModeAnswer(broken)) << b.position;
    }
    // A well-formed answer to another command is no mode answer.
    EXPECT_FALSE(device::DecodeModeAnswer(AnswerOf(0x08, {0x01})));
}

TEST(IspAnswer, VersionAnswerGivesLetterAndDigits) {
    const auto version = device::DecodeVersionAnswer(AnswerOf(0x08, {'E', 1, 1, 6}));
    ASSERT_TRUE(version);
    EXPECT_EQ(*version, (std::array<std::uint8_t, 4>{'E', 1, 1, 6}));
    EXPECT_FALSE(device::DecodeVersionAnswer(AnswerOf(0x07, {'E', 1, 1, 6})));
}

TEST(IspAnswer, StatusAndChecksumAreReadWhateverTheSignature) {
    IspReport answer{};
    answer[5] = 0xAE;
    answer[6] = 0x17;
    EXPECT_EQ(device::DecodeStatus(answer), 0xAE);
    EXPECT_EQ(device::DecodeChecksum(answer), 0xAE17);
    EXPECT_EQ(device::DecodeChecksum(AnswerOf(0x0D, {0x37, 0xA1})), 0x37A1);
    EXPECT_EQ(device::DecodeStatus(AnswerOf(0x0C, {0x00})), 0x00);
}

// Each decoder gets exactly as many bytes as it needs, then one fewer; the
// buffers are sized exactly, so the sanitizers catch any read past them.
TEST(IspAnswer, ShortAnswersAreRefusedWithoutReadingPastThem) {
    const IspReport mode = AnswerOf(0x07, {0x01});
    const IspReport version = AnswerOf(0x08, {'E', 1, 1, 6});
    const struct {
        const char* name;
        const IspReport& full;
        std::size_t needed;
        std::function<bool(std::span<const std::uint8_t>)> decodes;
    } cases[] = {
        {"code", mode, 5, [](auto bytes) { return device::AnsweredCode(bytes).has_value(); }},
        {"mode", mode, 6, [](auto bytes) { return device::DecodeModeAnswer(bytes).has_value(); }},
        {"version", version, 9,
         [](auto bytes) { return device::DecodeVersionAnswer(bytes).has_value(); }},
        {"status", mode, 6, [](auto bytes) { return device::DecodeStatus(bytes).has_value(); }},
        {"checksum", mode, 7, [](auto bytes) { return device::DecodeChecksum(bytes).has_value(); }},
    };
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> enough(c.full.begin(), c.full.begin() + c.needed);
        const std::vector<std::uint8_t> short1(c.full.begin(), c.full.begin() + c.needed - 1);
        EXPECT_TRUE(c.decodes(enough)) << c.name;
        EXPECT_FALSE(c.decodes(short1)) << c.name;
        EXPECT_FALSE(c.decodes({})) << c.name;
    }
}
