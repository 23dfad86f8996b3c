// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// What a run tells the desktop beyond the progress window, for a user who
// looks elsewhere: the percentage in the title of the window that runs it,
// the progress on the task bar, and a notification of what finished when a
// long run ends while the user works in another program. Also the texts
// that say what a run made.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>

class QWidget;

class TRunNotices {
public:
    // A run of LongRun or more is announced when it ends unattended.
    explicit TRunNotices(std::chrono::milliseconds LongRun = std::chrono::seconds(10));
    TRunNotices(const TRunNotices&) = delete;
    TRunNotices& operator=(const TRunNotices&) = delete;

    // A run begins in Window, whose title shows its percentage until it ends.
    void RunStarted(QWidget& Window);
    // Only a new whole percent costs more than a comparison, so this may be
    // called at any rate; what the desktop sees changes at most once a second.
    void RunProgress(double Fraction) {
        if (Fraction >= NextPercentAt)
            PercentReached(Fraction);
    }
    // The run has ended, before any completion or error box.
    void RunEnded();
    // Tells the desktop what finished, once the run's result is known: a
    // notification when the run that has just ended took LongRun or more and
    // ended while no window of the program was active. Summary says what the
    // run made, or the error's message with Failed.
    void Announce(const QString& Summary, bool Failed);

    // "film.mkv: split into 7 pieces", for the base file File.
    [[nodiscard]] static QString SplitSummary(const std::string& File, int64_t Pieces);
    // "film.mkv: joined from 7 pieces".
    [[nodiscard]] static QString JoinSummary(const std::string& File, int64_t Pieces);
    // The names of Files, then Result: "a.bin, b.bin: Files are equal".
    [[nodiscard]] static QString ResultSummary(std::initializer_list<std::string> Files,
                                               const std::string& Result);
    // The completion message's button that opens the folder of the result.
    [[nodiscard]] static QString OpenFolderText();

private:
    void PercentReached(double Fraction);
    void ShowPercent();
    void SendLauncherEntry(const QVariantMap& Properties) const;

    const std::chrono::milliseconds LongRun;
    QPointer<QWidget> Window;
    QString WindowTitle;
    double NextPercentAt = std::numeric_limits<double>::infinity();
    int Percent = 0;
    // What the title and the task bar show; -1 before the first showing.
    int ShownPercent = -1;
    // Holds the next showing back until a second after the last one.
    QTimer Pace;
    QElapsedTimer RunTime;
    // A long run ended unattended, and its result is not told yet.
    bool Unannounced = false;
};
