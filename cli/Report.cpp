#include "cli/Report.h"

#include <cinttypes>
#include <cstdio>

#include "chip/ChipFile.h"

namespace {

// The length of the whole UTF-8 character at text[i], or 0 when the bytes
// there are not one.
size_t Utf8Length(const std::string& text, size_t i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead <= 0xDF ? 2 : 0;
    if (lead >= 0xF5 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    // No overlong form, no surrogate, nothing past U+10FFFF.
    const unsigned char second = length > 1 ? static_cast<unsigned char>(text[i + 1]) : 0;
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

std::string Visible(const std::string& text, bool keepLineEnds) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += text[i++];
            continue;
        }
        if (keepLineEnds && (c == '\n' || c == '\t')) {
            out += text[i++];
            continue;
        }
        const size_t length = c >= 0x80 ? Utf8Length(text, i) : 0;
        if (length != 0) {
            out.append(text, i, length);
            i += length;
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned>(c));
        out += escaped;
        ++i;
    }
    return out;
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    char escaped[8];
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

namespace {

// Builds one JSON object, key after key.
class JsonObject {
public:
    JsonObject& Raw(const char* key, const std::string& json) {
        text_ += (text_.empty() ? "{" : ",") + JsonString(key) + ":" + json;
        return *this;
    }
    JsonObject& Number(const char* key, int64_t value) { return Raw(key, std::to_string(value)); }
    JsonObject& String(const char* key, const std::string& value) { return Raw(key, JsonString(value)); }
    std::string Text() const { return text_.empty() ? "{}" : text_ + "}"; }

private:
    std::string text_;
};

}  // namespace

std::string VisibleText(const std::string& text) { return Visible(text, false); }

std::string VisibleLog(const char* text) { return Visible(text, true); }

std::string ScanJson(const std::string& chipName, const Geometry& geometry, const ScanResult& result,
                     const ChipLayout& layout) {
    JsonObject json;
    json.String("chip", chipName)
        .Number("page_size", geometry.pageSize)
        .Number("spare_size", geometry.spareSize)
        .Number("pages_per_block", geometry.pagesPerBlock)
        .Number("row_max", geometry.rowMax)
        .Number("blocks", result.blocks)
        .Number("bad_count", static_cast<int64_t>(result.marked.size()));
    std::string bad = "[";
    for (size_t i = 0; i < result.marked.size(); ++i) {
        const BlockPlace place = PlaceOf(geometry, result.marked[i]);
        JsonObject entry;
        entry.Number("block", result.marked[i]);
        if (!layout.Plain()) {
            const RowPlace where = layout.Place(place.firstPage);
            entry.Number("ce", where.ce).Number("lun", where.lun).Number("lun_block",
                                                                         where.page / geometry.pagesPerBlock);
        }
        bad += (i == 0 ? "" : ",") + entry
                                         .Number("first_page", place.firstPage)
                                         .Number("last_page", place.lastPage)
                                         .Raw("dump_offset", std::to_string(place.offset))
                                         .Text();
    }
    return json.Raw("bad_blocks", bad + "]").Text();
}

std::string IdentityJson(const DetectResult& detect, const ChipIdentity& identity) {
    std::string probes = "[";
    for (int p = 0; p < 4; ++p) {
        const ChipProbe& probe = detect.probes[p];
        std::string id = "[";
        for (int i = 0; i < 5; ++i) id += (i ? "," : "") + std::to_string(probe.id[i]);
        probes += (p ? "," : "") + JsonObject()
                                       .Number("ce", p)
                                       .Raw("id", id + "]")
                                       .String("id_string", IdString(probe.id))
                                       .String("maker", probe.maker)
                                       .Text();
    }
    probes += "]";

    std::string chipFile = "null";
    if (identity.chipFileFound) {
        const Geometry& g = identity.chipFile;
        chipFile = JsonObject()
                       .String("path", detect.chipFilePath)
                       .String("name", identity.chipFileName)
                       .Number("row_max", g.rowMax)
                       .Number("page", g.pageSize)
                       .Number("spare", g.spareSize)
                       .Number("pages_per_block", g.pagesPerBlock)
                       .Text();
    }

    // A page with a good CRC is shown as the chip gave it, absurd values
    // included; "geometry" tells whether it was used.
    std::string pageJson = "null";
    const ParameterPage& page = identity.reading.page;
    if (identity.reading.present && !identity.reading.timedOut && page.crcPassed) {
        pageJson = JsonObject()
                       .String("standard", StandardName(page.standard))
                       .String("revision", page.revision)
                       .Number("copy", page.copy)
                       .String("maker", page.maker)
                       .String("model", page.model)
                       .Number("page", page.pageSize)
                       .Number("spare", page.spareSize)
                       .Number("pages_per_block", page.pagesPerBlock)
                       .Raw("blocks", std::to_string(page.blocks))
                       .Number("luns", page.luns)
                       .Raw("row_max", std::to_string(page.rowMax))
                       .Number("ecc_bits", page.eccBits)
                       .Text();
    }

    std::string idJson = "null";
    const IdGeometry& id = identity.idGeometry;
    if (id.decoded) {
        idJson = JsonObject()
                     .Number("page", id.pageSize)
                     .Number("spare", id.spareSize)
                     .Number("pages_per_block", id.pagesPerBlock)
                     .Number("blocks", id.blocks)
                     .Number("row_max", id.rowMax)
                     .Raw("guess", "true")
                     .Text();
    }

    const GeometryChoice& choice = identity.choice;
    const std::string geometry = JsonObject()
                                     .String("source", GeometrySourceName(choice.source))
                                     .Number("page", choice.geometry.pageSize)
                                     .Number("spare", choice.geometry.spareSize)
                                     .Number("pages_per_block", choice.geometry.pagesPerBlock)
                                     .Number("row_max", choice.geometry.rowMax)
                                     .Text();
    std::string disagreements = "[";
    for (size_t i = 0; i < choice.disagreements.size(); ++i)
        disagreements += (i ? "," : "") + JsonString(choice.disagreements[i]);
    disagreements += "]";

    std::string targets = "[";
    for (size_t i = 0; i < identity.targets.size(); ++i)
        targets += (i ? "," : "") + JsonObject()
                                        .Number("ce", identity.targets[i])
                                        .Raw("luns", identity.targetLuns[i] > 0
                                                         ? std::to_string(identity.targetLuns[i])
                                                         : std::string("null"))
                                        .Text();
    targets += "]";
    std::string others = "[";
    for (size_t i = 0; i < identity.otherChips.size(); ++i)
        others += (i ? "," : "") + std::to_string(identity.otherChips[i]);
    others += "]";

    return JsonObject()
               .Raw("probes", probes)
               .Raw("targets", targets)
               .Raw("other_chips", others)
               .Raw("chip_file", chipFile)
               .Raw("parameter_page", pageJson)
               .Raw("id_decoded", idJson)
               .Raw("geometry", geometry)
               .Raw("disagreements", disagreements)
               .Text() +
           "\n";
}

