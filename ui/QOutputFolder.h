// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The output folder row of the Split and Join windows: the folder that an
// engine writes to, shown as a path and changed in a folder dialog or by a
// folder dropped on the row. It is the input's folder until the user chooses
// another, and again for each new input; while another one is chosen, the
// window's explanation says so.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <string>

class QLabel;
class QWidget;
class TParvoxBase;

class TOutputFolder : public QObject {
public:
    // Shows the folder in Path; Explanation gets Chosen while a folder other
    // than the input's is chosen, its own text otherwise. Changed runs after
    // each change of the folder. Window owns the row.
    TOutputFolder(QWidget& Window, TParvoxBase& Engine, QLabel& Path, QLabel& Explanation,
                  QString Chosen, std::function<void()> Changed);

    // The folder dialog, opened on the folder shown.
    void Pick();
    // A folder dialog over Parent, titled Title and opened on Folder: the
    // folder chosen, or nothing when the user cancelled.
    [[nodiscard]] static std::optional<std::string>
    PickFolder(QWidget& Parent, const QString& Title, const QString& Folder);
    // Folder becomes the output folder; the input's own folder is no choice.
    void Choose(const std::string& Folder);
    // A new input: the output goes to its folder again.
    void Reset();
    // Shows the engine's folder and the explanation that goes with it.
    void Show();

private:
    // The folder that the output goes to, as the user sees it.
    [[nodiscard]] QString Shown() const;

    QWidget& Window;
    TParvoxBase& Engine;
    QLabel& Path;
    QLabel& Explanation;
    QString InputsFolder;
    QString Chosen;
    std::function<void()> Changed;
};
