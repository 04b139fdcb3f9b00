// Writing a job's lines into its log: pieces, colours and numbers, the way
// every job reports.
#pragma once

#include <cstdint>
#include <string>

#include "jobs/Job.h"

struct ChipLayout;

class JobLog {
public:
    explicit JobLog(LogSink& sink) : sink_(sink) {}
    // A job's log that names, in each block or page line, the target (and
    // LUN) of the block or page when the layout has more than CE0 alone.
    JobLog(LogSink& sink, const ChipLayout& layout) : sink_(sink), layout_(&layout) {}

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
    // The same for a block or a page of the job's range; the place follows
    // the first ']' of tail: "Bad block [1030] (CE1, block 6)\n".
    void Block(const char* head, int64_t block, const char* tail);
    void Page(const char* head, int64_t row, const char* tail);
    // The chip enable (0-3) of the job's first target: 0 without a layout.
    int FirstChipEnable() const;
    // A count that may exceed 32 bits, as a piece of its own ("%llu").
    void Count(uint64_t count);
    // "End time = ", the milliseconds, then " ms\n" or " ms" and "\n" apart.
    void EndTime(int32_t elapsedMs, bool newlineApart);

private:
    void Placed(const char* head, int64_t value, const std::string& place, const char* tail);

    LogSink& sink_;
    const ChipLayout* layout_ = nullptr;
};
