// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Run notices: window title, task bar and desktop notification.
#include "QRunNotices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStringList>
#include <QWidget>

namespace {

// The name under which the desktop knows the program: its desktop entry and icon.
const QString AppId = QStringLiteral(PARVOX_ID);

QDBusMessage NotificationsCall(const QString& Method) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                          QStringLiteral("/org/freedesktop/Notifications"),
                                          QStringLiteral("org.freedesktop.Notifications"), Method);
}

QString Pieces(int64_t Count) {
    return Count == 1 ? QStringLiteral("1 piece") : QStringLiteral("%1 pieces").arg(Count);
}

} // namespace

TRunNotices::TRunNotices(std::chrono::milliseconds LongRun) : LongRun(LongRun) {
    Pace.setSingleShot(true);
    Pace.setInterval(std::chrono::seconds(1));
    QObject::connect(&Pace, &QTimer::timeout, [this] { ShowPercent(); });
}

void TRunNotices::RunStarted(QWidget& Started, const QString& RunDoing) {
    Window = &Started;
    WindowTitle = Started.windowTitle();
    Doing = RunDoing;
    Percent = 0;
    ShownPercent = -1;
    Unannounced = false;
    RunTime.start();
    // A run of less than a second leaves title and task bar as they were.
    Pace.start();
}

void TRunNotices::RunProgress(int Reached) {
    Percent = Reached;
    if (ShownPercent >= 0 && Percent != ShownPercent)
        ShowPercent();
}

void TRunNotices::ShowPercent() {
    ShownPercent = Percent;
    if (Window)
        Window->setWindowTitle(QString::number(Percent) + QStringLiteral("% ") + WindowTitle);
    SendLauncherEntry({{QStringLiteral("progress"), Percent / 100.0},
                       {QStringLiteral("progress-visible"), true}});
}

void TRunNotices::RunEnded() {
    Pace.stop();
    if (ShownPercent >= 0) {
        if (Window)
            Window->setWindowTitle(WindowTitle);
        SendLauncherEntry({{QStringLiteral("progress-visible"), false}});
        ShownPercent = -1;
    }
    Window.clear();
    // Not QApplication::activeWindow(): a progress window that the user
    // activated has just hidden and taken it along, while the application's
    // state still follows what the window system said last.
    Unannounced = RunTime.isValid() && RunTime.elapsed() >= LongRun.count() &&
                  QGuiApplication::applicationState() != Qt::ApplicationActive;
    RunTime.invalidate();
    // The result is told right after the end, before the event loop runs on:
    // an error shown later has nothing to do with this run.
    if (Unannounced)
        QTimer::singleShot(0, &Pace, [this] { Unannounced = false; });
}

void TRunNotices::Announce(const QString& Text, bool Failed) {
    if (!Unannounced)
        return;
    Unannounced = false;
    // Without a session bus the connection stays unconnected, and no notice goes out.
    QDBusConnection Bus = QDBusConnection::sessionBus();
    if (!Bus.isConnected())
        return;
    const QString Summary = Failed ? QStringLiteral("%1 failed").arg(Doing) : Text;
    const QString Body = Failed ? Text : QString();
    // Nothing waits for the server: what it says it reads comes back later;
    // without a server an error comes back instead, and no notice goes out.
    auto* Capabilities = new QDBusPendingCallWatcher(
        Bus.asyncCall(NotificationsCall(QStringLiteral("GetCapabilities"))), &Pace);
    QObject::connect(
        Capabilities, &QDBusPendingCallWatcher::finished, Capabilities,
        [Bus, Summary, Body, Failed](QDBusPendingCallWatcher* Reply) mutable {
            Reply->deleteLater();
            const QDBusPendingReply<QStringList> Offered = *Reply;
            if (Offered.isError())
                return;
            QDBusMessage Notify = NotificationsCall(QStringLiteral("Notify"));
            const QVariantMap Hints = {
                {QStringLiteral("category"),
                 Failed ? QStringLiteral("transfer.error") : QStringLiteral("transfer.complete")},
                {QStringLiteral("desktop-entry"), AppId},
            };
            // A server that reads markup in the body would take a "<" or
            // "&" of a file name for markup.
            const bool Markup = Offered.value().contains(QStringLiteral("body-markup"));
            constexpr int ServerDecidesTimeout = -1;
            Notify << QStringLiteral("Parvox") << 0U << AppId << Summary
                   << (Markup ? Body.toHtmlEscaped() : Body) << QStringList() << Hints
                   << ServerDecidesTimeout;
            Bus.asyncCall(Notify);
        });
}

void TRunNotices::SendLauncherEntry(const QVariantMap& Properties) const {
    QDBusConnection Bus = QDBusConnection::sessionBus();
    if (!Bus.isConnected())
        return;
    static const QString Path =
        QLatin1Char('/') + QString(AppId).replace(QLatin1Char('.'), QLatin1Char('/'));
    QDBusMessage Update = QDBusMessage::createSignal(
        Path, QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    Update << QStringLiteral("application://%1.desktop").arg(AppId) << Properties;
    Bus.send(Update);
}

QString TRunNotices::SplitSummary(const std::string& File, int64_t Count) {
    return QStringLiteral("%1: split into %2").arg(FileName(File), Pieces(Count));
}

QString TRunNotices::JoinSummary(const std::string& File, int64_t Count) {
    return QStringLiteral("%1: joined from %2").arg(FileName(File), Pieces(Count));
}

QString TRunNotices::ResultSummary(std::initializer_list<std::string> Files,
                                   const std::string& Result) {
    QStringList Names;
    for (const std::string& File : Files)
        Names << FileName(File);
    return Names.join(QStringLiteral(", ")) + QStringLiteral(": ") + QString::fromStdString(Result);
}

QString TRunNotices::FileName(const std::string& File) {
    return QFileInfo(QString::fromStdString(File)).fileName();
}

QString TRunNotices::OpenFolderText() {
    // F, since the box's OK button takes O.
    return QStringLiteral("Open &Folder");
}
