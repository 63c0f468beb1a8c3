#include "app/log/LogFilePath.h"

#include <algorithm>
#include <array>
#include <cwctype>

#include "package/ExtendedLengthPath.h"

namespace {

wchar_t Upper(wchar_t c) {
    return static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(c)));
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Upper(text[i]) != Upper(prefix[i])) {
            return false;
        }
    }
    return true;
}

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

// The device a component names: the system drops what follows the first dot
// and any blanks before it, so "nul.txt" and "COM1 .log" are devices too.
bool NamesDevice(std::wstring_view component) {
    static constexpr std::array<std::wstring_view, 6> kDevices = {L"NUL", L"CON",    L"AUX",
                                                                  L"PRN", L"CONIN$", L"CONOUT$"};
    std::wstring_view base = component.substr(0, component.find(L'.'));
    while (!base.empty() && base.back() == L' ') {
        base.remove_suffix(1);
    }
    for (const std::wstring_view device : kDevices) {
        if (EqualNoCase(base, device)) {
            return true;
        }
    }
    // COM0 and LPT0 open devices too, and so do the superscript digits one
    // to three, which Windows counts as digits there.
    const auto portDigit = [](wchar_t c) {
        return (c >= L'0' && c <= L'9') || c == L'\u00B9' || c == L'\u00B2' || c == L'\u00B3';
    };
    return base.size() == 4 && (StartsWithNoCase(base, L"COM") || StartsWithNoCase(base, L"LPT")) &&
           portDigit(base[3]);
}

// The prefixes that hand a path to the object manager as it stands: "\\?\"
// and "\??\". Before a drive ("X:\") or "UNC\" they still name a file; any
// other object they reach (a pipe, a disk, GLOBALROOT) is a device.
std::optional<std::wstring_view> AfterVerbatimPrefix(std::wstring_view text) {
    if (StartsWithNoCase(text, L"\\\\?\\") || StartsWithNoCase(text, L"\\??\\")) {
        return text.substr(4);
    }
    return std::nullopt;
}

bool NamesAFileAfterThePrefix(std::wstring_view rest) {
    const wchar_t letter = Upper(rest.empty() ? L'\0' : rest[0]);
    const bool drive =
        rest.size() >= 3 && letter >= L'A' && letter <= L'Z' && rest[1] == L':' && rest[2] == L'\\';
    return drive || StartsWithNoCase(rest, L"UNC\\");
}

}  // namespace

std::wstring PathWithoutVolume(std::wstring_view path) {
    std::wstring text = package::WithBackslashes(path);
    std::wstring_view rest = text;
    if (const std::optional<std::wstring_view> verbatim = AfterVerbatimPrefix(rest)) {
        rest = *verbatim;
        if (StartsWithNoCase(rest, L"UNC\\")) {
            rest.remove_prefix(4);
            rest = rest.substr(std::min(rest.size(), rest.find(L'\\', rest.find(L'\\') + 1)));
        }
    } else if (StartsWithNoCase(rest, L"\\\\")) {
        rest.remove_prefix(2);
        rest = rest.substr(std::min(rest.size(), rest.find(L'\\', rest.find(L'\\') + 1)));
    }
    if (rest.size() >= 2 && rest[1] == L':') {
        rest.remove_prefix(2);
    }
    return std::wstring(rest);
}

std::optional<std::wstring> LogPathRefusal(std::wstring_view path) {
    const std::wstring text = package::WithBackslashes(path);
    const std::optional<std::wstring_view> verbatim = AfterVerbatimPrefix(text);
    if (StartsWithNoCase(text, L"\\\\.\\") || (verbatim && !NamesAFileAfterThePrefix(*verbatim))) {
        return L"it names a device, not a file";
    }
    // The drive's colon is the only one a plain file's path holds.
    const std::wstring rest = PathWithoutVolume(text);
    if (rest.find(L':') != std::wstring::npos) {
        return L"a colon past the drive names a stream or a device, not a plain file";
    }
    std::size_t start = 0;
    while (start <= rest.size()) {
        const std::size_t end = std::min(rest.size(), rest.find(L'\\', start));
        const std::wstring_view component = std::wstring_view(rest).substr(start, end - start);
        if (NamesDevice(component)) {
            return L"\"" + std::wstring(component) + L"\" is the name of a device";
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<std::wstring> OpenedLogFileRefusal(const OpenedLogFile& file) {
    if (!file.onDisk) {
        return L"it is not a file on a disk";
    }
    if (file.directory) {
        return L"it is a folder";
    }
    if (file.reparsePoint) {
        return L"it is a link, not a plain file";
    }
    if (file.links != 1) {
        return L"it has " + std::to_wstring(file.links) + L" names (hard links), not one";
    }
    if (!EqualNoCase(PathWithoutVolume(file.givenPath), PathWithoutVolume(file.finalPath))) {
        return L"a link or junction on the way leads to " + file.finalPath;
    }
    return std::nullopt;
}

RecordScope ScopeOf(bool elevated, bool localSystem) {
    // The system's own token is elevated anyway; a service account that is
    // not still writes where every administrator looks.
    return elevated || localSystem ? RecordScope::Machine : RecordScope::User;
}

bool LogRotatesAt(std::uint64_t size) {
    return size >= kLogRotateBytes;
}

std::optional<std::wstring> LogFolderRefusal(RecordScope scope, const LogFolderFacts& facts) {
    if (facts.reparsePoint) {
        return std::wstring(L"the folder is a link or junction");
    }
    if (scope == RecordScope::User) {
        return std::nullopt;
    }
    if (!facts.ownerTrusted) {
        return std::wstring(L"the folder is not owned by the system or Administrators");
    }
    if (facts.othersMayWrite) {
        return std::wstring(L"others than the system and Administrators may write to the folder");
    }
    return std::nullopt;
}
