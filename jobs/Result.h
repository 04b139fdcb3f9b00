// SPDX-License-Identifier: MIT
// What a chip job did and what it found, counted as it goes: the walk fills
// in what every job shares (pages, blocks, time, factory marks, time-outs),
// each job's visitors what only they see (differences, failures, unstable
// pages, ECC corrections). A front end reports it as it likes; the log says
// the same in its own words, line by line.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// How many entries each list keeps; the counts go on past it.
inline constexpr size_t RESULT_LISTED = 100;

// Pages or blocks of one kind: how many, and the first of them.
struct NumberList {
    int64_t count = 0;
    std::vector<int64_t> first;
    void Add(int64_t number) {
        ++count;
        if (first.size() < RESULT_LISTED) first.push_back(number);
    }
};

// One byte that is not what it should be.
struct ByteDifference {
    int64_t page;
    uint64_t offset;  // in the dump file compared with, or in a dump of the whole chip
    uint8_t expected;
    uint8_t actual;   // what the chip gave
};

struct JobResult {
    // What was done. A job of several walks (program) adds them up.
    int64_t pages = 0;   // pages a walk dealt with: read, programmed, compared, checked
    int64_t blocks = 0;  // blocks a walk went into
    uint64_t bytes = 0;  // data and spare bytes of those pages
    double seconds = 0;  // time spent in the walks

    // What was found.
    uint64_t differences = 0;  // bytes that differ
    int64_t differingPages = 0;
    std::vector<ByteDifference> firstDifferences;  // up to RESULT_LISTED
    std::vector<int64_t> badBlocks;                // factory-marked blocks met, ascending, each once
    NumberList failedBlocks;                       // erase failures
    NumberList failedPages;                        // program failures
    NumberList unstablePages;                      // pages whose reads differed (read --passes)
    int64_t unsettledPages = 0;                    // of those, pages never read the same twice
    int64_t timeOuts = 0;                          // R/B# time-outs the walk met

    // Where pages are checked with an ECC: 0 without one.
    uint64_t correctedBits = 0;
    int64_t correctedPages = 0;
    NumberList uncorrectablePages;

    void AddDifference(int64_t page, uint64_t offset, uint8_t expected, uint8_t actual) {
        if (differences++ < RESULT_LISTED) firstDifferences.push_back({page, offset, expected, actual});
    }
    // A block is met again by each walk of a job of several.
    void AddBadBlock(int64_t block) {
        const auto at = std::lower_bound(badBlocks.begin(), badBlocks.end(), block);
        if (at == badBlocks.end() || *at != block) badBlocks.insert(at, block);
    }
};
