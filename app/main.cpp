// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Parvox: split, join, compare and checksum files.
#include "startup.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    CreateEngines();
    QApplication Application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    // The settings live in ~/.config/Quillfern/parvox.conf.
    QApplication::setOrganizationName(QStringLiteral("Quillfern"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/logo.png")));
    StartUp(QApplication::arguments());
    const int Result = QApplication::exec();
    ShutDown();
    return Result;
}
