#include "ui/FieldParse.h"

#include <climits>
#include <cstdio>
#include <cwchar>

#include "jobs/Geometry.h"

// One character at a time with wcrtomb rather than the whole text at once
// (wxConvLibc, that is wcstombs): the "C" locale turns the tag characters
// U+E0000..U+E007F into no bytes at all, and glibc's wcsrtombs asserts, and
// ends the program, on a text that comes out empty that way. A character that
// turns into nothing has no form in the locale either, so it fails the text as
// an unknown character does.
bool ToLocaleText(const wxString& text, std::string& narrow) {
    narrow.clear();
    std::mbstate_t state{};
    char bytes[MB_LEN_MAX];
    for (wxString::const_iterator it = text.begin(); it != text.end(); ++it) {
        const wchar_t c = static_cast<wchar_t>((*it).GetValue());
        const size_t length = std::wcrtomb(bytes, c, &state);
        if (length == static_cast<size_t>(-1) || (length == 0 && c != L'\0')) {
            narrow.clear();
            return false;
        }
        narrow.append(bytes, length);
    }
    return true;
}

int32_t ParseFieldText(const wxString& text) {
    std::string narrow;
    if (!ToLocaleText(text, narrow)) return 0;
    return ParseNumber(narrow.c_str());
}

void FormatRowMaxEcho(int32_t value, char* text, size_t size) {
    std::snprintf(text, size, "0x%X", static_cast<unsigned>(value));
}
