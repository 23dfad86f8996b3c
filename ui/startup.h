// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Start-up and shutdown of the program's process-wide objects, in their fixed order.
#pragma once

// The engines; they come before anything else, Qt included.
void CreateEngines();
// The controller with its progress window and the main window, shown; needs
// the QApplication. Creates the engines first if they do not exist yet.
void StartUp();
// Controller, then engines, then the texts, then the main window.
void ShutDown();
