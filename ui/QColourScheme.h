// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The program's own colours: the navy of its titles, help texts, links and
// bar, and the shadows behind its titles. Designed for a light face, they
// stay exactly so wherever they read well, and are drawn anew for the
// window's palette where they would not, as on a dark desktop. The layouts
// name a colour by a label's "tone" property: "accent", "shadow" (drawn
// darker than a light face) or "highlight" (drawn lighter).
#pragma once

class QColor;
class QWidget;

class TColourScheme {
public:
    TColourScheme() = delete;

    // Gives Window and every child the colours for the palette it has now.
    static void Apply(QWidget& Window);

    // The contrast ratio of two colours as WCAG 2.1 defines it, 1 to 21.
    [[nodiscard]] static double ContrastRatio(const QColor& First, const QColor& Second);
};
