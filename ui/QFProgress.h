// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The small borderless window that shows a status line, a bar and a Stop
// button while an operation runs. Every engine report passes through
// ShowProgress, which also lets the user interface process its pending
// events every few milliseconds.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include <memory>
#include <string>

namespace Ui {
class FormProgress;
}

class TFormProgress : public QWidget {
    Q_OBJECT

public:
    explicit TFormProgress(QWidget* Parent = nullptr);
    ~TFormProgress() override;

    void ShowProgress(const std::string& Status, long double Fraction);
    // Hides the window at the end of a run, after the events that the last
    // reports left pending.
    void HideProgress();
    void SetStatus(const QString& Text);
    // Sets the bar to the fraction in percent, rounded half to even and held
    // within 0 to 100; returns whether the bar moved.
    bool SetFraction(long double Fraction);
    // The bar position that a fraction gives.
    [[nodiscard]] static int FractionToPosition(long double Fraction);

    [[nodiscard]] QString Status() const;
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
    void ProcessEvents();

    std::unique_ptr<Ui::FormProgress> ui;
    std::string ShownStatus;
    // The fractions, bounds excluded, that surely round to the bar's position.
    long double StretchLow = 0.0L;
    long double StretchHigh = 0.0L;
    QElapsedTimer SinceEvents;
    int ReportsUnseen = 0;
    bool EventsPending = false;
    bool BarMoved = false;
};
