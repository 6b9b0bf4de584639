// What a replay prints, hidden (the replay tool) or watched (the tool's and
// the game's --watch), so that the two can be held against each other line
// by line: the hashes of every body every `every` frames and after the last,
// where a watcher stopped, and where the car ended.
#pragma once

#include <iosfwd>

struct ReplayReport {
    std::ostream& out;
    int every = 60;
    bool bodies = false;  // each body's own hash under the frame's
    int last = 0;         // the recording's frames

    // After frame `frame` (from 1): the hashes when they are due.
    void frameDone(int frame) const;
    // The replay has run `frames` frames: frame 0's hashes for a recording
    // without any, the hashes of the frame a watcher stopped at (unless just
    // printed) and a line that says so, then where the car ended.
    void stopped(int frames) const;
    // The line for a recording that stops before its end marker.
    void endedEarly() const;
};
