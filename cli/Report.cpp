#include "cli/Report.h"

#include <cinttypes>
#include <cstdio>

#include "chip/ChipFile.h"
#include "cli/ExitStatus.h"

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
    JsonObject& Fraction(const char* key, double value, int digits) {
        char text[48];
        std::snprintf(text, sizeof text, "%.*f", digits, value);
        return Raw(key, text);
    }
    JsonObject& String(const char* key, const std::string& value) { return Raw(key, JsonString(value)); }
    // A page's sizes and its block's, as detect words every geometry.
    JsonObject& Sizes(int64_t page, int64_t spare, int64_t pagesPerBlock) {
        return Number("page", page).Number("spare", spare).Number("pages_per_block", pagesPerBlock);
    }
    // Members already written as JSON text, after these.
    JsonObject& Members(const std::string& members) {
        if (!members.empty()) text_ += (text_.empty() ? "{" : ",") + members;
        return *this;
    }
    std::string Text() const { return text_.empty() ? "{}" : text_ + "}"; }
    // The members without the braces.
    std::string Inner() const { return text_.empty() ? text_ : text_.substr(1); }

private:
    std::string text_;
};

std::string NumberArray(const std::vector<int64_t>& numbers) {
    std::string json = "[";
    for (size_t i = 0; i < numbers.size(); ++i) json += (i ? "," : "") + std::to_string(numbers[i]);
    return json + "]";
}

std::string ListJson(const NumberList& list) {
    return JsonObject().Number("count", list.count).Raw("first", NumberArray(list.first)).Text();
}

}  // namespace

std::string VisibleText(const std::string& text) { return Visible(text, false); }

std::string VisibleLog(const char* text) { return Visible(text, true); }

std::string ResultJson(const ResultReport& report) {
    const JobResult& r = report.result;
    JsonObject json;
    json.Number("schema", RESULT_SCHEMA)
        .String("command", report.command)
        .Number("status", report.status)
        .String("status_name", ExitStatusName(report.status));
    if (report.plan != nullptr) {
        const Geometry& g = report.plan->geometry;
        json.String("chip", *report.chip)
            .Number("page_size", g.pageSize)
            .Number("spare_size", g.spareSize)
            .Number("pages_per_block", g.pagesPerBlock)
            .Number("row_max", g.rowMax);
    } else {
        for (const char* key : {"chip", "page_size", "spare_size", "pages_per_block", "row_max"}) json.Raw(key, "null");
    }
    // MB as the progress bar counts them: 10^6 bytes.
    const double perSecond = r.seconds > 0 ? static_cast<double>(r.bytes) / r.seconds / 1e6 : 0.0;
    json.Number("pages", r.pages)
        .Number("blocks", r.blocks)
        .Raw("bytes", std::to_string(r.bytes))
        .Fraction("seconds", r.seconds, 6)
        .Fraction("mb_per_s", perSecond, 3);

    std::string first = "[";
    for (size_t i = 0; i < r.firstDifferences.size(); ++i) {
        const ByteDifference& d = r.firstDifferences[i];
        first += (i ? "," : "") + JsonObject()
                                      .Number("page", d.page)
                                      .Raw("offset", std::to_string(d.offset))
                                      .Number("expected", d.expected)
                                      .Number("actual", d.actual)
                                      .Text();
    }
    json.Raw("differences", JsonObject()
                                .Raw("count", std::to_string(r.differences))
                                .Number("pages", r.differingPages)
                                .Raw("first", first + "]")
                                .Text())
        .Raw("failed_blocks", ListJson(r.failedBlocks))
        .Raw("failed_pages", ListJson(r.failedPages))
        .Raw("unstable_pages", JsonObject()
                                   .Number("count", r.unstablePages.count)
                                   .Number("unsettled", r.unsettledPages)
                                   .Raw("first", NumberArray(r.unstablePages.first))
                                   .Text())
        .Number("time_outs", r.timeOuts)
        .Raw("corrected_bits", std::to_string(r.correctedBits))
        .Number("corrected_pages", r.correctedPages)
        .Raw("uncorrectable_pages", ListJson(r.uncorrectablePages));

    // The bad blocks as scan has always given them: where each lies in a
    // dump of the whole chip.
    std::string bad = "[";
    for (size_t i = 0; i < r.badBlocks.size(); ++i) {
        JsonObject block;
        block.Number("block", r.badBlocks[i]);
        if (report.plan != nullptr) {
            const BlockPlace place = PlaceOf(report.plan->geometry, r.badBlocks[i]);
            // With several targets or LUNs: the chip enable, the LUN and the
            // block within that LUN.
            const ChipLayout& layout = report.plan->layout;
            if (!layout.Plain() && report.plan->geometry.pagesPerBlock > 0) {
                const RowPlace where = layout.Place(place.firstPage);
                block.Number("ce", where.ce).Number("lun", where.lun).Number(
                    "lun_block", where.page / report.plan->geometry.pagesPerBlock);
            }
            block.Number("first_page", place.firstPage)
                .Number("last_page", place.lastPage)
                .Raw("dump_offset", std::to_string(place.offset));
        }
        bad += (i ? "," : "") + block.Text();
    }
    json.Number("bad_count", static_cast<int64_t>(r.badBlocks.size())).Raw("bad_blocks", bad + "]");
    return json.Members(report.members).Text() + "\n";
}

std::string WiringMembers(const WiringReport& report) {
    return JsonObject().Number("checks", report.checks).Number("checks_passed", report.passed).Inner();
}

std::string IdentityMembers(const DetectResult& detect, const ChipIdentity& identity) {
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
                       .Sizes(g.pageSize, g.spareSize, g.pagesPerBlock)
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
                       .Sizes(page.pageSize, page.spareSize, page.pagesPerBlock)
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
                     .Sizes(id.pageSize, id.spareSize, id.pagesPerBlock)
                     .Number("blocks", id.blocks)
                     .Number("row_max", id.rowMax)
                     .Raw("guess", "true")
                     .Text();
    }

    const GeometryChoice& choice = identity.choice;
    const std::string geometry = JsonObject()
                                     .String("source", GeometrySourceName(choice.source))
                                     .Sizes(choice.geometry.pageSize, choice.geometry.spareSize,
                                            choice.geometry.pagesPerBlock)
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
        .Inner();
}

