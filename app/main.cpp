// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Parvox: split, join, compare and checksum files.
#include "startup.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    // The command line is answered, and its files read, before anything
    // touches the window system.
    const std::vector<std::string> Files = ReadCommandLine(argc, argv);
    CreateEngines();
    const auto Application = CreateApplication(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    // The settings live in ~/.config/Quillfern/parvox.conf.
    QApplication::setOrganizationName(QStringLiteral("Quillfern"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/logo.png")));
    StartUp(Files);
    const int Result = QApplication::exec();
    ShutDown();
    return Result;
}
