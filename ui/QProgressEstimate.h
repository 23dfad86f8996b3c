// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The line that the progress window shows under its status while a run goes
// on: the bytes done of the total, the speed over the last seconds, the time
// left as people say it, and the piece with its folder where the pieces lie
// in several. Fed with the run's counts as they
// come, it says nothing it cannot know: no speed before a second has passed,
// no time left in the first seconds or while nothing moves, a speed that
// starts afresh after a stall, and a time left that does not flip between
// two values where they meet.
#pragma once

#include <QString>

#include <cstdint>
#include <deque>

class TProgressEstimate {
public:
    // What a run had done Seconds after it began.
    struct TSample {
        double Seconds = 0.0;
        int64_t Done = 0;
        int64_t Total = 0;
        int64_t Piece = 0;
        int64_t Pieces = 0;
        bool Storing = false;
        // The folder that the piece comes from, where the pieces lie in several.
        QString From = {};
    };

    // Takes the next sample of the run, later than the one before, and says
    // what the line reads now.
    [[nodiscard]] QString Line(const TSample& Sample);

    // A size in decimal units (1 kB is 1000 bytes) in the user's locale:
    // "512 bytes", "1.2 GB", "25 MB".
    [[nodiscard]] static QString Size(int64_t Bytes);

private:
    // The time left in words, as it stands once Seconds are left.
    [[nodiscard]] QString TimeLeft(double Seconds);

    // One sample a second at most, the latest ones: the speed is taken over them.
    struct TPoint {
        double Seconds;
        int64_t Done;
    };
    std::deque<TPoint> Points;
    // When the count last moved, and to what; when the sample before came.
    double Moved = 0.0;
    int64_t LastDone = -1;
    double Before = 0.0;
    // The time left that the line shows, and the stretch of seconds left
    // for which it stays.
    QString Left;
    double LeftFrom = 0.0;
    double LeftTo = 0.0;
};
