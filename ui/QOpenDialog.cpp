// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// File-open dialog.
#include "QOpenDialog.h"

#include <QAbstractItemView>
#include <QCompleter>

TOpenDialog::TOpenDialog(QWidget* Parent, const QString& Filter) : QFileDialog(Parent) {
    setFileMode(QFileDialog::ExistingFile);
    setOption(QFileDialog::DontUseNativeDialog);
    const QStringList Filters = NameFilters(Filter);
    setNameFilters(Filters);
    if (!Filters.isEmpty())
        selectNameFilter(Filters.first());
}

QStringList TOpenDialog::NameFilters(const QString& Filter) {
    const QStringList Parts = Filter.split(QLatin1Char('|'));
    QStringList Filters;
    for (qsizetype Index = 0; Index + 1 < Parts.size(); Index += 2) {
        // The layouts separate patterns with semicolons, Qt with blanks: "*.txt;"
        // would match only names that end in a semicolon.
        QStringList Patterns = Parts[Index + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& Pattern : Patterns)
            Pattern = Pattern.trimmed();
        Filters << QStringLiteral("%1 (%2)").arg(Parts[Index], Patterns.join(QLatin1Char(' ')));
    }
    return Filters;
}

bool TOpenDialog::Execute() {
    return exec() == QDialog::Accepted && !selectedFiles().isEmpty();
}

std::string TOpenDialog::FileName() const {
    return selectedFiles().value(0).toStdString();
}

void TOpenDialog::hideEvent(QHideEvent* Event) {
    QFileDialog::hideEvent(Event);
    // Return in the completion list of the file name accepts the dialog, and
    // Qt leaves the list open, holding the keyboard: the window under it would
    // lose its next key. Without a prefix, a directory listing that arrives
    // later cannot bring the list back either.
    const auto Completers = findChildren<QCompleter*>();
    for (QCompleter* Completer : Completers) {
        Completer->popup()->hide();
        Completer->setCompletionPrefix(QString());
    }
}
