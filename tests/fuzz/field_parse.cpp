// Builds wxStrings from any bytes in the ways a field's text can arise (UTF-8,
// wchar_t units, the locale's multibyte conversion) and checks that the
// fields' parse rule never fails and reads what strtol reads from the text's
// locale form, and that the row-max echo fits its 16-character buffer.
#include <wx/string.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ui/FieldParse.h"

namespace {

[[noreturn]] void Fail(const char* what, const char* how) {
    std::fprintf(stderr, "field parse fuzz: %s (%s)\n", what, how);
    std::abort();
}

// What strtol makes of the text's locale form; 0 when it has none.
int32_t Expected(const wxString& text) {
    const wxCharBuffer narrow = text.mb_str(wxConvLibc);
    if (narrow.data() == nullptr) return 0;
    return static_cast<int32_t>(std::strtol(narrow.data(), nullptr, 10));
}

void Check(const wxString& text, const char* how) {
    const int32_t value = ParseFieldText(text);
    if (value != Expected(text)) Fail("parse disagrees with strtol", how);

    // The echo buffer is the program-wide numberText: 16 bytes, with a guard
    // after it that must stay untouched.
    char echo[16 + 8];
    std::memset(echo, 0x5A, sizeof echo);
    FormatRowMaxEcho(value, echo, 16);
    for (size_t i = 16; i < sizeof echo; ++i) {
        if (echo[i] != 0x5A) Fail("echo wrote past its buffer", how);
    }
    char expected[32];
    std::snprintf(expected, sizeof expected, "0x%X", static_cast<unsigned>(value));
    if (std::strcmp(echo, expected) != 0) Fail("echo is not the number in hex", how);
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
    if (size == 0) {
        Check(wxString(), "empty");
        return 0;
    }
    // The first byte picks the locale the conversions run in.
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
