#include <gtest/gtest.h>
#include <wx/string.h>

#include <climits>
#include <clocale>
#include <cstdint>
#include <string>

#include "ui/FieldParse.h"

namespace {

// Runs the body with LC_ALL set to `locale`, as GTK sets it from the
// environment at start-up, and puts the previous locale back.
class InLocale {
public:
    explicit InLocale(const char* locale) : previous_(std::setlocale(LC_ALL, nullptr)) {
        available_ = std::setlocale(LC_ALL, locale) != nullptr;
    }
    ~InLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
    bool Available() const { return available_; }

private:
    std::string previous_;
    bool available_ = false;
};

}  // namespace

// wx takes a UTF-8-encoded surrogate, which the C library cannot convert: the
// whole text then parses as 0, digits before it included. The "C" locale
// turns tag characters into no bytes, and the C library's own conversion
// aborts on a text of nothing else: they fail the text as well.
TEST(FieldParse, TextTheLocaleCannotConvertParsesAsZeroWholly) {
    {
        InLocale c("C");
        EXPECT_EQ(ParseFieldText(wxString(L"\U000E0030\U000E0000")), 0);
        EXPECT_EQ(ParseFieldText(wxString(L"256\U000E0030")), 0);
    }
    InLocale utf8("C.UTF-8");
    if (!utf8.Available()) GTEST_SKIP() << "no C.UTF-8 locale";
    const wxString text = wxString::FromUTF8("1x\x01" "0x 0 0 0h\xed\xa0\x80");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(ParseFieldText(text), 0);
    EXPECT_EQ(ParseFieldText(wxString::FromUTF8("1x\x01" "0x 0 0 0h")), 1);
}

TEST(FieldParse, ReadsTheLocaleFormUpToItsFirstNulAsStrtolDoes) {
    InLocale c("C");
    EXPECT_EQ(ParseFieldText(wxString(L"64\0" L"12", 5)), 64);
    EXPECT_EQ(ParseFieldText(wxString(L" \t-2048abc")), -2048);
    EXPECT_EQ(ParseFieldText(wxString(L"0x40")), 0);
    // Out of range: strtol's LONG_MAX, cut to 32 bits (-1 where long has
    // 64 bits, INT32_MAX on the Pi).
    EXPECT_EQ(ParseFieldText(wxString(L"99999999999999999999")), static_cast<int32_t>(LONG_MAX));
    // Full-width digits have no C-locale form.
    EXPECT_EQ(ParseFieldText(wxString(L"\xFF16\xFF14")), 0);
}
