// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Files dropped on a window from a file manager: which parts of the window
// take how many files, what a drag may carry (files on this machine only),
// the answer that the pointer shows while a drag moves over the window, and
// the hand-over of the files once dropped. A part of the window may take a
// folder instead. Files named on the command line pass the same check.
#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QDropEvent;
class QUrl;
class QWidget;

class TFileDrops : public QObject {
public:
    using THandler = std::function<void(const std::vector<std::string>&)>;

    // Watches the drags over Window, which owns it.
    explicit TFileDrops(QWidget& Window);

    // Lets Count files dropped together on Area, or anywhere on the window
    // when Area is empty, go to Handler; folders instead of files when
    // Folders is set. Of several targets, a drop goes to the first one that
    // takes it.
    void Add(const QList<QWidget*>& Area, std::size_t Count, THandler Handler,
             bool Folders = false);
    // Hands Files (or folders) to the target that takes them at At, as a
    // drop there does; without At, to one that covers the whole window.
    // Returns false, taking nothing, when none takes them or while an
    // operation runs.
    bool Take(const std::vector<std::string>& Files, const std::optional<QPoint>& At = std::nullopt,
              bool Folders = false) const;

    // Why the file at Url cannot be taken ("is a folder", ...), or the folder
    // when Folder is set; empty when it can.
    [[nodiscard]] static QString Refusal(const QUrl& Url, bool Folder = false);
    // The name of the local file at Url, byte for byte as the system gave it.
    [[nodiscard]] static std::string LocalName(const QUrl& Url);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    struct TTarget {
        QList<QWidget*> Area;
        std::size_t Count;
        THandler Handler;
        bool Folders;
    };
    // What a drag carries: files, or folders.
    struct TDragged {
        std::vector<std::string> Files;
        bool Folders = false;
    };

    // The target that takes Count files (or folders) at At; without At, one
    // that covers the whole window.
    [[nodiscard]] const TTarget* TargetAt(std::size_t Count, bool Folders,
                                          const std::optional<QPoint>& At) const;
    // The files or folders that a drag carries, when the window may take that
    // many of them.
    [[nodiscard]] std::optional<TDragged> Dragged(const QDropEvent& Event) const;

    QWidget& Window;
    std::vector<TTarget> Targets;
};
