#include "DialogTemplate.h"

#include <cstddef>

namespace {

constexpr std::uint32_t kSetFont = 0x40;  // DS_SETFONT, also part of DS_SHELLFONT

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    bool Ok() const { return m_ok; }
    std::size_t Position() const { return m_pos; }

    std::uint8_t Byte() {
        if (!Need(1)) {
            return 0;
        }
        return m_bytes[m_pos++];
    }
    std::uint16_t Word() {
        if (!Need(2)) {
            return 0;
        }
        const auto value = static_cast<std::uint16_t>(m_bytes[m_pos] | (m_bytes[m_pos + 1] << 8));
        m_pos += 2;
        return value;
    }
    std::uint32_t Dword() {
        const std::uint32_t low = Word();
        const std::uint32_t high = Word();
        return low | (high << 16);
    }
    std::int16_t Short() { return static_cast<std::int16_t>(Word()); }

    // A zero-terminated UTF-16 string.
    std::wstring String() {
        std::wstring text;
        for (std::uint16_t c = Word(); m_ok && c != 0; c = Word()) {
            text += static_cast<wchar_t>(c);
        }
        return text;
    }

    // Empty (0x0000), an ordinal (0xFFFF then the number) or a string.
    std::wstring NameOrOrdinal(std::optional<std::uint16_t>& ordinal) {
        ordinal.reset();
        const std::size_t start = m_pos;
        const std::uint16_t first = Word();
        if (first == 0) {
            return {};
        }
        if (first == 0xFFFF) {
            ordinal = Word();
            return L"#" + std::to_wstring(*ordinal);
        }
        m_pos = start;
        return String();
    }

    void AlignToDword() { m_pos = (m_pos + 3) & ~static_cast<std::size_t>(3); }
    void Skip(std::size_t count) {
        if (Need(count)) {
            m_pos += count;
        }
    }

private:
    bool Need(std::size_t count) {
        if (!m_ok || m_pos > m_bytes.size() || m_bytes.size() - m_pos < count) {
            m_ok = false;
            return false;
        }
        return true;
    }

    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

// The predefined control classes that templates name by ordinal.
std::wstring ClassFromOrdinal(std::uint16_t ordinal) {
    switch (ordinal) {
        case 0x80:
            return L"Button";
        case 0x81:
            return L"Edit";
        case 0x82:
            return L"Static";
        case 0x83:
            return L"ListBox";
        case 0x84:
            return L"ScrollBar";
        case 0x85:
            return L"ComboBox";
        default:
            return L"#" + std::to_wstring(ordinal);
    }
}

DialogTemplateItem ReadItem(ByteReader& in, bool extended) {
    DialogTemplateItem item;
    in.AlignToDword();
    if (extended) {
        in.Dword();  // help context id
        item.exStyle = in.Dword();
        item.style = in.Dword();
    } else {
        item.style = in.Dword();
        item.exStyle = in.Dword();
    }
    item.x = in.Short();
    item.y = in.Short();
    item.cx = in.Short();
    item.cy = in.Short();
    item.id = extended ? in.Dword() : in.Word();
    std::optional<std::uint16_t> classOrdinal;
    item.className = in.NameOrOrdinal(classOrdinal);
    if (classOrdinal) {
        item.className = ClassFromOrdinal(*classOrdinal);
    }
    std::optional<std::uint16_t> textOrdinal;
    item.text = in.NameOrOrdinal(textOrdinal);
    const std::uint16_t creationDataSize = in.Word();
    in.Skip(creationDataSize);
    return item;
}

}  // namespace

std::optional<DialogTemplate> ParseDialogTemplate(std::span<const std::uint8_t> bytes,
                                                  std::string& error) {
    ByteReader in(bytes);
    DialogTemplate dialog;
    const std::uint16_t version = in.Word();
    const std::uint16_t signature = in.Word();
    dialog.extended = version == 1 && signature == 0xFFFF;
    if (dialog.extended) {
        in.Dword();  // help context id
        dialog.exStyle = in.Dword();
        dialog.style = in.Dword();
    } else {
        dialog.style = static_cast<std::uint32_t>(version) | (std::uint32_t{signature} << 16);
        dialog.exStyle = in.Dword();
    }
    const std::uint16_t itemCount = in.Word();
    dialog.x = in.Short();
    dialog.y = in.Short();
    dialog.cx = in.Short();
    dialog.cy = in.Short();
    std::optional<std::uint16_t> ordinal;
    dialog.menu = in.NameOrOrdinal(ordinal);
    dialog.className = in.NameOrOrdinal(ordinal);
    dialog.caption = in.String();
    if ((dialog.style & kSetFont) != 0) {
        dialog.pointSize = in.Word();
        if (dialog.extended) {
            dialog.weight = in.Word();
            dialog.italic = in.Byte() != 0;
            in.Byte();  // character set
        }
        dialog.typeface = in.String();
    }
    for (std::uint16_t i = 0; i < itemCount && in.Ok(); ++i) {
        dialog.items.push_back(ReadItem(in, dialog.extended));
    }
    if (!in.Ok()) {
        error = "the dialog resource ends early (" + std::to_string(bytes.size()) + " bytes, " +
                std::to_string(dialog.items.size()) + " of " + std::to_string(itemCount) +
                " controls read)";
        return std::nullopt;
    }
    return dialog;
}
