// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// A run as a desktop on a private session bus sees it; also run without a bus.
#include "QFProgress.h"
#include "QFSplit.h"
#include "QRunNotices.h"
#include "RunTestHelpers.h"
#include "classParvox.h"
#include "classParvoxController.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

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

// Also the stand-in notification server and task bar.
class TRunNoticesTest : public TWindowTest {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

    QDBusConnection Bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "desktop");
    QStringList Log;

public slots:
    QStringList GetCapabilities() { return {"body", "body-markup"}; }
    void Notify(const QString& App, uint, const QString& Icon, const QString& Summary,
                const QString& Body, const QStringList&, const QVariantMap& Hints, int) {
        const bool Ours = App == "Parvox" && Icon == Id && Hints["desktop-entry"] == Id;
        Log << (Ours ? "" : "not ours: ") + Summary + " | " + Body + ' ' +
                   Hints["category"].toString();
    }
    void Update(const QString& Uri, const QVariantMap& Properties, const QDBusMessage& Signal) {
        const bool Ours = Signal.path() == "/example/quillfern/Parvox" &&
                          Uri == "application://" + Id + ".desktop";
        Log << (Ours ? "" : "not ours: ") + Properties["progress"].toString() + ' ' +
                   Properties["progress-visible"].toString();
    }

private slots:
    void initTestCase() {
        TWindowTest::initTestCase();
        ParvoxController->Notices = std::make_unique<TRunNotices>(std::chrono::milliseconds(0));
        Bus.registerService("org.freedesktop.Notifications");
        Bus.registerObject("/org/freedesktop/Notifications", this, QDBusConnection::ExportAllSlots);
        Bus.connect({}, {}, "com.canonical.Unity.LauncherEntry", "Update", this,
                    SLOT(Update(QString, QVariantMap, QDBusMessage)));
    }

    // A notice only of a run just ended while the user looked elsewhere,
    // whose box then leaves the keyboard where it was.
    void desktopFollowsTheRun() {
        auto Form = OpenWindow<TFormSplit>();
        TRunNotices& Run = *ParvoxController->Notices;
        Attend(*Form, false);
        Run.RunStarted(*Form, "Seen");
        Run.RunEnded();
        Run.Announce("seen at the window", false);
        Attend(*Form, true);
        // The title and the task bar show the bar's percentage.
        Run.RunStarted(*Form, "Splitting a&b");
        ParvoxController->ShowProgress("", 0.986L);
        QTRY_COMPARE(Form->windowTitle(), "99% Parvox 2.3");
        ParvoxController->HideProgress();
        Run.RunEnded();
        QCOMPARE(Form->windowTitle(), "Parvox 2.3");
        Run.Announce("No space left on device: /a&b.", true);
        const QString Source = MakeFile("source.bin", PatternBytes(3000000));
        Form->TakeFiles({Source.toStdString()});
        // The boxes, which hold the keyboard of no window of the program.
        QStringList Seen;
        QTimer Look;
        QObject::connect(&Look, &QTimer::timeout, [&Seen, &Look] {
            for (QWidget* Window : QApplication::topLevelWidgets())
                if (auto* Box = qobject_cast<QMessageBox*>(Window); Box && Box->isVisible()) {
                    Look.stop();
                    QTest::qWait(200);
                    Seen << Box->text() << Box->buttons().last()->text()
                         << (QGuiApplication::applicationState() == Qt::ApplicationActive
                                 ? "keyboard taken"
                                 : "keyboard left");
                    Box->done(QMessageBox::Ok);
                }
        });
        for (const bool Fails : {false, true}) {
            // A file in place of the output folder fails the split.
            ParvoxApp->Split->OutputFolder = Fails ? Source.toStdString() : std::string();
            Attend(*Form, true);
            Look.start(10);
            Button(Form.get(), "ButtonStart")->click();
        }
        Seen[0] = Seen.value(0).section('\n', 0, 0);
        QCOMPARE(Seen.mid(0, 3),
                 QStringList({"Splitting completed", "Open &Folder", "keyboard left"}));
        QCOMPARE(Seen.mid(4), QStringList({"OK", "keyboard left"}));
        Run.Announce("told twice", false);
        if (Bus.isConnected())
            QTRY_COMPARE(Log, QStringList({"0.99 true", " false",
                                           "Splitting a&b failed | No space left on device: "
                                           "/a&amp;b. transfer.error",
                                           "source.bin: split into 3 pieces |  transfer.complete",
                                           "Splitting source.bin failed | " + Seen.value(3) +
                                               " transfer.error"}));
    }

    // Open Folder hands the folder to xdg-open; where there is none, or it
    // finds no program to open a folder, a box names the folder to copy.
    void openFolderTellsWhenNothingOpensIt_data() {
        QTest::addColumn<QString>("Launcher");
        QTest::addColumn<bool>("Told");
        QTest::newRow("a file manager opens it") << "exit 0" << false;
        QTest::newRow("no program opens folders") << "exit 3" << true;
        QTest::newRow("no xdg-open") << "" << true;
    }

    void openFolderTellsWhenNothingOpensIt() {
        QFETCH(QString, Launcher);
        QFETCH(bool, Told);
        const QTemporaryDir Path;
        const QString Opened = Path.filePath("opened");
        if (!Launcher.isEmpty()) {
            const QString XdgOpen = Path.filePath("xdg-open");
            WriteBytes(XdgOpen,
                       ("#!/bin/sh\nprintf %s \"$1\" >" + Opened + '\n' + Launcher).toUtf8());
            QFile::setPermissions(XdgOpen, QFile::ReadOwner | QFile::ExeOwner);
        }
        const QByteArray SavedPath = qgetenv("PATH");
        qputenv("PATH", Path.path().toLocal8Bit());
        auto Form = OpenWindow<TFormSplit>();
        Attend(*Form, false);
        std::shared_ptr<TSeenBox> Unopened;
        OnNextModalOf<QMessageBox>([&Unopened](QMessageBox* Completed) {
            Unopened = AnswerNextMessageBox();
            PressKey(Completed, Qt::Key_F);
        });
        TFormParvoxBase::ShowCompletion("Splitting completed", QString(),
                                        Scratch.filePath("film.mkv").toStdString());
        QVERIFY(WaitFor([&] { return Unopened->Seen || QFile::exists(Opened); }));
        QTest::qWait(300);
        CancelPendingAnswers();
        qputenv("PATH", SavedPath);
        QCOMPARE(Unopened->Text, Told
                                     ? "The folder could not be opened: no file manager answered.\n"
                                       "Its path, to copy:\n" +
                                           Scratch.path()
                                     : QString());
        QCOMPARE(QFile::exists(Opened) ? ReadBytes(Opened) : QByteArray(),
                 Launcher.isEmpty() ? QByteArray() : Scratch.path().toUtf8());
    }
};

QTEST_MAIN(TRunNoticesTest)
#include "RunNoticesTest.moc"
