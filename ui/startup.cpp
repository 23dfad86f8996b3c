// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Order of start-up and shutdown; the command line.
#include "startup.h"

#include "QFMain.h"
#include "QFileDrops.h"
#include "classParvox.h"
#include "classParvoxController.h"
#include "txt.h"

#include <QCommandLineParser>
#include <QDir>
#include <QTimer>
#include <QUrl>

namespace {

// The files that the command line names. Its options and its mistakes are
// answered here, and the process ends, as command-line programs do.
QStringList FileArguments(const QStringList& Arguments) {
    QCoreApplication::setApplicationVersion(QStringLiteral(PARVOX_VERSION));
    QCommandLineParser Parser;
    Parser.setApplicationDescription(QStringLiteral("Split, join, compare and checksum files."));
    Parser.addHelpOption();
    Parser.addVersionOption();
    Parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("A file opens Split with it, a first piece (name.001) Join; two files "
                       "open Compare with both."),
        QStringLiteral("[file [file]]"));
    Parser.process(Arguments);
    return Parser.positionalArguments();
}

} // namespace

void CreateEngines() {
    if (ParvoxApp == nullptr)
        ParvoxApp = new TParvox;
}

void StartUp(const QStringList& Arguments) {
    const QStringList Files = Arguments.isEmpty() ? QStringList() : FileArguments(Arguments);
    CreateEngines();
    ParvoxController = new TParvoxController;
    MainForm = new TMainForm;
    MainForm->show();
    if (!Files.isEmpty())
        QTimer::singleShot(0, MainForm, [Files] { OpenFiles(Files); });
}

void OpenFiles(const QStringList& Names) {
    if (Names.isEmpty())
        return;
    std::vector<std::string> Files;
    QStringList Refused;
    for (const QString& Name : Names) {
        const QUrl Url = QUrl::fromUserInput(Name, QDir::currentPath(), QUrl::AssumeLocalFile);
        const QString Refusal = TFileDrops::Refusal(Url);
        if (Refusal.isEmpty())
            Files.push_back(Url.toLocalFile().toStdString());
        else
            Refused << Name + ' ' + Refusal + '.';
    }
    if (Refused.isEmpty() && MainForm->TakeFiles(Files))
        return;
    if (Refused.isEmpty())
        Refused << QStringLiteral("Parvox opens one file, or two files to compare, not %1:")
                       .arg(Names.size())
                << Names;
    TFormParvoxBase::ShowMessage(Refused.join('\n').toStdString());
}

void ShutDown() {
    delete ParvoxController;
    ParvoxController = nullptr;
    delete ParvoxApp;
    ParvoxApp = nullptr;
    ReleaseTexts();
    // Widgets must go before the QApplication does.
    delete MainForm;
    MainForm = nullptr;
}
