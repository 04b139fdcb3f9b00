// Feeds any bytes to the chip parameter file reader as an open file and
// checks what each chip field would be handed, then pushes each value
// through the locale conversion that sets a field, in the C locale and in a
// UTF-8 one.
#include <wx/string.h>

#include <cctype>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "chip/ChipFile.h"

namespace {

const char* const fieldLocales[] = {"C", "C.UTF-8"};

struct Reading {
    int nextKey = 0;
};

[[noreturn]] void Fail(const char* what, int key) {
    std::fprintf(stderr, "chip file fuzz: %s (key %d)\n", what, key);
    std::abort();
}

void SetField(void* context, int key, const char* value) {
    auto* reading = static_cast<Reading*>(context);
    if (key != reading->nextKey) Fail("key out of order", key);
    ++reading->nextKey;
    if (value == nullptr) Fail("no value", key);
    // The reader's buffer is one value wide: the NUL must be inside it.
    const size_t length = strnlen(value, CHIP_VALUE_MAX + 1);
    if (length > static_cast<size_t>(CHIP_VALUE_MAX)) Fail("value not terminated within its width", key);
    // A scanned word holds no white space, and a failed scan leaves the
    // previous word.
    for (size_t i = 0; i < length; ++i) {
        if (std::isspace(static_cast<unsigned char>(value[i]))) Fail("white space in a value", key);
    }

    for (const char* locale : fieldLocales) {
        if (std::setlocale(LC_CTYPE, locale) == nullptr) continue;
        const wxString text(value, wxConvLibc);
        if (text.length() > length) Fail("conversion made more characters than bytes", key);
        if (!text.empty()) {
            const wxCharBuffer back = text.mb_str(wxConvLibc);
            if (back.data() == nullptr || std::strcmp(back.data(), value) != 0) Fail("conversion does not round-trip", key);
        }
    }
    std::setlocale(LC_CTYPE, "C");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // fmemopen wants a writable buffer; one spare byte keeps size 0 legal.
    std::vector<char> bytes(data, data + size);
    bytes.push_back('\0');
    FILE* file = fmemopen(bytes.data(), size, "rb");
    if (file == nullptr) Fail("fmemopen failed", -1);
    Reading reading;
    ReadChipFile(file, SetField, &reading);
    std::fclose(file);
    if (reading.nextKey != CHIP_FILE_KEYS) Fail("not every key handed on", reading.nextKey);
    return 0;
}
