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
#include <string>

class QWidget;

class TRunNotices {
public:
    // A run of LongRun or more is announced when it ends unattended.
    explicit TRunNotices(std::chrono::milliseconds LongRun = std::chrono::seconds(10));
    TRunNotices(const TRunNotices&) = delete;
    TRunNotices& operator=(const TRunNotices&) = delete;

    // A run begins in Window, whose title shows its percentage until it
    // ends. Doing says what it does, as a failure's notice names it:
    // "Splitting film.mkv".
    void RunStarted(QWidget& Window, const QString& Doing);
    // The percentage that the progress bar shows, at any rate: from a second
    // after the run began, the title and the task bar show each new one.
    void RunProgress(int Reached);
    // The run has ended, before any completion or error box.
    void RunEnded();
    // Tells the desktop what finished, once the run's result is known: a
    // notification when the run that has just ended took LongRun or more and
    // ended while no window of the program was active. Text says what the
    // run made; with Failed it is the error's message, under the title
    // "Splitting film.mkv failed".
    void Announce(const QString& Text, bool Failed);

    // "film.mkv: split into 7 pieces", for the base file File.
    [[nodiscard]] static QString SplitSummary(const std::string& File, int64_t Pieces);
    // "film.mkv: joined from 7 pieces".
    [[nodiscard]] static QString JoinSummary(const std::string& File, int64_t Pieces);
    // The names of Files, then Result: "a.bin, b.bin: Files are equal".
    [[nodiscard]] static QString ResultSummary(std::initializer_list<std::string> Files,
                                               const std::string& Result);
    // The completion message's button that opens the folder of the result.
    [[nodiscard]] static QString OpenFolderText();
    // The name of File without its folder, as the texts above name it.
    [[nodiscard]] static QString FileName(const std::string& File);

private:
    void ShowPercent();
    void SendLauncherEntry(const QVariantMap& Properties) const;

    const std::chrono::milliseconds LongRun;
    QPointer<QWidget> Window;
    QString WindowTitle;
    QString Doing;
    int Percent = 0;
    // What the title and the task bar show; -1 before the first showing.
    int ShownPercent = -1;
    // Holds the first showing back until a second after the run began.
    QTimer Pace;
    QElapsedTimer RunTime;
    // A long run ended unattended, and its result is not told yet.
    bool Unannounced = false;
};
