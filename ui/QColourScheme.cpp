// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The program's colours, drawn for the window's palette.
#include "QColourScheme.h"

#include <QApplication>
#include <QColor>
#include <QEvent>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

constexpr double TextRatio = 4.5;
constexpr double LargeTextRatio = 3.0;
// A colour that has to be redrawn aims at the enhanced level, so that it
// reads comfortably and not just barely.
constexpr double ComfortRatio = 7.0;

const QColor Navy(0x00, 0x00, 0x80);

double RelativeLuminance(const QColor& Colour) {
    const auto Linear = [](float Channel) {
        return Channel <= 0.04045 ? Channel / 12.92 : std::pow((Channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * Linear(Colour.redF()) + 0.7152 * Linear(Colour.greenF()) +
           0.0722 * Linear(Colour.blueF());
}

// Whether white stands out more than black from Background.
bool IsDark(const QColor& Background) {
    return TColourScheme::ContrastRatio(Qt::white, Background) >
           TColourScheme::ContrastRatio(Qt::black, Background);
}

// Design itself where it reaches Least against Background; otherwise the
// same hue, lightened on a dark background or darkened on a light one, just
// far enough to reach Goal, or as far as it goes.
QColor Readable(const QColor& Design, const QColor& Background, double Least, double Goal) {
    if (TColourScheme::ContrastRatio(Design, Background) >= Least)
        return Design;
    const float Start = Design.lightnessF();
    const float End = IsDark(Background) ? 1.0F : 0.0F;
    constexpr int Steps = 256;
    QColor Colour = Design;
    for (int Step = 1; Step <= Steps; ++Step) {
        const float Lightness = Start + (End - Start) * static_cast<float>(Step) / Steps;
        Colour = QColor::fromHslF(Design.hslHueF(), Design.hslSaturationF(), Lightness);
        if (TColourScheme::ContrastRatio(Colour, Background) >= Goal)
            break;
    }
    return Colour;
}

void Paint(QWidget& Window) {
    const QPalette& Palette = Window.palette();
    const QColor Background = Palette.color(QPalette::Window);
    const QColor Accent = Readable(Navy, Background, TextRatio, ComfortRatio);
    // On a light face a black shadow and a white emboss set the titles off.
    // On a dark one neither would show: both take a deeper tone of the
    // titles' colour that still stands out from the face.
    const bool Dark = IsDark(Background);
    const QColor Shadow =
        Dark ? Readable(Navy, Background, LargeTextRatio, LargeTextRatio) : QColor(Qt::black);
    const QColor Highlight = Dark ? Shadow : QColor(Qt::white);
    const QString Sheet = QStringLiteral("[tone=\"accent\"] { color: %1; }\n"
                                         "[tone=\"shadow\"] { color: %2; }\n"
                                         "[tone=\"highlight\"] { color: %3; }\n"
                                         "QProgressBar::chunk { background: %1; }")
                              .arg(Accent.name(), Shadow.name(), Highlight.name());
    // Setting it again would restyle every child for nothing; and the
    // restyling may itself report a change of palette.
    if (Window.styleSheet() != Sheet)
        Window.setStyleSheet(Sheet);
}

// Paints a window again whenever its palette changes, as when the desktop
// turns from a light face to a dark one while the program runs.
class TPaletteWatch : public QObject {
public:
    static void Install(QWidget& Window) {
        static TPaletteWatch* Watch = new TPaletteWatch(qApp);
        Window.installEventFilter(Watch);
    }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::PaletteChange && Watched->isWidgetType())
            Paint(*static_cast<QWidget*>(Watched));
        return false;
    }

private:
    using QObject::QObject;
};

} // namespace

void TColourScheme::Apply(QWidget& Window) {
    Paint(Window);
    TPaletteWatch::Install(Window);
}

double TColourScheme::ContrastRatio(const QColor& First, const QColor& Second) {
    const auto [Darker, Lighter] =
        std::minmax({RelativeLuminance(First), RelativeLuminance(Second)});
    return (Lighter + 0.05) / (Darker + 0.05);
}
