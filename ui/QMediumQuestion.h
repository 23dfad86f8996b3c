// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The question that a join asks when the next piece is on a medium that is
// not in the drive: "film.mkv.003 is not on this medium. ...", with a button
// that opens a folder dialog at the usual mount points, Skip where recovery
// data rebuilds the piece, and Cancel, which stops the run. The run asks on
// its own thread and waits while the windows' thread shows the question in
// place of the progress window, which stays above every other window.
#pragma once

#include "classPieceSources.h"

#include <QObject>
#include <QString>

class QWidget;
class TParvoxBase;

class TMediumQuestion : public QObject {
public:
    // Asks over Window for the pieces of Engine's base file name; Window owns it.
    TMediumQuestion(QWidget& Window, const TParvoxBase& Engine);

    // What the engine calls, on the run's thread: it waits for the answer,
    // and an exception of the question is raised again there.
    [[nodiscard]] TPieceSources::TAsk Handler();
    // Asks, on the windows' thread, until the user has chosen a folder,
    // skipped the piece or cancelled.
    [[nodiscard]] TPieceSources::TAnswer Ask(const TPieceSources::TQuestion& Question);
    // Where the folder dialog opens: where the desktop mounts the user's
    // sticks and discs (/media/USER, or /run/media/USER), so that one
    // mounted after the question is there; else the first piece's folder.
    [[nodiscard]] QString StartFolder() const;

private:
    QWidget& Window;
    const TParvoxBase& Engine;
};
