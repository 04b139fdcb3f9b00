#include "jobs/Walk.h"

#include <algorithm>

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
    if (++inARow_ < rules_.timeOuts.inARowToStop) return false;
    if (rules_.timeOuts.stopLine) log_.Put(rules_.timeOuts.stopLine);
    if (rules_.timeOuts.blueOnStop) log_.Blue();
    return true;
}

bool ChipWalk::UpdateDue(int64_t row, Step step) const {
    if (rules_.updateEvery <= 1) return true;
    return step == Step::Go && row % rules_.updateEvery == 1;
}

Outcome ChipWalk::Run(WalkVisitor& visitor) {
    const BlockSpans spans(rows_, rules_.blockPages);
    const bool marks = rules_.readMarks || rules_.known != nullptr;
    const bool pageUnits = rules_.visits == Visits::Pages;
    ProgressSink& progress = job_.progress;
    for (int64_t b = spans.FirstBlock(); b <= spans.LastBlock(); ++b) {
        const BlockSpan span = spans.Span(b);
        // Units done once this block is behind the walk.
        const int64_t unitsAfter = pageUnits ? span.last - rows_.first + 1 : b - spans.FirstBlock() + 1;
        Step step = visitor.EnterBlock(span);
        bool marked = false;
        if (step == Step::Go && marks) {
            if (rules_.known) {
                marked = (*rules_.known)[static_cast<size_t>(b - spans.FirstBlock())];
            } else {
                const MarkCheck mark = ReadBlockMark(job_.chip, geometry_, b);
                if (mark == MarkCheck::NoAnswer) {
                    // A mark that cannot be read may be there: the block stays.
                    if (TimeOut()) return {JobStatus::NoAnswer, span.first};
                    step = Step::Passed;
                }
                marked = mark == MarkCheck::Marked;
            }
            if (map_ && step == Step::Go && (marked || rules_.noteGood))
                map_->Note(b, marked ? BlockState::Marked : BlockState::Good);
            if (marked && rules_.bad == BadBlockMode::Skip) log_.Numbered("Skip bad block [", b, "]\n");
            if (marked && rules_.bad == BadBlockMode::Pad) log_.Numbered("Pad bad block [", b, "]\n");
        }
        if (step == Step::Go) {
            step = visitor.Block(span, marked);
            if (marked && rules_.bad == BadBlockMode::Skip && step == Step::Go) step = Step::Passed;
        }
        if (step == Step::Stop) return visitor.ending;
        if (step == Step::Finished) return {JobStatus::Done};
        if (step == Step::Go && rules_.visits != Visits::None) {
            int64_t row = span.first;
            int64_t end = span.last;
            if (rules_.visits == Visits::EraseRows) {
                // The chip ignores the page bits of an erase address. The
                // window erases the second page of every block, and block 0,
                // when the walk starts there, at row 0 first as well.
                const bool twice = span.first == 0 && rules_.blockPages > 1;
                if (!twice && rules_.blockPages > 1) ++row;
                end = twice ? std::min<int64_t>(1, span.last) : row;
            }
            for (; row <= end && row <= span.last; ++row) {
                const Step visit = visitor.Visit(row);
                if (visit == Step::Stop) return visitor.ending;
                if (visit == Step::Finished) return {JobStatus::Done};
                if (visit == Step::TimedOut) {
                    if (TimeOut()) return {JobStatus::NoAnswer, row};
                } else {
                    inARow_ = 0;
                }
                if (UpdateDue(row, visit)) progress.Update(static_cast<int32_t>(row));
                if (visit == Step::Passed) break;  // the visitor is done with the block
                if (!pageUnits) continue;
                progress.Tick(row - rows_.first + 1);
                if (progress.StopRequested() && row < rows_.last) {
                    log_.Blue();
                    return {JobStatus::Interrupted, row + 1};
                }
            }
            if (pageUnits) continue;
        } else if (rules_.visits == Visits::None && step == Step::Go) {
            // A walk of marks alone moves the dialog where a page walk
            // would: at the block that holds a row of the cadence.
            const int64_t due = span.first + ((1 - span.first % rules_.updateEvery) + rules_.updateEvery) %
                                                 rules_.updateEvery;
            if (due <= span.last) progress.Update(static_cast<int32_t>(span.first));
        }
        progress.Tick(unitsAfter);
        if (!pageUnits && progress.StopRequested() && b < spans.LastBlock()) {
            log_.Blue();
            return {JobStatus::Interrupted, b + 1};
        }
    }
    return {JobStatus::Done};
}
