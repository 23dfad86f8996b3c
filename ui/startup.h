// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Start-up and shutdown of the program's process-wide objects, in their fixed
// order, and the files named on the command line.
#pragma once

#include <memory>
#include <string>
#include <vector>

class QApplication;

// Answers the command line before anything touches the window system:
// --help and --version on standard output, a mistake or a window system that
// cannot be reached in one line on standard error; the process ends there.
// Returns the files that the command line names, as the system gave them.
std::vector<std::string> ReadCommandLine(int Count, char* Arguments[]);
// The QApplication. When Qt's platform cannot start, which Qt answers with
// an abort, one line says so and the process ends with status 1.
std::unique_ptr<QApplication> CreateApplication(int& Count, char* Arguments[]);
// The engines; they come before anything else, Qt included.
void CreateEngines();
// The controller with its progress window and the main window, shown; needs
// the QApplication. Creates the engines first if they do not exist yet.
// Files, named on the command line, open once the main window is up.
void StartUp(const std::vector<std::string>& Files = {});
// Opens Names, files named on the command line, as a drop of them on the
// main window does. When one cannot be opened, or they are more than the
// main window takes, a message says so and nothing opens.
void OpenFiles(const std::vector<std::string>& Names);
// Controller, then engines, then the texts, then the main window.
void ShutDown();
