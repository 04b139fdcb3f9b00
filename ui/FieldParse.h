// The chip fields' text-to-number rule and the row-max echo, apart from the
// window so that they can be checked on any text.
#pragma once

#include <wx/string.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Locale conversion, then strtol base 10; a text the locale cannot represent
// parses as 0.
int32_t ParseFieldText(const wxString& text);

// Writes the row-max echo ("0x%X" of the field's number) into a buffer of
// `size` bytes, as the label beside the Row field shows it.
void FormatRowMaxEcho(int32_t value, char* text, size_t size);

// The text in the locale's multibyte form, embedded NULs included, into
// `narrow`. False, with `narrow` empty, when a character has no form in the
// locale. Safe on any text, where wxConvLibc is not: see the definition.
bool ToLocaleText(const wxString& text, std::string& narrow);
