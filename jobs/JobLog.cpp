#include "jobs/JobLog.h"

#include <cstdio>

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
