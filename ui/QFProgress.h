// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The small borderless window that shows a status, a line with the bytes
// done, the speed, the time left and the piece, a bar and a Stop button
// while an operation runs. It reads the run's counts when the controller
// asks, a few times a second, on the windows' own thread.
#pragma once

#include "QProgressEstimate.h"

#include <QElapsedTimer>
#include <QWidget>

#include <memory>
#include <string>

namespace Ui {
class FormProgress;
}
struct TProgressCounts;

class TFormProgress : public QWidget {
    Q_OBJECT

public:
    explicit TFormProgress(QWidget* Parent = nullptr);
    ~TFormProgress() override;

    // Shows Status and the bar at Fraction, and the window if it is hidden.
    void ShowProgress(const std::string& Status, long double Fraction);
    // A run begins: the line starts empty, and the run's clock at 0.
    void BeginRun();
    // Shows what the counts of the run say: the bar, and the line at most
    // once a second, so that a screen reader reading it is not flooded.
    void ShowCounts(const TProgressCounts& Counts);
    void HideProgress();
    void SetStatus(const QString& Text);
    // Sets the bar to the fraction in percent, rounded half to even and held
    // within 0 to 100; returns whether the bar moved.
    bool SetFraction(long double Fraction);
    // The bar position that a fraction gives.
    [[nodiscard]] static int FractionToPosition(long double Fraction);

    [[nodiscard]] QString Status() const;
    [[nodiscard]] QString Line() const;
    [[nodiscard]] int Position() const;

signals:
    // The user asked to stop the run: the Stop button, Escape or a close.
    void StopAsked();

protected:
    void showEvent(QShowEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    void FormShow();
    void FormDeactivate();

    std::unique_ptr<Ui::FormProgress> ui;
    TProgressEstimate Estimate;
    // The phase and its subject that the line shows.
    int ShownPhase = -1;
    QString ShownSubject;
    // Since the run began, and since the line last changed.
    QElapsedTimer SinceBegin;
    QElapsedTimer SinceLine;
};
