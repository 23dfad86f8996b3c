// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// File drops on a window.
#include "QFileDrops.h"

#include "classParvoxController.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <sys/stat.h>

TFileDrops::TFileDrops(QWidget& Window) : QObject(&Window), Window(Window) {
    // The window is the one place where files land: the size box would
    // otherwise take a dropped file's name as text.
    const auto Children = Window.findChildren<QWidget*>();
    for (QWidget* Child : Children)
        if (Child->window() == &Window)
            Child->setAcceptDrops(false);
    Window.setAcceptDrops(true);
    Window.installEventFilter(this);
}

void TFileDrops::Add(const QList<QWidget*>& Area, std::size_t Count, THandler Handler,
                     bool Folders) {
    Targets.push_back({Area, Count, std::move(Handler), Folders});
}

bool TFileDrops::Take(const std::vector<std::string>& Files, const std::optional<QPoint>& At,
                      bool Folders) const {
    const TTarget* Target = TargetAt(Files.size(), Folders, At);
    if (ParvoxController->OperationRunning() || Target == nullptr)
        return false;
    Target->Handler(Files);
    return true;
}

QString TFileDrops::Refusal(const QUrl& Url, bool Folder) {
    if (!Url.isLocalFile())
        return QStringLiteral("is not a file on this machine");
    const std::string Name = LocalName(Url);
    struct stat File {};
    if (Name.find('\0') != std::string::npos || ::stat(Name.c_str(), &File) != 0)
        return QStringLiteral("does not exist");
    if (S_ISDIR(File.st_mode))
        return Folder ? QString() : QStringLiteral("is a folder");
    if (Folder)
        return QStringLiteral("is not a folder");
    if (!S_ISREG(File.st_mode))
        return QStringLiteral("is not an ordinary file");
    return {};
}

std::string TFileDrops::LocalName(const QUrl& Url) {
    // The path stays percent-encoded up to the bytes: a name that is not
    // UTF-8 would not come through a QString.
    return QByteArray::fromPercentEncoding(Url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

const TFileDrops::TTarget* TFileDrops::TargetAt(std::size_t Count, bool Folders,
                                                const std::optional<QPoint>& At) const {
    for (const TTarget& Target : Targets) {
        if (Target.Count != Count || Target.Folders != Folders)
            continue;
        if (Target.Area.isEmpty())
            return &Target;
        for (const QWidget* Part : Target.Area)
            if (At && Part->rect().contains(Part->mapFrom(&Window, *At)))
                return &Target;
    }
    return nullptr;
}

std::optional<TFileDrops::TDragged> TFileDrops::Dragged(const QDropEvent& Event) const {
    // Copied, never moved: a source that moves would delete its file.
    if (ParvoxController->OperationRunning() || !(Event.possibleActions() & Qt::CopyAction) ||
        !Event.mimeData()->hasUrls())
        return std::nullopt;
    const auto Urls = Event.mimeData()->urls();
    if (Urls.isEmpty())
        return std::nullopt;
    // All files, or else all folders.
    TDragged Carried;
    Carried.Folders = Refusal(Urls.front(), true).isEmpty();
    for (const QUrl& Url : Urls) {
        if (!Refusal(Url, Carried.Folders).isEmpty())
            return std::nullopt;
        Carried.Files.push_back(LocalName(Url));
    }
    if (std::none_of(Targets.begin(), Targets.end(), [&Carried](const TTarget& Target) {
            return Target.Count == Carried.Files.size() && Target.Folders == Carried.Folders;
        }))
        return std::nullopt;
    return Carried;
}

bool TFileDrops::eventFilter(QObject* Watched, QEvent* Event) {
    const QEvent::Type Type = Event->type();
    if (Watched != &Window ||
        (Type != QEvent::DragEnter && Type != QEvent::DragMove && Type != QEvent::Drop))
        return false;
    auto* Drop = static_cast<QDropEvent*>(Event);
    auto Carried = Dragged(*Drop);
    const QPoint At = Drop->position().toPoint();
    // A drag enters at the window's edge, where no part may take it. It is
    // taken there all the same when some part could, since Qt hands the
    // window no further moves of a drag that it refused on entering; each
    // move then says whether the part under the pointer takes it.
    if (!Carried || (Type != QEvent::DragEnter &&
                     TargetAt(Carried->Files.size(), Carried->Folders, At) == nullptr)) {
        Drop->ignore();
        return true;
    }
    Drop->setDropAction(Qt::CopyAction);
    Drop->accept();
    if (Type == QEvent::Drop)
        // The files are taken once the drag has ended: what they do may open a
        // window or a message box, and the drag's source waits until the drop returns.
        QTimer::singleShot(0, this, [this, Carried = std::move(*Carried), At] {
            Take(Carried.Files, At, Carried.Folders);
        });
    return true;
}
