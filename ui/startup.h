// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Start-up and shutdown of the program's process-wide objects, in their fixed
// order, and the files named on the command line.
#pragma once

#include <QStringList>

// The engines; they come before anything else, Qt included.
void CreateEngines();
// The controller with its progress window and the main window, shown; needs
// the QApplication. Creates the engines first if they do not exist yet.
// Arguments is the command line, the program's name first: --help and
// --version answer on standard output and end the process before anything
// shows, and the files that it names open once the main window is up.
void StartUp(const QStringList& Arguments = {});
// Opens Names, files named on the command line, as a drop of them on the
// main window does. When one cannot be opened, or they are more than the
// main window takes, a message says so and nothing opens.
void OpenFiles(const QStringList& Names);
// Controller, then engines, then the texts, then the main window.
void ShutDown();
