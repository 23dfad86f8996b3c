// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Speed, time left and the progress line.
#include "QProgressEstimate.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// The speed is taken over the last ten seconds or so: long enough that a
// medium's pauses do not make the time left jump, short enough to follow a
// medium that slows down.
constexpr double SampleEvery = 1.0;
constexpr size_t MostPoints = 10;
// Nothing is said of the time left before this, nor once nothing has moved for as long.
constexpr double QuietSeconds = 5.0;
// The time left needs a speed taken over this many seconds at least: at the
// start of a run, the first five, and after a stall, the first three since.
constexpr double SettleSeconds = 3.0;
// A time left stays until the seconds left leave its stretch by a quarter of its width.
constexpr double Slack = 0.25;

// The words for a time left of Seconds, and the stretch of seconds that they cover.
struct TWords {
    QString Text;
    double From;
    double To;
};

TWords WordsFor(double Seconds) {
    const double Minutes = Seconds / 60.0;
    if (Minutes < 1.0)
        return {QStringLiteral("less than a minute"), 0.0, 60.0};
    // Minute by minute up to ten, then five by five up to the hour, then by hours.
    if (Minutes < 9.5) {
        const long Count = std::max(1L, std::lround(Minutes));
        return {Count == 1 ? QStringLiteral("about a minute")
                           : QStringLiteral("about %1 minutes").arg(Count),
                std::max(60.0, (Count - 0.5) * 60.0), (Count + 0.5) * 60.0};
    }
    if (Minutes < 57.5) {
        const long Count = std::lround(Minutes / 5.0) * 5;
        return {QStringLiteral("about %1 minutes").arg(Count), (Count - 2.5) * 60.0,
                (Count + 2.5) * 60.0};
    }
    const long Hours = std::max(1L, std::lround(Minutes / 60.0));
    return {Hours == 1 ? QStringLiteral("about an hour")
                       : QStringLiteral("about %1 hours").arg(Hours),
            Hours == 1 ? 57.5 * 60.0 : (Hours - 0.5) * 3600.0, (Hours + 0.5) * 3600.0};
}

} // namespace

QString TProgressEstimate::Size(int64_t Bytes) {
    // One decimal while it says something (1.2 GB), none beyond (25 MB).
    int Unit = 0;
    for (double Value = static_cast<double>(Bytes); Value >= 999.95 && Unit < 6; Value /= 1000.0)
        ++Unit;
    const double InUnit = static_cast<double>(Bytes) / std::pow(1000.0, Unit);
    return QLocale().formattedDataSize(Bytes, InUnit < 9.95 ? 1 : 0, QLocale::DataSizeSIFormat);
}

QString TProgressEstimate::TimeLeft(double Seconds) {
    const double Margin = Slack * (LeftTo - LeftFrom);
    if (Left.isEmpty() || Seconds < LeftFrom - Margin || Seconds >= LeftTo + Margin) {
        const TWords Words = WordsFor(Seconds);
        Left = Words.Text;
        LeftFrom = Words.From;
        LeftTo = Words.To;
    }
    return Left;
}

QString TProgressEstimate::Line(const TSample& Sample) {
    if (Sample.Storing)
        return QStringLiteral("Finishing writes to the drive...");
    const int64_t Done = std::clamp<int64_t>(Sample.Done, 0, Sample.Total);
    if (Done != LastDone) {
        // After a stall the speed is taken afresh from where the count moved
        // again: an average over the stall would tell a fraction of the
        // speed, and hours left, for many seconds.
        if (LastDone >= 0 && Sample.Seconds - Moved >= QuietSeconds)
            Points.assign(1, {Before, LastDone});
        LastDone = Done;
        Moved = Sample.Seconds;
    }
    Before = Sample.Seconds;
    if (Points.empty() || Sample.Seconds - Points.back().Seconds >= SampleEvery) {
        Points.push_back({Sample.Seconds, Done});
        if (Points.size() > MostPoints)
            Points.pop_front();
    }
    QStringList Parts{QStringLiteral("%1 of %2").arg(Size(Done), Size(Sample.Total))};
    const double Span = Sample.Seconds - Points.front().Seconds;
    const bool Stalled = Sample.Seconds - Moved >= QuietSeconds;
    bool TellsTimeLeft = false;
    if (Stalled) {
        Parts << QStringLiteral("stalled");
    } else if (Span >= SampleEvery) {
        const double Speed = static_cast<double>(Done - Points.front().Done) / Span;
        Parts << Size(std::llround(Speed)) + QStringLiteral("/s");
        TellsTimeLeft = Sample.Seconds >= QuietSeconds && Span >= SettleSeconds && Speed > 0.0;
        if (TellsTimeLeft)
            Parts << TimeLeft(static_cast<double>(Sample.Total - Done) / Speed) +
                         QStringLiteral(" left");
    }
    // A time left that comes back is taken afresh.
    if (!TellsTimeLeft)
        Left.clear();
    if (Sample.Pieces > 0)
        Parts << QStringLiteral("piece %1 of %2")
                     .arg(QLocale().toString(Sample.Piece), QLocale().toString(Sample.Pieces));
    if (!Sample.From.isEmpty())
        Parts << QStringLiteral("from ") + Sample.From;
    return Parts.join(QStringLiteral(", "));
}
