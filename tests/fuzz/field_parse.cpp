// Builds wxStrings from any bytes in the ways a field's text can arise and
// checks that the fields' parse rule never fails, reads what strtol reads from
// the text's locale form, and that the row-max echo fits its 16-character
// buffer. First of all the way the window gets it: the whole input as the
// UTF-8 text GTK hands over, parsed in the "C" locale the program runs in.
#include <wx/string.h>

#include <climits>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "ui/FieldParse.h"

namespace {

[[noreturn]] void Fail(const char* what, const char* how) {
    std::fprintf(stderr, "field parse fuzz: %s (%s)\n", what, how);
    std::abort();
}

// A character the locale turns into no bytes at all (the tag characters in
// the "C" locale). The C library's whole-text conversion aborts on a text of
// nothing else, so such a text is kept away from wxConvLibc here.
bool HasCharacterWithoutBytes(const wxString& text) {
    for (wxString::const_iterator it = text.begin(); it != text.end(); ++it) {
        char bytes[MB_LEN_MAX];
        std::mbstate_t state{};
        const wchar_t c = static_cast<wchar_t>((*it).GetValue());
        if (c != L'\0' && std::wcrtomb(bytes, c, &state) == 0) return true;
    }
    return false;
}

// What strtol makes of the characters before the first one outside ASCII:
// the number, in every locale, whenever the text converts at all.
int32_t AsciiPrefixValue(const wxString& text) {
    std::string ascii;
    for (wxString::const_iterator it = text.begin(); it != text.end() && (*it).GetValue() < 0x80; ++it)
        ascii += static_cast<char>((*it).GetValue());
    return static_cast<int32_t>(std::strtol(ascii.c_str(), nullptr, 10));
}

void Check(const wxString& text, const char* how) {
    const int32_t value = ParseFieldText(text);
    std::string narrow;
    const bool converted = ToLocaleText(text, narrow);

    if (HasCharacterWithoutBytes(text)) {
        if (converted || value != 0) Fail("a character without bytes did not fail the text", how);
    } else {
        // wx's own conversion, where it is safe, is the reference. It fails
        // with no buffer, or, for a text with NULs inside, with an empty one.
        const wxCharBuffer reference = text.mb_str(wxConvLibc);
        const bool referenceConverted =
            reference.data() != nullptr && (reference.length() != 0 || text.empty());
        if (converted != referenceConverted) Fail("conversion fails unlike wxConvLibc", how);
        if (converted && narrow != std::string(reference.data(), reference.length()))
            Fail("conversion differs from wxConvLibc", how);
        const int32_t expected =
            referenceConverted ? static_cast<int32_t>(std::strtol(reference.data(), nullptr, 10)) : 0;
        if (value != expected) Fail("parse disagrees with strtol", how);
    }
    if (value != 0 && value != AsciiPrefixValue(text)) Fail("parse is not the number before the first non-ASCII", how);

    // The echo buffer is the program-wide numberText: 16 bytes, with a guard
    // after it that must stay untouched. The label is set from it through
    // the locale, as the window does.
    char echo[16 + 8];
    std::memset(echo, 0x5A, sizeof echo);
    FormatRowMaxEcho(value, echo, 16);
    for (size_t i = 16; i < sizeof echo; ++i) {
        if (echo[i] != 0x5A) Fail("echo wrote past its buffer", how);
    }
    char expected[32];
    std::snprintf(expected, sizeof expected, "0x%X", static_cast<unsigned>(value));
    if (std::strcmp(echo, expected) != 0) Fail("echo is not the number in hex", how);
    if (wxString(echo, wxConvLibc) != wxString::FromAscii(expected)) Fail("echo label is not the number in hex", how);
}

bool HasSurrogate(const wxString& text) {
    for (wxString::const_iterator it = text.begin(); it != text.end(); ++it) {
        const wxUniChar c = *it;
        if (c.GetValue() >= 0xD800 && c.GetValue() <= 0xDFFF) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The window's way: the program sets no locale of its own.
    if (std::setlocale(LC_ALL, "C") == nullptr) Fail("no C locale", "window");
    Check(wxString::FromUTF8(reinterpret_cast<const char*>(data), size), "typed, C locale");
    if (size == 0) {
        Check(wxString(), "empty");
        return 0;
    }
    // The first byte picks the locale the other conversions run in.
    const char* locale = (data[0] & 1) != 0 ? "C.UTF-8" : "C";
    if (std::setlocale(LC_ALL, locale) == nullptr) return 0;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const size_t length = size - 1;

    // As UTF-8, embedded NULs included.
    const wxString utf8 = wxString::FromUTF8(bytes, length);
    Check(utf8, "UTF-8");
    // A valid UTF-8 text without NULs has the same bytes as its locale form
    // in a UTF-8 locale, so strtol on the raw bytes must agree too. wx takes
    // UTF-8-encoded surrogates, which the C library refuses: no such text
    // reaches a field, so it is left out here.
    if (locale[1] != '\0' && !utf8.empty() && std::memchr(bytes, 0, length) == nullptr && !HasSurrogate(utf8)) {
        const std::string raw(bytes, length);
        if (ParseFieldText(utf8) != static_cast<int32_t>(std::strtol(raw.c_str(), nullptr, 10)))
            Fail("UTF-8 text parses unlike its bytes", locale);
    }

    // As wchar_t units, whatever code points they hold.
    const size_t units = length / sizeof(wchar_t);
    std::wstring wide(units, L'\0');
    std::memcpy(&wide[0], bytes, units * sizeof(wchar_t));
    Check(wxString(wide.data(), units), "wchar_t units");

    // As the locale's multibyte form, as the chip file values and the
    // program's own texts reach the fields.
    const std::string narrow(bytes, length);
    Check(wxString(narrow.c_str(), wxConvLibc), "locale, up to the first NUL");
    Check(wxString(narrow.data(), wxConvLibc, length), "locale, whole");

    return 0;
}
