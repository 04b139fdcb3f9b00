#include "jobs/Walk.h"

#include <algorithm>
#include <chrono>

BlockSpans::BlockSpans(const RowRange& rows, int32_t blockPages)
    : rows_(rows),
      blockPages_(blockPages),
      firstBlock_(blockPages > 0 ? rows.first / blockPages : 0),
      lastBlock_(blockPages > 0 ? rows.last / blockPages : 0) {}

BlockSpan BlockSpans::Span(int64_t block) const {
    if (blockPages_ <= 0) return {0, rows_.first, rows_.last};
    const int64_t start = block * blockPages_;
    return {block, std::max(start, rows_.first), std::min(start + blockPages_ - 1, rows_.last)};
}

bool ChipWalk::TimeOut() {
    log_.Put(rules_.timeOuts.line);
    ++timeOuts_;
    ++job_.result.timeOuts;
    if (++inARow_ < rules_.timeOuts.inARowToStop) return false;
    if (rules_.timeOuts.stopLine) log_.Put(rules_.timeOuts.stopLine);
    if (rules_.timeOuts.blueOnStop) log_.Blue();
    return true;
}

bool ChipWalk::UpdateDue(int64_t row, Step step) const {
    if (rules_.updateEvery <= 1) return true;
    return step == Step::Go && row % rules_.updateEvery == 1;
}

Step ChipWalk::OpenBlock(WalkVisitor& visitor, const BlockSpan& span, size_t index, Outcome& end) {
    Step step = visitor.EnterBlock(span);
    bool marked = false;
    if (step == Step::Go && (rules_.readMarks || rules_.known)) {
        if (rules_.known) {
            marked = (*rules_.known)[index];
        } else {
            const MarkCheck mark = ReadBlockMark(job_.chip, geometry_, span.block);
            if (mark == MarkCheck::NoAnswer) {
                // A mark that cannot be read may be there: the block stays.
                if (TimeOut()) {
                    end = {JobStatus::NoAnswer, span.first};
                    return Step::Stop;
                }
                return Step::Passed;
            }
            marked = mark == MarkCheck::Marked;
        }
        if (marked) job_.result.AddBadBlock(span.block);
        if (map_ && (marked || rules_.noteGood)) map_->Note(span.block, marked ? BlockState::Marked : BlockState::Good);
        if (marked && rules_.bad == BadBlockMode::Skip) log_.Numbered("Skip bad block [", span.block, "]\n");
        if (marked && rules_.bad == BadBlockMode::Pad) log_.Numbered("Pad bad block [", span.block, "]\n");
    }
    if (step == Step::Go) {
        step = visitor.Block(span, marked);
        if (marked && rules_.bad == BadBlockMode::Skip && step == Step::Go) step = Step::Passed;
    }
    if (step == Step::Stop) end = visitor.ending;
    if (step == Step::Finished) end = {JobStatus::Done};
    return step == Step::Finished ? Step::Stop : step;
}

bool ChipWalk::VisitRows(WalkVisitor& visitor, const BlockSpan& span, Outcome& end) {
    ProgressSink& progress = job_.progress;
    int64_t row = span.first;
    int64_t last = span.last;
    if (rules_.visits == Visits::EraseRows) {
        // The chip ignores the page bits of an erase address. The window
        // erases the second page of every block, and block 0, when the walk
        // starts there, at row 0 first as well.
        const bool twice = span.first == 0 && rules_.blockPages > 1;
        if (!twice && rules_.blockPages > 1) ++row;
        last = std::min(span.last, twice ? int64_t{1} : row);
    }
    for (; row <= last; ++row) {
        const Step visit = visitor.Visit(row);
        if (visit == Step::Stop || visit == Step::Finished) {
            end = visit == Step::Stop ? visitor.ending : Outcome{JobStatus::Done};
            return false;
        }
        if (visit != Step::TimedOut) {
            inARow_ = 0;
            if (rules_.visits == Visits::Pages) {
                ++job_.result.pages;
                job_.result.bytes += static_cast<uint64_t>(geometry_.PageTotal());
            }
        } else if (TimeOut()) {
            end = {JobStatus::NoAnswer, row};
            return false;
        }
        if (UpdateDue(row, visit)) progress.Update(static_cast<int32_t>(row));
        if (visit == Step::Passed) break;  // the visitor is done with the block
        if (rules_.visits != Visits::Pages) continue;
        progress.Tick(row - rows_.first + 1);
        if (progress.StopRequested() && row < rows_.last) {
            if (rules_.blueOnInterrupt) log_.Blue();
            end = {JobStatus::Interrupted, row + 1};
            return false;
        }
    }
    return true;
}

Outcome ChipWalk::Run(WalkVisitor& visitor) {
    const auto start = std::chrono::steady_clock::now();
    const Outcome end = Blocks(visitor);
    job_.result.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return end;
}

Outcome ChipWalk::Blocks(WalkVisitor& visitor) {
    const BlockSpans spans(rows_, rules_.blockPages);
    const bool pageUnits = rules_.visits == Visits::Pages;
    ProgressSink& progress = job_.progress;
    for (int64_t b = spans.FirstBlock(); b <= spans.LastBlock(); ++b) {
        const BlockSpan span = spans.Span(b);
        Outcome end{JobStatus::Done};
        const Step step = OpenBlock(visitor, span, static_cast<size_t>(b - spans.FirstBlock()), end);
        if (step == Step::Stop) return end;
        ++job_.result.blocks;
        if (step == Step::Go && rules_.visits != Visits::None) {
            if (!VisitRows(visitor, span, end)) return end;
            if (pageUnits) continue;  // each page has had its tick
        } else if (step == Step::Go) {
            // A walk of marks alone moves the dialog where a page walk
            // would: at the block that holds a row of the cadence.
            const int64_t every = rules_.updateEvery;
            if (span.first + ((1 - span.first % every) + every) % every <= span.last)
                progress.Update(static_cast<int32_t>(span.first));
        }
        progress.Tick(pageUnits ? span.last - rows_.first + 1 : b - spans.FirstBlock() + 1);
        if (!pageUnits && progress.StopRequested() && b < spans.LastBlock()) {
            if (rules_.blueOnInterrupt) log_.Blue();
            return {JobStatus::Interrupted, b + 1};
        }
    }
    return {JobStatus::Done};
}
