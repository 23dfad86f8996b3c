// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The small borderless window that shows a status line and a bar while an
// operation runs. Every engine report passes through ShowProgress, which
// also lets the user interface process its pending events.
#pragma once

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
    void SetStatus(const QString& Text);
    // Sets the bar to the fraction in percent, rounded half to even and held within 0 to 100.
    void SetFraction(long double Fraction);
    // The bar position that a fraction gives.
    [[nodiscard]] static int FractionToPosition(long double Fraction);

    [[nodiscard]] QString Status() const;
    [[nodiscard]] int Position() const;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void FormShow();
    void FormDeactivate();

    std::unique_ptr<Ui::FormProgress> ui;
};
