// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// A run as a desktop on a private session bus sees it; also run without a bus.
#include "QFSplit.h"
#include "QRunNotices.h"
#include "RunTestHelpers.h"
#include "classParvoxController.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>

#include <xcb/xcb.h>

// Makes Window the active one; with Away no window then has the keyboard.
void Attend(QWidget& Window, bool Away) {
    Window.activateWindow();
    QTRY_VERIFY(Window.isActiveWindow());
    auto* X11 = qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    xcb_set_input_focus(X11, XCB_INPUT_FOCUS_NONE, Away ? XCB_NONE : Window.winId(),
                        XCB_CURRENT_TIME);
    xcb_flush(X11);
    QTRY_COMPARE(QGuiApplication::applicationState() == Qt::ApplicationActive, !Away);
}

const QString Id = QStringLiteral("example.quillfern.Parvox");

// Also the stand-in notification server, task bar and file manager.
class TRunNoticesTest : public TWindowTest {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

    QDBusConnection Bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "desktop");
    QStringList Log;
    QUrl Opened;

public slots:
    void Notify(const QString& App, uint, const QString& Icon, const QString& Summary,
                const QString&, const QStringList&, const QVariantMap& Hints, int) {
        const bool Ours = App == "Parvox" && Icon == Id && Hints["desktop-entry"] == Id;
        Log << (Ours ? "" : "not ours: ") + Summary + ' ' + Hints["category"].toString();
    }
    void Update(const QString& Uri, const QVariantMap& Properties, const QDBusMessage& Signal) {
        const bool Ours = Signal.path() == "/example/quillfern/Parvox" &&
                          Uri == "application://" + Id + ".desktop";
        Log << (Ours ? "" : "not ours: ") + Properties["progress"].toString() + ' ' +
                   Properties["progress-visible"].toString();
    }
    void OpenUrl(const QUrl& Url) { Opened = Url; }

private slots:
    void initTestCase() {
        TWindowTest::initTestCase();
        ParvoxController->Notices = std::make_unique<TRunNotices>(std::chrono::milliseconds(0));
        QDesktopServices::setUrlHandler("file", this, "OpenUrl");
        Bus.registerService("org.freedesktop.Notifications");
        Bus.registerObject("/org/freedesktop/Notifications", this, QDBusConnection::ExportAllSlots);
        Bus.connect({}, {}, "com.canonical.Unity.LauncherEntry", "Update", this,
                    SLOT(Update(QString, QVariantMap, QDBusMessage)));
    }

    // A notification only of a run just ended while the user looked elsewhere.
    void desktopFollowsTheRun() {
        auto Form = OpenWindow<TFormSplit>();
        TRunNotices& Run = *ParvoxController->Notices;
        Attend(*Form, false);
        Run.RunStarted(*Form);
        Run.RunEnded();
        Run.Announce("seen at the window", false);
        Attend(*Form, true);
        Run.RunStarted(*Form);
        Run.RunProgress(0.429);
        QTRY_COMPARE(Form->windowTitle(), "42% Parvox 2.3");
        Run.RunEnded();
        QCOMPARE(Form->windowTitle(), "Parvox 2.3");
        Run.Announce("a: failed", true);
        Form->TakeFiles({MakeFile("source.bin", PatternBytes(3000000)).toStdString()});
        QStringList Seen;
        OnNextModalOf<QMessageBox>([&Seen](QMessageBox* Box) {
            Seen << Box->text() << Box->defaultButton()->text() << Box->buttons().last()->text();
            PressKey(Box, Qt::Key_F);
        });
        Attend(*Form, true);
        Button(Form.get(), "ButtonStart")->click();
        QCOMPARE(Seen, QStringList({"Splitting completed\n3 pieces and source.bin.sha256 in " +
                                        Scratch.path() + ".",
                                    "OK", "Open &Folder"}));
        QCOMPARE(Opened, QUrl::fromLocalFile(Scratch.path()));
        QDesktopServices::unsetUrlHandler("file");
        Run.Announce("told twice", false);
        if (Bus.isConnected())
            QTRY_COMPARE(Log, QStringList({"0.42 true", " false", "a: failed transfer.error",
                                           "source.bin: split into 3 pieces transfer.complete"}));
    }
};

QTEST_MAIN(TRunNoticesTest)
#include "RunNoticesTest.moc"
