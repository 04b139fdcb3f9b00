#include "ui/FieldParse.h"

#include <cstdio>
#include <cstdlib>

int32_t ParseFieldText(const wxString& text) {
    const wxCharBuffer narrow = text.mb_str(wxConvLibc);
    const char* digits = narrow.data() != nullptr ? narrow.data() : "";
    return static_cast<int32_t>(std::strtol(digits, nullptr, 10));
}

void FormatRowMaxEcho(int32_t value, char* text, size_t size) {
    std::snprintf(text, size, "0x%X", static_cast<unsigned>(value));
}
