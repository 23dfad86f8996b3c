// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The whole way a user goes, from the main window and with the keys only:
// split a file, join its pieces back and prove with compare and checksum
// that the rebuilt file equals the source.
#include "QFChecksum.h"
#include "QFCompare.h"
#include "QFJoin.h"
#include "QFMain.h"
#include "QFSplit.h"
#include "UiTestHelpers.h"
#include "startup.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

// Runs Steps in the next window of class TForm that the main window opens on
// Key, and waits until that window has closed again.
template <typename TForm>
bool InWindowOpenedBy(Qt::Key Key, const std::function<void(QWidget*)>& Steps) {
    bool Opened = false;
    OnNextModal([](QWidget* Modal) { return dynamic_cast<TForm*>(Modal) != nullptr; },
                [&](QWidget* Window) {
                    Opened = true;
                    Steps(Window);
                });
    PressKey(MainForm, Key);
    CancelPendingAnswers();
    return Opened && QApplication::activeModalWidget() == nullptr;
}

// Picks Path with the window's file key, then answers the boxes that follow.
void Pick(QWidget* Window, Qt::Key Key, const QString& Path) {
    auto Dialog = AnswerNextFileDialog(Path);
    PressKey(Window, Key);
    QVERIFY(Dialog->Seen);
}

// Presses Start and returns the text of the message box that answers it.
QString Start(QWidget* Window) {
    auto Box = AnswerNextMessageBox(QMessageBox::Ok);
    PressKey(Window, Qt::Key_S);
    return WaitFor([&] { return Box->Seen; }) ? Box->Text : QStringLiteral("(no message)");
}

} // namespace

class WholeWayTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QApplication::setQuitOnLastWindowClosed(false);
        StartUp();
        QVERIFY(QTest::qWaitForWindowExposed(MainForm));
    }

    void cleanupTestCase() { ShutDown(); }

    void splitCarryJoinAndVerify() {
        QTemporaryDir Dir;
        const QString Source = Dir.filePath(QStringLiteral("holiday.mov"));
        QByteArray Data(3'000'000, Qt::Uninitialized);
        QRandomGenerator Generator(7);
        for (char& Byte : Data)
            Byte = static_cast<char>(Generator.generate());
        QFile Out(Source);
        QVERIFY(Out.open(QIODevice::WriteOnly));
        Out.write(Data);
        Out.close();

        QString SplitMessage;
        QVERIFY(InWindowOpenedBy<TFormSplit>(Qt::Key_S, [&](QWidget* Split) {
            Pick(Split, Qt::Key_F, Source);
            SplitMessage = Start(Split);
            PressKey(Split, Qt::Key_C);
        }));
        QCOMPARE(SplitMessage,
                 "Splitting completed\n3 pieces and holiday.mov.sha256 in " + Dir.path() + ".");
        const QStringList Pieces{Source + ".001", Source + ".002", Source + ".003"};
        QCOMPARE(QFileInfo(Pieces[0]).size(), 1'433'600);
        QCOMPARE(QFileInfo(Pieces[1]).size(), 1'433'600);
        QCOMPARE(QFileInfo(Pieces[2]).size(), 132'800);
        QVERIFY(!QFileInfo::exists(Source + ".004"));

        // The pieces travel; on the other side the source is still there, so
        // the join writes beside it and says so first.
        QString Notice, JoinMessage;
        QVERIFY(InWindowOpenedBy<TFormJoin>(Qt::Key_J, [&](QWidget* Join) {
            auto NoticeBox = AnswerNextMessageBox(QMessageBox::Ok);
            Pick(Join, Qt::Key_F, Pieces[0]);
            Notice = NoticeBox->Text;
            JoinMessage = Start(Join);
            PressKey(Join, Qt::Key_X);
        }));
        QVERIFY(Notice.startsWith(QStringLiteral("The a file with the same name")));
        // The split wrote its checksum file, as the Split window does at first.
        QCOMPARE(JoinMessage,
                 QStringLiteral("Joining Completed\nAll 3 pieces match holiday.mov.sha256."));
        const QString Rebuilt = Source + ".joined";

        QString CompareMessage;
        QVERIFY(InWindowOpenedBy<TFormCompare>(Qt::Key_O, [&](QWidget* Compare) {
            Pick(Compare, Qt::Key_1, Source);
            Pick(Compare, Qt::Key_2, Rebuilt);
            CompareMessage = Start(Compare);
            PressKey(Compare, Qt::Key_C);
        }));
        QCOMPARE(CompareMessage, QStringLiteral("Files are equal"));

        quint64 Sum = 0;
        for (const char Byte : Data)
            Sum += static_cast<unsigned char>(Byte);
        QStringList Checksums;
        for (const QString& File : {Source, Rebuilt}) {
            QVERIFY(InWindowOpenedBy<TFormChecksum>(Qt::Key_K, [&](QWidget* Checksum) {
                Pick(Checksum, Qt::Key_F, File);
                QCOMPARE(Start(Checksum), QStringLiteral("Checksum ready"));
                Checksums << Checksum->findChild<QLabel*>(QStringLiteral("LabelChecksum"))->text();
                PressKey(Checksum, Qt::Key_X);
            }));
        }
        QCOMPARE(Checksums, QStringList(2, QString::number(Sum % 1'000'000'000)));
        QVERIFY(MainForm->isVisible());
    }
};

QTEST_MAIN(WholeWayTest)
#include "WholeWayTest.moc"
