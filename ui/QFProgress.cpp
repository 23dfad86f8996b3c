// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Progress window.
#include "QFProgress.h"

#include "QFParvoxBase.h"
#include "ui_QFProgress.h"

#include <QApplication>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

#include <cmath>

TFormProgress::TFormProgress(QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus),
      ui(std::make_unique<Ui::FormProgress>()) {
    ui->setupUi(this);
    // The operation window keeps the keyboard while the progress window is up.
    setAttribute(Qt::WA_ShowWithoutActivating);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &TFormProgress::FormDeactivate);
}

TFormProgress::~TFormProgress() = default;

void TFormProgress::ShowProgress(const std::string& Status, long double Fraction) {
    static const QString DefaultStatus = QStringLiteral("Working...");
    setWindowTitle(TFormParvoxBase::ApplicationTitle());
    SetStatus(Status.empty() ? DefaultStatus : QString::fromStdString(Status));
    SetFraction(Fraction);
    if (!isVisible()) {
        show();
        raise();
    }
    QApplication::processEvents();
}

void TFormProgress::SetStatus(const QString& Text) {
    ui->LabelStatus->setText(Text);
}

int TFormProgress::FractionToPosition(long double Fraction) {
    // nearbyint rounds an exact half to the even neighbour.
    const long double Percent = std::nearbyint(Fraction * 100.0L);
    if (Percent > 100.0L)
        return 100;
    if (Percent >= 0.0L)
        return static_cast<int>(Percent);
    return 0;
}

void TFormProgress::SetFraction(long double Fraction) {
    ui->ProgressBar->setValue(FractionToPosition(Fraction));
}

QString TFormProgress::Status() const {
    return ui->LabelStatus->text();
}

int TFormProgress::Position() const {
    return ui->ProgressBar->value();
}

void TFormProgress::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    if (!Event->spontaneous())
        FormShow();
}

void TFormProgress::FormShow() {
    const QRect Label = ui->LabelStatus->geometry();
    QRect Bar = ui->ProgressBar->geometry();
    Bar.setLeft(Label.left());
    Bar.setWidth(Label.width());
    ui->ProgressBar->setGeometry(Bar);
    setFixedSize(Label.width() + 2 * Label.left(), Bar.top() + Bar.height() + Label.top());
    ui->Panel1->setGeometry(rect());
    QRect Frame = frameGeometry();
    Frame.moveCenter(QGuiApplication::primaryScreen()->availableGeometry().center());
    move(Frame.topLeft());
}

void TFormProgress::FormDeactivate() {
    // Another window became active: stay above it.
    if (isVisible())
        raise();
}
