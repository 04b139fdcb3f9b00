#include "cli/Console.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/Report.h"
#include "cli/Stop.h"

namespace {

const char* Sgr(LogColour colour) {
    switch (colour) {
        case LogColour::Red: return "\033[31m";
        case LogColour::Blue: return "\033[34m";
        case LogColour::Green: return "\033[32m";
    }
    return "";
}

constexpr auto REDRAW_EVERY = std::chrono::milliseconds(100);

bool ColoursWanted() {
    // NO_COLOR, when set to anything but empty, turns colours off.
    const char* noColor = std::getenv("NO_COLOR");
    return isatty(STDOUT_FILENO) && (noColor == nullptr || *noColor == '\0');
}

}  // namespace

void ConsoleLog::Append(const char* piece) {
    // A name from a chip or a chip file may hold control characters.
    const std::string visible = VisibleLog(piece);
    const char* text = visible.c_str();
    const size_t length = visible.size();
    if (length == 0) return;
    if (bar_ != nullptr) bar_->StepAside();
    if (colours_ && coloured_) {
        std::fputs(Sgr(colour_), out_);
        std::fwrite(text, 1, length, out_);
        std::fputs("\033[0m", out_);
    } else {
        std::fwrite(text, 1, length, out_);
    }
    atLineStart_ = text[length - 1] == '\n';
}

void ConsoleProgress::Begin(const char* /*title*/, const char* message, int32_t /*maximum*/, int64_t units,
                            int64_t unitBytes) {
    active_ = true;
    message_ = message;
    units_ = units;
    unitBytes_ = unitBytes;
    done_ = 0;
    start_ = Clock::now();
    lastDraw_ = start_ - REDRAW_EVERY;
}

void ConsoleProgress::Tick(int64_t unitsDone) {
    done_ = unitsDone;
    if (!draw_ || !active_) return;
    const Clock::time_point now = Clock::now();
    if (now - lastDraw_ >= REDRAW_EVERY) Draw(now);
}

bool ConsoleProgress::StopRequested() { return StopSignalled(); }

void ConsoleProgress::End() {
    StepAside();
    active_ = false;
}

void ConsoleProgress::StepAside() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    shown_ = false;
}

void ConsoleProgress::Draw(Clock::time_point now) {
    // The log is in the middle of a line: the bar would end up inside it.
    if (sharedWith_ != nullptr && !sharedWith_->AtLineStart()) return;
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double share = units_ > 0 ? static_cast<double>(done_) / static_cast<double>(units_) : 0.0;
    constexpr int BAR_WIDTH = 20;
    char bar[BAR_WIDTH + 1];
    const int filled = static_cast<int>(share * BAR_WIDTH);
    for (int i = 0; i < BAR_WIDTH; ++i) bar[i] = i < filled ? '#' : '-';
    bar[BAR_WIDTH] = '\0';

    char line[160];
    int n = std::snprintf(line, sizeof line, "\r%s [%s] %5.1f%% %lld/%lld %s", message_.c_str(), bar,
                          100.0 * share, static_cast<long long>(done_), static_cast<long long>(units_),
                          unitBytes_ > 0 ? "pages" : "blocks");
    if (unitBytes_ > 0 && seconds > 0 && n > 0 && n < static_cast<int>(sizeof line))
        n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), " %.1f MB/s",
                           static_cast<double>(done_) * static_cast<double>(unitBytes_) / seconds / 1e6);
    if (done_ > 0 && n > 0 && n < static_cast<int>(sizeof line)) {
        const long left = static_cast<long>(seconds * static_cast<double>(units_ - done_) / static_cast<double>(done_));
        n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), " %ld:%02ld left", left / 60, left % 60);
    }
    std::fputs(line, stderr);
    std::fputs("\033[K", stderr);
    shown_ = true;
}

Console::Console(bool quiet, bool logToErrors)
    : log(!logToErrors && ColoursWanted(), logToErrors ? stderr : stdout),
      progress(!quiet && isatty(STDERR_FILENO), logToErrors || isatty(STDOUT_FILENO) ? &log : nullptr) {
    if ((logToErrors || isatty(STDOUT_FILENO)) && !quiet && isatty(STDERR_FILENO)) log.ShareTerminalWith(&progress);
}
