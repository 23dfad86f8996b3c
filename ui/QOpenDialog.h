// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The file-open dialog of the operation windows: Qt's own widget dialog on
// every desktop, its filters given as in the layouts, alternating names and
// patterns separated by vertical bars ("All files|*|Text files|*.txt").
#pragma once

#include <QFileDialog>

#include <string>

class TOpenDialog : public QFileDialog {
    Q_OBJECT

public:
    // Lists the filters of Filter, the first one selected.
    TOpenDialog(QWidget* Parent, const QString& Filter);

    // Qt's "name (patterns)" for each name and patterns pair: the names and
    // the patterns as they stand, the patterns separated the way Qt reads them.
    [[nodiscard]] static QStringList NameFilters(const QString& Filter);

    // Runs the dialog; true when the user picked a file, false when cancelled.
    bool Execute();
    // The full path of the picked file.
    [[nodiscard]] std::string FileName() const;

protected:
    void hideEvent(QHideEvent* Event) override;
};
