// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Output folder row.
#include "QOutputFolder.h"

#include "classParvoxBase.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>

#include <utility>

TOutputFolder::TOutputFolder(QWidget& Window, TParvoxBase& Engine, QLabel& Path,
                             QLabel& Explanation, QString Chosen, std::function<void()> Changed)
    : QObject(&Window), Window(Window), Engine(Engine), Path(Path), Explanation(Explanation),
      InputsFolder(Explanation.text()), Chosen(std::move(Chosen)), Changed(std::move(Changed)) {}

void TOutputFolder::Pick() {
    if (const auto Folder = PickFolder(Window, QStringLiteral("Choose the output folder"), Shown()))
        Choose(*Folder);
}

std::optional<std::string> TOutputFolder::PickFolder(QWidget& Parent, const QString& Title,
                                                     const QString& Folder) {
    QFileDialog Dialog(&Parent, Title, Folder);
    Dialog.setFileMode(QFileDialog::Directory);
    Dialog.setOption(QFileDialog::ShowDirsOnly);
    Dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return Dialog.selectedFiles().front().toStdString();
}

void TOutputFolder::Choose(const std::string& Folder) {
    const QString Input =
        QFileInfo(QString::fromStdString(Engine.GetBaseFileName())).absolutePath();
    const bool InputsOwn = !Engine.BaseFileNameEmpty() &&
                           QFileInfo(QString::fromStdString(Folder)) == QFileInfo(Input);
    Engine.OutputFolder = InputsOwn ? std::string() : Folder;
    Show();
    if (Changed)
        Changed();
}

void TOutputFolder::Reset() {
    Engine.OutputFolder.clear();
    Show();
}

void TOutputFolder::Show() {
    Path.setText(Shown());
    Explanation.setText(Engine.OutputFolder.empty() ? InputsFolder : Chosen);
}

QString TOutputFolder::Shown() const {
    if (!Engine.OutputFolder.empty())
        return QString::fromStdString(Engine.OutputFolder);
    if (Engine.BaseFileNameEmpty())
        return QStringLiteral("the input file's folder");
    return QDir::toNativeSeparators(
        QFileInfo(QString::fromStdString(Engine.GetBaseFileName())).absolutePath());
}
