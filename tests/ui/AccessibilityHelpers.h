// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// A check that a window can be worked from the keyboard and through assistive
// technology, for any window of the program.
#pragma once

#include <QStringList>

class QWidget;

// The faults of the shown and enabled controls in Window that a person can
// act on (buttons, click labels, text boxes, drop-down lists), one line each:
// no accessible name, a role that does not say what the control is, no press
// action on a button or click label, a focus policy without Tab, or not
// reached when Tab goes round the shown window. Empty when there is none.
// Moves the focus round the window and back.
[[nodiscard]] QStringList AccessibilityFaults(QWidget* Window);
