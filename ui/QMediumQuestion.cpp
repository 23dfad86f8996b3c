// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The question for the next medium.
#include "QMediumQuestion.h"

#include "QFParvoxBase.h"
#include "QFProgress.h"
#include "QOutputFolder.h"
#include "classParvoxBase.h"
#include "classParvoxController.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>

#include <exception>
#include <pwd.h>
#include <unistd.h>

TMediumQuestion::TMediumQuestion(QWidget& Window, const TParvoxBase& Engine)
    : QObject(&Window), Window(Window), Engine(Engine) {}

TPieceSources::TAsk TMediumQuestion::Handler() {
    return [this](const TPieceSources::TQuestion& Question) {
        TPieceSources::TAnswer Answer;
        std::exception_ptr Failure;
        QMetaObject::invokeMethod(
            this,
            [&] {
                try {
                    Answer = Ask(Question);
                } catch (...) {
                    Failure = std::current_exception();
                }
            },
            Qt::BlockingQueuedConnection);
        if (Failure)
            std::rethrow_exception(Failure);
        return Answer;
    };
}

TPieceSources::TAnswer TMediumQuestion::Ask(const TPieceSources::TQuestion& Question) {
    using TKind = TPieceSources::TAnswer::TKind;
    TFormProgress& Progress = *ParvoxController->ProgressForm;
    const long double Fraction = Progress.Position() / 100.0L;
    const std::string Status = Progress.Status().toStdString();
    Progress.HideProgress();
    const auto ProgressBack =
        qScopeGuard([&] { ParvoxController->ShowProgress(Status, Fraction); });
    const QString Piece = QString::fromStdString(Question.Piece);
    for (;;) {
        QMessageBox Box(QMessageBox::NoIcon, TFormParvoxBase::ApplicationTitle(),
                        QStringLiteral("%1 is not on this medium. Insert the stick or disc that "
                                       "holds it and choose its folder.")
                            .arg(Piece),
                        QMessageBox::NoButton, &Window);
        const QPushButton* Folder =
            Box.addButton(QStringLiteral("Choose &Folder..."), QMessageBox::AcceptRole);
        const QPushButton* Skip =
            Question.MaySkip ? Box.addButton(QStringLiteral("&Skip"), QMessageBox::DestructiveRole)
                             : nullptr;
        QPushButton* Cancel = Box.addButton(QStringLiteral("&Cancel"), QMessageBox::RejectRole);
        Box.setEscapeButton(Cancel);
        Box.exec();
        // Nothing clicked: the box went with the end of the session.
        if (Box.clickedButton() == Skip && Skip != nullptr)
            return {TKind::Skip, {}};
        if (Box.clickedButton() != Folder)
            return {TKind::Stop, {}};
        if (const auto Chosen = TOutputFolder::PickFolder(
                Window, QStringLiteral("Choose the folder that holds %1").arg(Piece),
                StartFolder()))
            return {TKind::Folder, *Chosen};
    }
}

QString TMediumQuestion::StartFolder() const {
    const passwd* User = ::getpwuid(::geteuid());
    if (User != nullptr)
        for (const char* Mounts : {"/media/", "/run/media/"})
            if (const QString Place = QLatin1String(Mounts) + QString::fromLocal8Bit(User->pw_name);
                QFileInfo(Place).isDir())
                return Place;
    return QFileInfo(QString::fromStdString(Engine.GetBaseFileName())).absolutePath();
}
