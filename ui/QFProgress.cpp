// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Progress window.
#include "QFProgress.h"

#include "QColourScheme.h"
#include "QFParvoxBase.h"
#include "classParvoxBase.h"
#include "ui_QFProgress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QShowEvent>
#include <QWindow>

#include <cmath>

TFormProgress::TFormProgress(QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      ui(std::make_unique<Ui::FormProgress>()) {
    ui->setupUi(this);
    TColourScheme::Apply(*this);
    // The operation window keeps the keyboard while the progress window is
    // up, until the user activates the progress window to stop the run.
    setAttribute(Qt::WA_ShowWithoutActivating);
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &TFormProgress::FormDeactivate);
    connect(ui->ButtonStop, &QPushButton::clicked, this, &TFormProgress::StopAsked);
}

TFormProgress::~TFormProgress() = default;

void TFormProgress::ShowProgress(const std::string& Status, long double Fraction) {
    static const QString DefaultStatus = QStringLiteral("Working...");
    SetStatus(Status.empty() ? DefaultStatus : QString::fromStdString(Status));
    SetFraction(Fraction);
    if (isVisible())
        return;
    setWindowTitle(TFormParvoxBase::ApplicationTitle());
    // The operation window runs modal, and Qt passes no input to any
    // other window but one that belongs to it: the Stop button would be dead.
    create();
    if (const QWidget* Modal = QApplication::activeModalWidget())
        windowHandle()->setTransientParent(Modal->windowHandle());
    show();
    raise();
}

void TFormProgress::BeginRun() {
    Estimate = TProgressEstimate();
    ShownPhase = -1;
    ShownSubject.clear();
    ui->LabelLine->clear();
    SinceBegin.start();
    SinceLine.invalidate();
}

void TFormProgress::ShowCounts(const TProgressCounts& Counts) {
    const int Phase = Counts.Phase.load(std::memory_order_relaxed);
    const bool Storing = Phase == TProgressCounts::Storing;
    const QString Subject = QString::fromStdString(Counts.Subject());
    SetFraction(Counts.Fraction());
    // A phase that counts bytes of its own takes its speed afresh.
    if (Phase != ShownPhase || Subject != ShownSubject) {
        ShownPhase = Phase;
        ShownSubject = Subject;
        Estimate = TProgressEstimate();
    }
    const auto Bytes = [&] {
        const bool OwnBytes = Phase == TProgressCounts::Recovering ||
                              Phase == TProgressCounts::Rebuilding ||
                              Phase == TProgressCounts::Verifying;
        return Estimate.Line({
            .Seconds = static_cast<double>(SinceBegin.elapsed()) / 1000.0,
            .Done = Counts.Done.load(std::memory_order_relaxed),
            .Total = Counts.Total.load(std::memory_order_relaxed),
            .Piece = OwnBytes ? 0 : Counts.Piece.load(std::memory_order_relaxed),
            .Pieces = OwnBytes ? 0 : Counts.Pieces.load(std::memory_order_relaxed),
            .Storing = Storing,
            .From = OwnBytes ? QString() : QString::fromStdString(Counts.Source()),
        });
    };
    // What the run waits for, where no bytes move; what it works on, with its bytes.
    QString Line;
    switch (Phase) {
    case TProgressCounts::Removing:
        Line = QStringLiteral("Removing the earlier pieces...");
        break;
    case TProgressCounts::Checking:
        Line = QStringLiteral("Checking the pieces...");
        break;
    case TProgressCounts::Recovering:
        Line = QStringLiteral("Computing recovery data%1... %2")
                   .arg(Subject.isEmpty() ? QString() : QStringLiteral(", ") + Subject, Bytes());
        break;
    case TProgressCounts::Rebuilding:
        Line = QStringLiteral("Rebuilding %1... %2").arg(Subject, Bytes());
        break;
    case TProgressCounts::Verifying:
        Line = QStringLiteral("Checking the joined file... %1").arg(Bytes());
        break;
    default:
        Line = Bytes();
    }
    static constexpr qint64 LineEveryMs = 1000;
    if (Line != ui->LabelLine->text() &&
        (!SinceLine.isValid() || SinceLine.hasExpired(LineEveryMs))) {
        ui->LabelLine->setText(Line);
        SinceLine.start();
    }
}

void TFormProgress::HideProgress() {
    hide();
    // The window system's window goes with the run. A run that fails at once
    // hides the window in the instant it showed it, while the window manager
    // may still be taking it on; the manager may then map or move it late,
    // and the next run would show it wherever that left it. A new one is
    // made, centred before it maps, at the next show.
    destroy();
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

bool TFormProgress::SetFraction(long double Fraction) {
    const int Position = FractionToPosition(Fraction);
    if (Position == ui->ProgressBar->value())
        return false;
    ui->ProgressBar->setValue(Position);
    return true;
}

QString TFormProgress::Status() const {
    return ui->LabelStatus->text();
}

QString TFormProgress::Line() const {
    return ui->LabelLine->text();
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
    // The margin under the Stop button equals the one above the status.
    const QRect Stop = ui->ButtonStop->geometry();
    setFixedSize(Label.width() + 2 * Label.left(), Stop.top() + Stop.height() + Label.top());
    ui->Panel1->setGeometry(rect());
    TFormParvoxBase::CenterOnScreen(*this);
}

void TFormProgress::keyPressEvent(QKeyEvent* Event) {
    if (Event->key() == Qt::Key_Escape)
        emit StopAsked();
    else
        QWidget::keyPressEvent(Event);
}

void TFormProgress::closeEvent(QCloseEvent* Event) {
    // The window goes when the run ends; a close asks for that.
    Event->ignore();
    emit StopAsked();
}

void TFormProgress::FormDeactivate() {
    // Another window became active: stay above it.
    if (isVisible())
        raise();
}
