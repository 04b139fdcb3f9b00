#include <cinttypes>
#include <cstdio>
#include <string>

#include "jobs/DumpJobs.h"

namespace {

struct BlockPlace {
    int64_t firstPage;
    int64_t lastPage;
    uint64_t offset;  // of its first page in a dump of the whole chip
};

BlockPlace PlaceOf(const Geometry& geometry, int64_t block) {
    const int64_t first = block * geometry.pagesPerBlock;
    int64_t last = first + geometry.pagesPerBlock - 1;
    if (last > geometry.rowMax) last = geometry.rowMax;
    return {first, last, static_cast<uint64_t>(first) * static_cast<uint64_t>(geometry.PageTotal())};
}

std::string JsonString(const char* text) {
    std::string out = "\"";
    for (const char* c = text; *c != '\0'; ++c) {
        const unsigned char u = static_cast<unsigned char>(*c);
        if (u == '"' || u == '\\') {
            out += '\\';
            out += *c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += *c;
        }
    }
    return out + "\"";
}

}  // namespace

Outcome RunScan(JobContext& job, const Geometry& geometry, const ScanOptions& options, ScanResult& result) {
    JobLog log(job.log);
    result = ScanResult{};
    RowRange rows;
    const JobStatus ready =
        CheckBeforeChip(log, job.chip, geometry, GeometryUse::WriteOrVerify, true, options.rows, rows);
    if (ready != JobStatus::Done) return {ready};

    const int32_t perBlock = geometry.pagesPerBlock;
    const int64_t firstBlock = rows.first / perBlock;
    const int64_t lastBlock = rows.last / perBlock;
    ProgressScope progress(job.progress, "<<Begin Scan NAND>>", "Scanning...", geometry.rowMax,
                           lastBlock - firstBlock + 1, 0);
    log.Put("Start scan bad blocks\n");
    log.Red();
    for (int64_t block = firstBlock; block <= lastBlock; ++block) {
        const MarkCheck mark = ReadBlockMark(job.chip, geometry, block);
        if (mark == MarkCheck::NoAnswer) {
            log.Put("R/B, break low, ERR_RB_L\n");
            log.Blue();
            return {JobStatus::NoAnswer, block};
        }
        ++result.blocks;
        if (options.map) options.map->Note(block, mark == MarkCheck::Marked ? BlockState::Marked : BlockState::Good);
        if (mark == MarkCheck::Marked) {
            result.marked.push_back(block);
            const BlockPlace place = PlaceOf(geometry, block);
            char line[128];
            std::snprintf(line, sizeof line, "Bad block [%" PRId64 "]: pages %" PRId64 " to %" PRId64
                          ", dump offset 0x%" PRIX64 "\n",
                          block, place.firstPage, place.lastPage, place.offset);
            log.Put(line);
        }
        if (block % 16 == 0) job.progress.Update(static_cast<int32_t>(block * perBlock));
        job.progress.Tick(block - firstBlock + 1);
        if (job.progress.StopRequested() && block < lastBlock) {
            log.Blue();
            return {JobStatus::Interrupted, block + 1};
        }
    }
    log.Blue();
    log.Count(result.marked.size());
    log.Put(result.marked.size() == 1 ? " bad block of " : " bad blocks of ");
    log.Count(static_cast<uint64_t>(result.blocks));
    log.Put("\n");
    return {JobStatus::Done};
}

std::string ScanJson(const char* chipName, const Geometry& geometry, const ScanResult& result) {
    char head[256];
    std::snprintf(head, sizeof head,
                  ",\"page_size\":%d,\"spare_size\":%d,\"pages_per_block\":%d,\"row_max\":%d,"
                  "\"blocks\":%" PRId64 ",\"bad_count\":%zu,\"bad_blocks\":[",
                  static_cast<int>(geometry.pageSize), static_cast<int>(geometry.spareSize),
                  static_cast<int>(geometry.pagesPerBlock), static_cast<int>(geometry.rowMax), result.blocks,
                  result.marked.size());
    std::string json = "{\"chip\":" + JsonString(chipName) + head;
    for (size_t i = 0; i < result.marked.size(); ++i) {
        const BlockPlace place = PlaceOf(geometry, result.marked[i]);
        char entry[160];
        std::snprintf(entry, sizeof entry,
                      "%s{\"block\":%" PRId64 ",\"first_page\":%" PRId64 ",\"last_page\":%" PRId64
                      ",\"dump_offset\":%" PRIu64 "}",
                      i == 0 ? "" : ",", result.marked[i], place.firstPage, place.lastPage, place.offset);
        json += entry;
    }
    return json + "]}";
}
