// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// What the desktop learns of a run: the title, the task bar and the
// notification, read on a private session bus by a stand-in notification
// server; and the completion message's Open Folder button.
#include "QFSplit.h"
#include "QRunNotices.h"
#include "RunTestHelpers.h"
#include "classParvoxController.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFile>
#include <QLineEdit>

#include <xcb/xcb.h>

// Notify and the task bar's Update as a desktop receives them, on a connection of its own.
class TDesktop : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QDBusConnection Bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "desktop");
    QStringList Notices; // app, icon, summary, category, desktop entry
    QVariantMap TaskBar;
    QUrl Opened;

public slots:
    uint Notify(const QString& App, uint, const QString& Icon, const QString& Summary,
                const QString&, const QStringList&, const QVariantMap& Hints, int) {
        Notices << App + ' ' + Icon + ' ' + Summary + ' ' + Hints["category"].toString() + ' ' +
                       Hints["desktop-entry"].toString();
        return Notices.size();
    }
    void Update(const QString& Uri, const QVariantMap& Properties, const QDBusMessage& Signal) {
        TaskBar = Properties;
        TaskBar["at"] = Signal.path() + ' ' + Uri;
    }
    void OpenUrl(const QUrl& Url) { Opened = Url; }
};

// Makes Window the active one, then, when the user is Away, gives the
// keyboard to the root window: no window of the program is active.
void Attend(QWidget& Window, bool Away = false) {
    Window.activateWindow();
    QTRY_VERIFY(Window.isActiveWindow());
    if (!Away)
        return;
    auto* X11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    const xcb_window_t Root = xcb_setup_roots_iterator(xcb_get_setup(X11->connection())).data->root;
    xcb_set_input_focus(X11->connection(), XCB_INPUT_FOCUS_POINTER_ROOT, Root, XCB_CURRENT_TIME);
    xcb_flush(X11->connection());
    QTRY_VERIFY(QGuiApplication::applicationState() != Qt::ApplicationActive);
}

const QString Entry = QStringLiteral(" example.quillfern.Parvox");

class TRunNoticesTest : public TWindowTest {
    Q_OBJECT

    TDesktop Desktop;

private slots:
    void initTestCase() {
        TWindowTest::initTestCase();
        ParvoxController->Notices = std::make_unique<TRunNotices>(std::chrono::milliseconds(0));
        QDesktopServices::setUrlHandler("file", &Desktop, "OpenUrl");
        if (!Desktop.Bus.isConnected())
            return;
        QVERIFY(Desktop.Bus.registerService("org.freedesktop.Notifications"));
        QVERIFY(Desktop.Bus.registerObject("/org/freedesktop/Notifications", &Desktop,
                                           QDBusConnection::ExportAllSlots));
        QVERIFY(Desktop.Bus.connect({}, {}, "com.canonical.Unity.LauncherEntry", "Update", &Desktop,
                                    SLOT(Update(QString, QVariantMap, QDBusMessage))));
    }

    // Title and task bar during a run; a notification, never waited for, only
    // for a run that has just ended while the user looked elsewhere.
    void desktopFollowsTheRun() {
        if (!Desktop.Bus.isConnected())
            QSKIP("needs a session bus");
        for (const bool Away : {true, false}) {
            auto Form = OpenWindow<TFormSplit>();
            Attend(*Form, Away);
            TRunNotices& Notices = *ParvoxController->Notices;
            Notices.RunStarted(*Form);
            Notices.RunProgress(0.429);
            QTRY_COMPARE(Form->windowTitle(), QStringLiteral("42% Parvox 2.3"));
            QTRY_COMPARE(Desktop.TaskBar["progress"].toDouble(), 0.42);
            QCOMPARE(Desktop.TaskBar["at"].toString(),
                     "/example/quillfern/Parvox application://example.quillfern.Parvox.desktop");
            Notices.RunEnded();
            QCOMPARE(Form->windowTitle(), QStringLiteral("Parvox 2.3"));
            Notices.Announce("a: failed", true);
            Notices.Announce("a: told twice", false);
            QCOMPARE(Desktop.Notices.size(), 0);
            QTRY_VERIFY(!Desktop.TaskBar["progress-visible"].toBool());
            QTest::qWait(300);
            QCOMPARE(Desktop.Notices.size(), Away ? 1 : 0);
            if (Away)
                QCOMPARE(Desktop.Notices.takeFirst(),
                         "Parvox" + Entry + " a: failed transfer.error" + Entry);
        }
    }

    // Also run without a session bus, where only the notification is missing.
    void completionOffersTheFolder() {
        auto Form = OpenWindow<TFormSplit>();
        const QString Source = MakeFile(QStringLiteral("source.bin"), PatternBytes(2500));
        QVERIFY(Form->TakeFiles({Source.toStdString()}));
        Control<QLineEdit>(Form.get(), "EditSplitFileSize")->setText(QStringLiteral("1"));
        Attend(*Form, true);
        QStringList Seen;
        OnNextModalOf<QMessageBox>([&Seen](QMessageBox* Box) {
            Seen << Box->text() << Box->defaultButton()->text();
            for (const QAbstractButton* Each : Box->buttons())
                Seen << Each->text();
            PressKey(Box, Qt::Key_F);
        });
        Button(Form.get(), "ButtonStart")->click();
        QCOMPARE(Seen, QStringList({"Splitting completed", "OK", "OK", "Open &Folder"}));
        QCOMPARE(Desktop.Opened, QUrl::fromLocalFile(Scratch.path()));
        QDesktopServices::unsetUrlHandler("file");
        QFile::remove(Source);
        Attend(*Form, true);
        const auto Error = StartAndAnswer(Form.get());
        QVERIFY(WaitFor([&] { return Error->Seen; }));
        if (Desktop.Bus.isConnected())
            QTRY_COMPARE(
                Desktop.Notices,
                QStringList({"Parvox" + Entry +
                                 " source.bin: split into 3 pieces transfer.complete" + Entry,
                             "Parvox" + Entry + ' ' + Error->Text + " transfer.error" + Entry}));
    }
};

QTEST_MAIN(TRunNoticesTest)
#include "RunNoticesTest.moc"
