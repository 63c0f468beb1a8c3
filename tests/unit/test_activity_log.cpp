#include <gtest/gtest.h>

#include "app/log/ActivityLog.h"
#include "app/log/LogFileLine.h"

namespace {

LogRecord Line(std::wstring text) {
    return LogRecord{std::move(text), 0, LogText};
}
LogRecord Progress(std::wstring text, std::uint16_t value) {
    return LogRecord{std::move(text), value, LogProgress};
}

// A log whose first line is `first`, followed by enough one-letter lines to
// reach the break limit.
ActivityLog FullLog(const std::wstring& first) {
    ActivityLog log;
    log.Append(Line(first));
    for (int i = 0; i < ActivityLog::kLineBreakLimit; ++i) {
        log.Append(Line(L"x"));
    }
    return log;
}

}  // namespace

TEST(ActivityLog, LinesAreJoinedByBreaksWithoutALeadingOne) {
    ActivityLog log;
    auto outcome = log.Append(Line(L"first"));
    EXPECT_TRUE(outcome.textChanged);
    EXPECT_FALSE(outcome.progressMoved);
    EXPECT_EQ(log.Text(), L"first");
    EXPECT_EQ(log.LineBreaks(), 0);

    log.Append(Line(L"second"));
    EXPECT_EQ(log.Text(), L"first\r\nsecond");
    EXPECT_EQ(log.LineBreaks(), 1);

    log.Clear();
    EXPECT_EQ(log.Text(), L"");
    EXPECT_EQ(log.LineBreaks(), 0);
    log.Append(Line(L"after clear"));
    EXPECT_EQ(log.Text(), L"after clear");
}

TEST(ActivityLog, ProgressRecordsDependOnHowMuchTheLogHolds) {
    ActivityLog empty;
    auto outcome = empty.Append(Progress(L"  2655", 1));
    EXPECT_TRUE(outcome.textChanged);
    EXPECT_FALSE(outcome.progressMoved);
    EXPECT_EQ(empty.Text(), L"  2655");
    EXPECT_EQ(empty.LineBreaks(), 0);

    ActivityLog oneLine;
    oneLine.Append(Line(L"Waiting..."));
    outcome = oneLine.Append(Progress(L"Wait...", 0));
    EXPECT_TRUE(outcome.textChanged);
    EXPECT_FALSE(outcome.progressMoved) << "the bar does not move while the text is logged";
    EXPECT_EQ(oneLine.Text(), L"Waiting...\r\nWait...");
    EXPECT_EQ(oneLine.LineBreaks(), 1);

    const std::wstring before = oneLine.Text();
    outcome = oneLine.Append(Progress(L"    33", 33));
    EXPECT_FALSE(outcome.textChanged);
    EXPECT_TRUE(outcome.progressMoved);
    EXPECT_EQ(outcome.progress, 33);
    EXPECT_EQ(oneLine.Text(), before);
    EXPECT_EQ(oneLine.LineBreaks(), 1);
}

TEST(ActivityLog, CountStopsAtTheLimitAndEachLineTrimsFromTheFront) {
    const struct {
        std::wstring first;
        std::wstring keptStart;  // what the log begins with after one more line
    } cases[] = {
        // The search for the line feed begins at index 6: "abcde\r\n" ends exactly there.
        {L"abcde", L"\nx\r\nx"},
        // A shorter first line goes together with the line after it.
        {L"abc", L"\nx\r\nx"},
        {L"a much longer first line", L"\nx\r\nx"},
    };
    for (const auto& c : cases) {
        ActivityLog log = FullLog(c.first);
        ASSERT_EQ(log.LineBreaks(), ActivityLog::kLineBreakLimit);
        const std::wstring full = log.Text();
        log.Append(Line(L"new"));

        EXPECT_EQ(log.LineBreaks(), ActivityLog::kLineBreakLimit);
        EXPECT_EQ(log.Text().substr(0, c.keptStart.size()), c.keptStart);
        EXPECT_TRUE(log.Text().ends_with(L"x\r\nnew"));
        const std::size_t dropped = full.size() + 2 + 3 - log.Text().size();
        const std::size_t expected =
            c.first.size() < 5 ? c.first.size() + 2 + 2 : c.first.size() + 1;
        EXPECT_EQ(dropped, expected) << std::string(c.first.begin(), c.first.end());
    }
}

TEST(ActivityLog, TheLimitKeepsTheLogBounded) {
    ActivityLog log = FullLog(L"header line");
    for (int i = 0; i < 2000; ++i) {
        log.Append(Line(L"line " + std::to_wstring(i)));
    }
    EXPECT_EQ(log.LineBreaks(), ActivityLog::kLineBreakLimit);
    EXPECT_TRUE(log.Text().ends_with(L"line 1999"));
    // Every line trims at least the oldest one, so the log never grows past
    // the limit (the kept text starts with the line feed of the dropped text).
    std::size_t lineFeeds = 0;
    for (const wchar_t c : log.Text()) {
        lineFeeds += c == L'\n' ? 1 : 0;
    }
    EXPECT_LE(lineFeeds, ActivityLog::kLineBreakLimit + 1U);
    EXPECT_TRUE(log.Text().starts_with(L"\n"));
}

TEST(ActivityLog, BelowTheLimitNothingIsDropped) {
    ActivityLog log;
    log.Append(Line(L"abc"));
    for (int i = 1; i < ActivityLog::kLineBreakLimit; ++i) {
        log.Append(Line(L"x"));
    }
    EXPECT_EQ(log.LineBreaks(), ActivityLog::kLineBreakLimit - 1);
    log.Append(Line(L"500th break"));
    EXPECT_EQ(log.LineBreaks(), ActivityLog::kLineBreakLimit);
    EXPECT_TRUE(log.Text().starts_with(L"abc\r\n"));
}

// The log file's lines: a stamp, the text in UTF-8, CR LF; characters that
// cannot be encoded never lose the line.
TEST(LogFileLine, StampTextAndEncoding) {
    const LogStamp stamp{2026, 12, 9, 7, 5, 3, 42};
    const struct {
        std::wstring text;
        std::string line;
    } cases[] = {
        {L"PASS", "2026-12-09 07:05:03.042 PASS\r\n"},
        {L"", "2026-12-09 07:05:03.042 \r\n"},
        {L"Gr\u00fc\u00dfe \u20ac",
         "2026-12-09 07:05:03.042 Gr\xc3\xbc\xc3\x9f"
         "e \xe2\x82\xac\r\n"},
        {std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x",
         "2026-12-09 07:05:03.042 \xef\xbf\xbdx\r\n"},
        {std::wstring(1, static_cast<wchar_t>(0xDC00)), "2026-12-09 07:05:03.042 \xef\xbf\xbd\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LogFileLine(stamp, c.text), c.line);
    }
    // A character past the basic plane, as UTF-16 gives it or as one wide unit.
    const std::wstring clef = sizeof(wchar_t) == 2 ? std::wstring{static_cast<wchar_t>(0xD834),
                                                                  static_cast<wchar_t>(0xDD1E)}
                                                   : std::wstring(1, static_cast<wchar_t>(0x1D11E));
    EXPECT_EQ(Utf8(clef), "\xf0\x9d\x84\x9e");
}

TEST(LogFileLine, ACopyOfTheLogGetsEachTextLineAndEachPercentOnce) {
    LogCopyLines copy;
    EXPECT_EQ(copy.LineFor(Line(L"File 1/1 :  17843 BYTES")), L"File 1/1 :  17843 BYTES");
    EXPECT_EQ(copy.LineFor(Progress(L"     0", 0)), L"0%");
    EXPECT_EQ(copy.LineFor(Progress(L"    59", 0)), std::nullopt);
    EXPECT_EQ(copy.LineFor(Progress(L"   236", 1)), L"1%");
    EXPECT_EQ(copy.LineFor(Progress(L" 17843", 100)), L"100%");
    EXPECT_EQ(copy.LineFor(Line(L"File 1/1 End")), L"File 1/1 End");
    EXPECT_EQ(copy.LineFor(Progress(L"     0", 0)), L"0%");
}
