// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Progress window.
#include "QFProgress.h"

#include "QColourScheme.h"
#include "QFParvoxBase.h"
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
    // Engines report once per 1024 bytes: a report updates only what changed
    // and lets pending events run only now and then, which is all the eye and
    // the window system need. Most reports change nothing and end here.
    static constexpr int ReportsPerClockRead = 64;
    if (Fraction > StretchLow && Fraction < StretchHigh && Status == ShownStatus && isVisible() &&
        ++ReportsUnseen % ReportsPerClockRead != 0) {
        EventsPending = true;
        return;
    }
    static constexpr int EventsEveryMs = 15;
    const bool Shown = !isVisible();
    if (Shown)
        setWindowTitle(TFormParvoxBase::ApplicationTitle());
    if (Shown || Status != ShownStatus) {
        ShownStatus = Status;
        static const QString DefaultStatus = QStringLiteral("Working...");
        SetStatus(Status.empty() ? DefaultStatus : QString::fromStdString(Status));
    }
    SetFraction(Fraction);
    if (Shown) {
        // The operation window runs modal, and Qt passes no input to any
        // other window but one that belongs to it: the Stop button would be dead.
        create();
        if (const QWidget* Modal = QApplication::activeModalWidget())
            windowHandle()->setTransientParent(Modal->windowHandle());
        show();
        raise();
    } else if (!SinceEvents.hasExpired(EventsEveryMs)) {
        EventsPending = true;
        return;
    }
    ProcessEvents();
}

void TFormProgress::HideProgress() {
    // The last reports may have left events unprocessed: they are handled
    // now, still inside the run, so that no key or click of the run acts after it.
    if (EventsPending)
        ProcessEvents();
    hide();
    ui->ProgressBar->setUpdatesEnabled(true);
    // The window system's window goes with the run. A run that fails at once
    // hides the window in the instant it showed it, while the window manager
    // may still be taking it on; the manager may then map or move it late,
    // and the next run would show it wherever that left it. A new one is
    // made, centred before it maps, at the next show.
    destroy();
}

void TFormProgress::ProcessEvents() {
    // A progress bar repaints itself at once whenever it moves, and sends the
    // picture to the X server each time; between these moments it only
    // takes the new position, and paints the latest one here, if it moved.
    if (BarMoved)
        ui->ProgressBar->setUpdatesEnabled(true);
    BarMoved = false;
    QApplication::processEvents();
    // The first paint comes once the window system shows the window, which
    // may be after the first event rounds: the bar must not miss it.
    if (windowHandle() != nullptr && windowHandle()->isExposed())
        ui->ProgressBar->setUpdatesEnabled(false);
    SinceEvents.start();
    ReportsUnseen = 0;
    EventsPending = false;
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
    // Most reports stay within the stretch of fractions that round to the
    // bar's position; only the others are rounded, which costs far more than
    // a comparison. The margin keeps the stretch clear of rounding errors.
    static constexpr long double Margin = 1e-12L;
    if (Fraction > StretchLow && Fraction < StretchHigh)
        return false;
    const int Position = FractionToPosition(Fraction);
    StretchLow = (Position - 0.5L) / 100.0L + Margin;
    StretchHigh = (Position + 0.5L) / 100.0L - Margin;
    if (Position == ui->ProgressBar->value())
        return false;
    ui->ProgressBar->setValue(Position);
    BarMoved = true;
    return true;
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
