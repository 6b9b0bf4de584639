// The best clear time of each layout, kept between games in a small text
// file in the data folder ($XDG_DATA_HOME/vromdash/best-times):
//
//   # Vromdash best clear times, in game time (physics steps of 1/60 s)
//   vromdash-best-times 1
//   default 13266 3:41.1
//   level-2 12000 3:20.0
//   end
//
// Lines starting with '#' and empty lines are ignored. The first other line
// names the format and its version; then at most one line per layout, each
// with its name, the time as a whole number of physics steps (exact: game
// time is steps times 1/60 s) and the same time as m:ss.t for people; then
// "end", so that a file cut short is told from one without a layout. Only
// the step count is read: the clock text is never trusted.
#pragma once

#include <array>
#include <iosfwd>
#include <optional>
#include <string>

#include "storage/atomic_file.h"

constexpr int BEST_TIMES_FORMAT = 1;
// One clear in more than 100 hours of game time is not believed.
constexpr long MOST_BEST_STEPS = 100L * 60 * 60 * 60;

// Level 2 has its own layout; every other level number plays the default one.
enum class LayoutKind { Default = 0, LevelTwo = 1 };
constexpr int LAYOUT_KINDS = 2;

LayoutKind layoutKindFor(int levelNumber);
// "default" or "level-2", as the file names them.
const char* layoutName(LayoutKind layout);

// Game time after `steps` physics steps as m:ss.t ("1:23.4"); the tenths are
// truncated, so the clock never shows a time not yet reached. Minutes go on
// past 59. Negative counts read as 0:00.0.
std::string clockText(long steps);

using BestSteps = std::array<std::optional<long>, LAYOUT_KINDS>;

// The file's text for these best times.
std::string bestTimesText(const BestSteps& best);
// Reads the file's text; false for anything but a whole file of this
// format, with the line and the reason in `problem` and `best` left empty.
bool parseBestTimes(const std::string& text, BestSteps& best, std::string& problem);

// $XDG_DATA_HOME/vromdash/best-times (or its fallback); "" when there is no
// data folder.
std::string bestTimesPath();

class BestTimes {
public:
    std::string path;  // the file; "" keeps best times for this run only
    BestSteps best;    // steps, per LayoutKind
    // False when the file must not be written: there is no path, or a
    // damaged file could not be moved aside and stays where it was.
    bool writable = true;
    FileOperations files;  // the system calls the writes use

    std::optional<long> bestFor(LayoutKind layout) const;

    // Reads the file. A missing file means no best times, silently. One that
    // cannot be read or parsed costs one line on `console`, gives no best
    // times and is renamed aside, so it is never overwritten.
    void load(std::ostream& console);
    // A clear of `layout` in `steps`: true when it beats the best (or is the
    // first), and then the file is rewritten atomically. A write that fails
    // costs one line; the new best still holds for this run.
    bool offer(LayoutKind layout, long steps, std::ostream& console);
};
