#include "jobs/JobLog.h"

#include <cstdio>
#include <cstring>

#include "jobs/Targets.h"

void JobLog::RedThenBlue(const char* text) {
    Red();
    Put(text);
    Blue();
}

void JobLog::Number(const char* format, long value) {
    char text[16];
    std::snprintf(text, sizeof text, format, static_cast<int>(value));
    Put(text);
}

void JobLog::Numbered(const char* head, long value, const char* tail) {
    Put(head);
    Number("%d", value);
    Put(tail);
}

void JobLog::Block(const char* head, int64_t block, const char* tail) {
    Placed(head, block, layout_ ? layout_->BlockName(block) : std::string(), tail);
}

void JobLog::Page(const char* head, int64_t row, const char* tail) {
    Placed(head, row, layout_ ? layout_->PageName(row) : std::string(), tail);
}

int JobLog::FirstChipEnable() const { return layout_ && !layout_->targets.empty() ? layout_->targets[0] : 0; }

void JobLog::Placed(const char* head, int64_t value, const std::string& place, const char* tail) {
    if (place.empty()) {
        Numbered(head, static_cast<long>(value), tail);
        return;
    }
    // Past 2^31 rows the window's %d would wrap: the joined range counts in full.
    Put(head);
    Count(static_cast<uint64_t>(value));
    const char* bracket = std::strchr(tail, ']');
    const size_t split = bracket ? static_cast<size_t>(bracket - tail) + 1 : 0;
    Put(std::string(tail, split) + place + (tail + split));
}

void JobLog::Count(uint64_t count) {
    char text[24];
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(count));
    Put(text);
}

void JobLog::EndTime(int32_t elapsedMs, bool newlineApart) {
    Put("End time = ");
    Number("%d", elapsedMs);
    if (newlineApart) {
        Put(" ms");
        Put("\n");
    } else {
        Put(" ms\n");
    }
}
