#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "app/log/LogFileLine.h"

// What the probe saw, one line per check: "ok ..." or "FAIL ...", plus
// "info ..." lines that only describe the window. The counts decide the exit
// code, so a run with no failing check and at least one check is a pass.
class CheckLog {
public:
    void Check(bool passed, std::string_view what);
    void Info(std::string_view what);
    void Summary() const;

    int Passed() const { return m_passed; }
    int Failed() const { return m_failed; }

private:
    int m_passed = 0;
    int m_failed = 0;
};

// Writes one line and flushes it, so the lines of the probe and of the script
// that runs it stay in order.
void PrintLine(std::FILE* stream, std::string_view line);

// Texts are printed in UTF-8 (Utf8, the log file's encoding) and shown quoted
// with line breaks escaped, so an empty text and a text of blanks can be told
// apart in the output.
std::string Quoted(std::wstring_view text);
