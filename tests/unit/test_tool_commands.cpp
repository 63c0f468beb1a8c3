#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/HubToolText.h"
#include "tools/ToolCommandLines.h"
#include "tools/ToolOutputReader.h"

namespace {

// Hands out scripted reads, one per call, then the end of the output; decodes
// each byte to the character of the same value and records every chunk it
// was asked to decode.
class ScriptedOutput : public ToolOutputReader {
public:
    explicit ScriptedOutput(std::vector<std::string> reads,
                            std::size_t keptCharLimit = kKeptCharLimit)
        : ToolOutputReader(keptCharLimit), m_reads(std::move(reads)) {}

    std::vector<std::string> decoded;
    std::size_t readCalls = 0;
    std::size_t largestBuffer = 0;

protected:
    std::optional<std::size_t> ReadChunk(std::span<char> buffer) override {
        ++readCalls;
        largestBuffer = std::max(largestBuffer, buffer.size());
        if (m_next == m_reads.size()) {
            return std::nullopt;
        }
        const std::string& read = m_reads[m_next++];
        EXPECT_LE(read.size(), buffer.size()) << "a scripted read must fit the reader's buffer";
        // Leave the bytes of a longer earlier read behind the new ones, as a
        // reused buffer would.
        std::copy(read.begin(), read.end(), buffer.begin());
        return read.size();
    }
    std::wstring DecodeChunk(std::span<const char> chunk) override {
        decoded.emplace_back(chunk.begin(), chunk.end());
        std::wstring text;
        for (const char byte : chunk) {
            text += static_cast<wchar_t>(static_cast<unsigned char>(byte));
        }
        return text;
    }

private:
    std::vector<std::string> m_reads;
    std::size_t m_next = 0;
};

std::wstring Widen(const std::string& bytes) {
    std::wstring text;
    for (const char byte : bytes) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(byte));
    }
    return text;
}

}  // namespace

TEST(ToolCommandLines, EachToolByItsFullPathBesideTheProgramInItsOwnFolder) {
    const struct {
        const wchar_t* programPath;
        const wchar_t* programDir;
    } cases[] = {
        {L"C:\\Users\\tech\\Dock\\KrEFM8SwUpgrade.exe", L"C:\\Users\\tech\\Dock\\"},
        // Quoted, a folder with blanks and parentheses stays one word.
        {L"C:\\Program Files (x86)\\Kr Dock\\KrEFM8SwUpgrade.exe",
         L"C:\\Program Files (x86)\\Kr Dock\\"},
        {L"D:\\KrEFM8SwUpgrade.exe", L"D:\\"},
        {L"\\\\?\\C:\\deep\\KrEFM8SwUpgrade.exe", L"\\\\?\\C:\\deep\\"},
    };
    for (const auto& c : cases) {
        const ToolCommandLines lines(c.programPath);
        const std::wstring dir = c.programDir;
        EXPECT_EQ(lines.ProgramDir(), dir);
        EXPECT_EQ(lines.HubToolCmd(),
                  (ToolCommand{.name = L"GL352xISP.exe",
                               .program = dir + L"Tool\\GL352xISP.exe",
                               .commandLine = L"\"" + dir + L"Tool\\GL352xISP.exe\" -f",
                               .workingDir = dir + L"Tool\\"}));
        EXPECT_EQ(lines.DpToolCmd(),
                  (ToolCommand{.name = L"McdpIsp.exe",
                               .program = dir + L"Tool\\Mega\\McdpIsp.exe",
                               .commandLine = L"\"" + dir + L"Tool\\Mega\\McdpIsp.exe\" -ChipInfo",
                               .workingDir = dir + L"Tool\\Mega\\"}));
    }
}

TEST(ToolCommandLines, APathWithoutAFolderNamesNoFileToRun) {
    for (const ToolCommandLines& lines :
         {ToolCommandLines(), ToolCommandLines(L"KrEFM8SwUpgrade.exe")}) {
        EXPECT_TRUE(lines.ProgramDir().empty());
        EXPECT_TRUE(lines.HubToolCmd().program.empty());
        EXPECT_TRUE(lines.DpToolCmd().program.empty());
        EXPECT_TRUE(lines.DpToolCmd().workingDir.empty());
    }
}

TEST(HubToolText, TheLow16BitsOfTheExitCodeInFourLowerCaseDigits) {
    EXPECT_EQ(HubFirmwareText(0x8720), L"HUB FW is 0x8720");
    EXPECT_EQ(HubFirmwareText(0x18720), L"HUB FW is 0x8720");
    EXPECT_EQ(HubFirmwareText(26), L"HUB FW is 0x001a");
    EXPECT_EQ(HubFirmwareText(0), L"HUB FW is 0x0000");
    EXPECT_EQ(HubFirmwareText(0xFFFFFFFFU), L"HUB FW is 0xffff");
    EXPECT_EQ(HubFirmwareText(0xC0000135U), L"HUB FW is 0x0135");
}

TEST(HubToolText, AnUnknownVersionIsNotEmptyAndNamesNoVersion) {
    const std::wstring text = HubFirmwareUnknownText();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find(L"0x8720"), std::wstring::npos);
    EXPECT_EQ(text.find(L"0x"), std::wstring::npos);
}

TEST(ToolOutputReader, ReadsInChunksOfAtMost1024Bytes) {
    ScriptedOutput output({"abc"});
    output.ReadAllText();
    EXPECT_EQ(output.largestBuffer, 1024U);
    EXPECT_EQ(ToolOutputReader::kChunkBytes, 1024U);
}

TEST(ToolOutputReader, ChunksAreJoinedInOrderAndAShortLastChunkAddsOnlyItsOwnBytes) {
    const std::string first(1024, 'a');
    const std::string second = std::string(1023, 'b') + "c";
    const std::string last = "tail";
    ScriptedOutput output({first, second, last});
    EXPECT_EQ(output.ReadAllText(), Widen(first + second + last));
    ASSERT_EQ(output.decoded.size(), 3U);
    EXPECT_EQ(output.decoded[2], "tail");
    EXPECT_EQ(output.readCalls, 4U) << "reads go on until the output ends";
}

TEST(ToolOutputReader, EachChunkIsDecodedByItself) {
    // A two-byte character cut between two reads reaches the decoder in two parts.
    ScriptedOutput output({"x\x82", "\xA0y"});
    output.ReadAllText();
    ASSERT_EQ(output.decoded.size(), 2U);
    EXPECT_EQ(output.decoded[0], "x\x82");
    EXPECT_EQ(output.decoded[1], "\xA0y");
}

TEST(ToolOutputReader, AnEmptyReadIsNotTheEnd) {
    ScriptedOutput output({"one", "", "two"});
    EXPECT_EQ(output.ReadAllText(), L"onetwo");
    EXPECT_EQ(output.decoded.size(), 2U) << "an empty chunk has nothing to decode";
}

TEST(ToolOutputReader, NoOutputGivesAnEmptyText) {
    ScriptedOutput output({});
    EXPECT_EQ(output.ReadAllText(), L"");
    EXPECT_EQ(output.readCalls, 1U);
}

TEST(ToolOutputReader, BytesOfEveryValueAreKept) {
    std::string bytes;
    for (int value = 0; value < 256; ++value) {
        bytes += static_cast<char>(value);
    }
    ScriptedOutput output({bytes.substr(0, 200), bytes.substr(200)});
    const std::wstring text = output.ReadAllText();
    ASSERT_EQ(text.size(), 256U);
    EXPECT_EQ(text, Widen(bytes));
}

TEST(ToolOutputReader, PastTheLimitTheOutputIsStillReadButNotKept) {
    ScriptedOutput output({"12345", "67890", "abcde", "fghij"}, 8);
    EXPECT_EQ(output.ReadAllText(), L"1234567890");
    EXPECT_EQ(output.readCalls, 5U) << "the tool's output is read to its end";
}

TEST(ToolOutputReader, DrainReadsToTheEndAndDecodesNothing) {
    ScriptedOutput output({std::string(1024, 'x'), "y", ""});
    output.Drain();
    EXPECT_EQ(output.readCalls, 4U);
    EXPECT_TRUE(output.decoded.empty());
}
