// Writing a job's lines into its log: pieces, colours and numbers, the way
// every job reports.
#pragma once

#include <cstdint>
#include <string>

#include "jobs/Job.h"

class JobLog {
public:
    explicit JobLog(LogSink& sink) : sink_(sink) {}

    void Red() { sink_.SetColour(LogColour::Red); }
    void Blue() { sink_.SetColour(LogColour::Blue); }
    void Green() { sink_.SetColour(LogColour::Green); }
    void Put(const char* text) { sink_.Append(text); }
    void Put(const std::string& text) { sink_.Append(text.c_str()); }
    // One piece in red, then blue again: how every refusal and warning reads.
    void RedThenBlue(const char* text);
    void RedThenBlue(const std::string& text) { RedThenBlue(text.c_str()); }
    // A number formatted with a printf format taking an int, as a piece of
    // its own.
    void Number(const char* format, long value);
    // head, the number ("%d"), tail: "Skip bad block [" 7 "]\n".
    void Numbered(const char* head, long value, const char* tail);
    // A count that may exceed 32 bits, as a piece of its own ("%llu").
    void Count(uint64_t count);
    // "End time = ", the milliseconds, then " ms\n" or " ms" and "\n" apart.
    void EndTime(int32_t elapsedMs, bool newlineApart);

private:
    LogSink& sink_;
};
