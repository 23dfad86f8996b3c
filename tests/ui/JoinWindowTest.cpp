// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The Join window driven as a user drives it: real pieces on disk, the real
// file dialog and message boxes, keys sent to the focused control.
#include "AccessibilityHelpers.h"
#include "QClickLabel.h"
#include "QFJoin.h"
#include "QFMain.h"
#include "QFProgress.h"
#include "RunTestHelpers.h"
#include "UiTestHelpers.h"
#include "classParvox.h"
#include "classParvoxController.h"
#include "classSplit.h"

#include <QAccessible>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <sys/wait.h>

namespace {

const QString Notice =
    QStringLiteral("The a file with the same name as the output file already exists.\r"
                   "Parvox has therefore appended \".JOINED\" to the output file name.");

QString InputLabel(const QWidget* Form) {
    return LabelText(Form, "LabelInputFile");
}

QString OutputLabel(const QWidget* Form) {
    return LabelText(Form, "LabelOutputFile");
}

// Picks Path in the window's file dialog through its Input file button.
std::shared_ptr<TSeenDialog> PickInput(const QWidget* Form, const QString& Path) {
    return DialogAfterClick(Button(Form, "Button3"), Path);
}

// Writes Data as pieces Base.001, Base.002, ... of Size bytes each, the last one shorter.
void WritePieces(const QString& Base, const QByteArray& Data, qsizetype Size) {
    int Piece = 1;
    for (qsizetype From = 0; From < Data.size(); From += Size, ++Piece)
        WriteBytes(PieceName(Base, Piece), Data.mid(From, Size));
}

// Writes the checksum file Base.sha256 of those pieces, as sha256sum lists them.
void WriteSums(const QString& Base, const QByteArray& Data, qsizetype Size) {
    QByteArray Sums;
    int Piece = 1;
    for (qsizetype From = 0; From < Data.size(); From += Size, ++Piece)
        Sums += QCryptographicHash::hash(Data.mid(From, Size), QCryptographicHash::Sha256).toHex() +
                "  " + QFileInfo(PieceName(Base, Piece)).fileName().toUtf8() + "\n";
    WriteBytes(Base + QStringLiteral(".sha256"), Sums);
}

} // namespace

class TJoinWindowTest : public TWindowTest {
    Q_OBJECT

private:
    QString Base;
    QByteArray Whole;

private slots:
    void initTestCase() {
        TWindowTest::initTestCase();
        Base = Scratch.filePath(QStringLiteral("video.avi"));
        Whole = PatternBytes(300000);
        WritePieces(Base, Whole, 102400);
    }

    void FirstOpeningAsksForAnInput() {
        auto Form = OpenWindow<TFormJoin>();
        QCOMPARE(Form->windowTitle(), QStringLiteral("Parvox 2.3"));
        QCOMPARE(Form->size(), QSize(544, 310));
        QCOMPARE(InputLabel(Form.get()), QStringLiteral("unknown"));
        QCOMPARE(OutputLabel(Form.get()), QStringLiteral("unknown"));
        QCOMPARE(Form->focusWidget(), Button(Form.get(), "ButtonStart"));
        VERIFY_NO_FAULTS(AccessibilityFaults(Form.get()));
        QCOMPARE(TabOrder(Form.get(), 6, Button(Form.get(), "ButtonStart")),
                 QString("ButtonStart ButtonClose Button3 LabelInputFile ButtonOutputFolder "
                         "LabelOutputFolder ButtonStart")
                     .split(' '));

        const auto Box = StartAndAnswer(Form.get());
        QCOMPARE(Box->Text, QStringLiteral("Please specify an input file first."));
        QCOMPARE(Box->Title, QStringLiteral("Parvox 2.3"));
        QCOMPARE(Box->Icon, QMessageBox::NoIcon);
        QVERIFY(!ProgressVisible());

        const auto Dialog = PickInput(Form.get(), QString());
        QVERIFY(Dialog->Seen);
        QCOMPARE(Dialog->Title, QStringLiteral("Select the first input file"));
        QCOMPARE(Dialog->NameFilters, (QStringList{QStringLiteral("001 split files (*.001)"),
                                                   QStringLiteral("Recovery files (*.par2)")}));
        QCOMPARE(Dialog->SelectedNameFilter, QStringLiteral("001 split files (*.001)"));
        QCOMPARE(InputLabel(Form.get()), QStringLiteral("unknown"));
        QVERIFY(ParvoxApp->Join->BaseFileNameEmpty());
        Form->close();
    }

    void KeysActWithAnyModifiersButCloseOnlyWithout() {
        auto Form = OpenWindow<TFormJoin>();
        const Qt::KeyboardModifiers Any[] = {Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier,
                                             Qt::AltModifier};
        for (const Qt::KeyboardModifiers Shift : Any) {
            auto Box = AnswerNextMessageBox();
            PressKey(Form.get(), Qt::Key_S, Shift);
            QCOMPARE(Box->Text, QStringLiteral("Please specify an input file first."));
            QVERIFY2(DialogAfterKey(Form.get(), Qt::Key_F, QString(), Shift)->Seen,
                     "F did not open the dialog");
        }
        VERIFY_NO_FAULTS(CloseKeyFaults(Form.get()));
    }

    void JoinRebuildsTheSource() {
        auto Form = OpenWindow<TFormJoin>();
        QVERIFY(PickInput(Form.get(), Base + QStringLiteral(".001"))->Seen);
        QCOMPARE(ParvoxApp->Join->GetBaseFileName(), Base.toStdString());
        QCOMPARE(InputLabel(Form.get()), Base + QStringLiteral(".001"));
        QCOMPARE(OutputLabel(Form.get()), Base);

        QCOMPARE(StartAndAnswer(Form.get())->Text, QStringLiteral("Joining Completed"));
        QCOMPARE(ReadBytes(Base), Whole);
        QVERIFY(!ProgressVisible());
        QCOMPARE(OutputLabel(Form.get()), Base);
        Form->close();
    }

    void FailedPickKeepsTheEarlierChoice_data() {
        QTest::addColumn<QString>("Picked");
        QTest::addColumn<QString>("Message");
        QTest::newRow("a later piece")
            << Base + ".002" << QStringLiteral("Invalid file name, should have extension .001.");
        // A first piece on a share that fails the look-up of the output's name.
        QTest::newRow("a failing medium")
            << QString()
            << QStringLiteral("File access denied.\nInput/output error: %1/fuse/film.");
    }

    void FailedPickKeepsTheEarlierChoice() {
        QFETCH(QString, Picked);
        QFETCH(QString, Message);
        QTemporaryDir Share;
        const auto Medium = [&Share](const char* Command) {
            return WEXITSTATUS(std::system(
                qPrintable(QStringLiteral(MEDIUM_SCRIPT " %1 %2 0 0").arg(Command, Share.path()))));
        };
        const auto Detach = qScopeGuard([&] { Medium("detach"); });
        if (Picked.isEmpty()) {
            const int Status = Medium("share");
            if (Status == 77)
                QSKIP("no FUSE file system here");
            QCOMPARE(Status, 0);
            WriteBytes(Share.filePath(QStringLiteral("refuse")), "film");
            Picked = WriteBytes(Share.filePath(QStringLiteral("files/film.001")), "x");
            Picked.replace(QStringLiteral("/files/"), QStringLiteral("/fuse/"));
        }
        auto Form = OpenWindow<TFormJoin>();
        auto Box = AnswerNextMessageBox();
        QVERIFY(PickInput(Form.get(), Picked)->Seen);
        QCOMPARE(Box->Text, QString(Message).replace(QStringLiteral("%1"), Share.path()));
        QCOMPARE(Box->Icon, QMessageBox::Critical);
        QCOMPARE(Box->Title, QString());
        QCOMPARE(InputLabel(Form.get()), Base + QStringLiteral(".001"));
        QCOMPARE(OutputLabel(Form.get()), Base);
        QCOMPARE(ParvoxApp->Join->GetBaseFileName(), Base.toStdString());
        QVERIFY(Form->isVisible());
        Form->close();
    }

    void ExistingOutputIsAnnouncedBeforeTheLabelsChange() {
        // The join of the previous test left the whole file under the base name.
        QVERIFY(QFile::exists(Base));
        const QString Other = Scratch.filePath(QStringLiteral("other.bin"));
        WritePieces(Other, PatternBytes(3000), 1024);
        WriteBytes(Other, QByteArray("earlier"));

        auto Form = OpenWindow<TFormJoin>();
        QString Text;
        QString InputWhileShown;
        QString Shown;
        OnNextModalOf<QMessageBox>([&](QMessageBox* Box) {
            Text = Box->text();
            InputWhileShown = InputLabel(Form.get());
            Shown = Box->windowTitle();
            Box->accept();
        });
        QVERIFY(PickInput(Form.get(), Other + QStringLiteral(".001"))->Seen);
        QCOMPARE(Text, Notice);
        QCOMPARE(Shown, QStringLiteral("Parvox 2.3"));
        QCOMPARE(InputWhileShown, Base + QStringLiteral(".001"));
        QCOMPARE(InputLabel(Form.get()), Other + QStringLiteral(".001"));
        QCOMPARE(OutputLabel(Form.get()), Other + QStringLiteral(".joined"));

        QCOMPARE(StartAndAnswer(Form.get())->Text, QStringLiteral("Joining Completed"));
        QCOMPARE(ReadBytes(Other + QStringLiteral(".joined")), PatternBytes(3000));
        QCOMPARE(ReadBytes(Other), QByteArray("earlier"));
        Form->close();
        QVERIFY(QFile::remove(Other));
    }

    void ReopeningRestoresTheLabelsAndTheInput() {
        // Opened from the main window twice, as the user does; the pieces
        // picked before are still the engine's choice.
        QString Input;
        QString Output;
        std::shared_ptr<TSeenBox> Box;
        QVERIFY(ReopenFromMain<TFormJoin>(
            Qt::Key_J, Qt::ControlModifier, "ButtonJoin",
            [](QWidget* Form) { PressKey(Form, Qt::Key_C); },
            [&](QWidget* Form) {
                Input = InputLabel(Form);
                Output = OutputLabel(Form);
                Box = BoxAfterKey(Form, Qt::Key_S);
                PressKey(Form, Qt::Key_C);
            }));
        const QString Piece = Scratch.filePath(QStringLiteral("other.bin.001"));
        QCOMPARE(Input, Piece);
        QCOMPARE(Output, Scratch.filePath(QStringLiteral("other.bin.joined")));
        QCOMPARE(Box->Text, QStringLiteral("Joining Completed"));
        // The first output was removed, so this join wrote the base name.
        QCOMPARE(ReadBytes(Scratch.filePath(QStringLiteral("other.bin"))), PatternBytes(3000));
    }

    void FailedJoinLeavesTheWindowUsable() {
        const QString Lost = Scratch.filePath(QStringLiteral("lost.bin"));
        WritePieces(Lost, PatternBytes(5000), 2048);
        auto Form = OpenWindow<TFormJoin>();
        QVERIFY(PickInput(Form.get(), Lost + QStringLiteral(".001"))->Seen);
        QVERIFY(QFile::remove(Lost + QStringLiteral(".001")));

        VERIFY_NO_FAULTS(
            FailedRunFaults(*StartAndAnswer(Form.get()), Form.get(),
                            "File not found.\nNo such file or directory: " + Lost + ".001."));
        QCOMPARE(InputLabel(Form.get()), Lost + QStringLiteral(".001"));
        QCOMPARE(OutputLabel(Form.get()), Lost);

        WritePieces(Lost, PatternBytes(5000), 2048);
        QCOMPARE(StartAndAnswer(Form.get())->Text, QStringLiteral("Joining Completed"));
        QCOMPARE(ReadBytes(Lost), PatternBytes(5000));

        // With a checksum file, a damaged piece is named, and a whole set is reported as checked.
        WriteSums(Lost, PatternBytes(5000), 2048);
        WriteBytes(PieceName(Lost, 2), PatternBytes(2048).toUpper());
        VERIFY_NO_FAULTS(FailedRunFaults(
            *StartAndAnswer(Form.get()), Form.get(),
            QStringLiteral("lost.bin.002 is damaged: it differs from the piece that was split "
                           "(lost.bin.sha256). Copy it again and join once more.")));
        WritePieces(Lost, PatternBytes(5000), 2048);
        QCOMPARE(StartAndAnswer(Form.get())->Text,
                 QStringLiteral("Joining Completed\nAll 3 pieces match lost.bin.sha256."));

        // With recovery data beside them, the damaged piece is rebuilt and the user told so.
        QVERIFY(QDir(Scratch.path()).mkpath(QStringLiteral("source")));
        WriteBytes(Scratch.filePath(QStringLiteral("source/lost.bin")), PatternBytes(5000));
        TSplit Split;
        Split.SetBaseFileName(Scratch.filePath(QStringLiteral("source/lost.bin")).toStdString());
        Split.OutputFolder = Scratch.path().toStdString();
        Split.SplitSize = 2;
        Split.WriteChecksumFile = true;
        Split.Recovery = TRecoveryEncoder::TAmount{0, true};
        Split.Execute();
        WriteBytes(PieceName(Lost, 2), PatternBytes(2048).toUpper());
        QCOMPARE(StartAndAnswer(Form.get())->Text,
                 QStringLiteral("Joining Completed\nlost.bin.002 was damaged: 1 block was rebuilt "
                                "from the recovery data. All 3 pieces match lost.bin.sha256."));
        QCOMPARE(ReadBytes(Lost + QStringLiteral(".joined")), PatternBytes(5000));
        // A set whose first piece is lost is picked by its recovery file; the
        // piece is asked for, and skipped.
        WriteBytes(PieceName(Lost, 2), PatternBytes(5000).mid(2048, 2048));
        QVERIFY(QFile::remove(Lost + QStringLiteral(".001")));
        QVERIFY(QFile::remove(Lost + QStringLiteral(".joined")));
        QVERIFY(QFile::remove(Lost));
        QVERIFY(PickInput(Form.get(), Lost + QStringLiteral(".par2"))->Seen);
        QCOMPARE(InputLabel(Form.get()), Lost + QStringLiteral(".001"));
        std::shared_ptr<TSeenBox> Done;
        OnNextModal(
            [](QWidget* Modal) {
                const auto* Box = qobject_cast<QMessageBox*>(Modal);
                return Box != nullptr && Box->text().startsWith(QStringLiteral("lost.bin.001 is "
                                                                               "not on this"));
            },
            [&Done](QWidget* Modal) {
                Done = AnswerNextMessageBox();
                QTest::keyClick(Modal, Qt::Key_S);
            });
        Button(Form.get(), "ButtonStart")->click();
        QVERIFY(WaitFor([&Done] { return Done && Done->Seen; }));
        QCOMPARE(Done->Text,
                 QStringLiteral("Joining Completed\nlost.bin.001 was missing: 1 block was "
                                "rebuilt from the recovery data. All 3 pieces match "
                                "lost.bin.sha256."));
        QCOMPARE(ReadBytes(Lost), PatternBytes(5000));
        Form->close();
    }

    // The joined file goes to the folder chosen, under the name that is free
    // there; a new input brings it back beside the pieces.
    void OutputFolderRow() {
        QTemporaryDir Disk;
        WriteBytes(Disk.filePath(QStringLiteral("video.avi")), "earlier");
        auto Form = OpenWindow<TFormJoin>();
        AnswerNextMessageBox(); // the notice of ".JOINED": the file joined earlier is there
        QVERIFY(PickInput(Form.get(), Base + QStringLiteral(".001"))->Seen);
        QVERIFY(DialogAfterKey(Form.get(), Qt::Key_O, Disk.path())->Seen);
        QCOMPARE(OutputLabel(Form.get()), Disk.filePath(QStringLiteral("video.avi.joined")));
        QCOMPARE(StartAndAnswer(Form.get())->Text, QStringLiteral("Joining Completed"));
        QCOMPARE(ReadBytes(Disk.filePath(QStringLiteral("video.avi.joined"))), Whole);
        QCOMPARE(ReadBytes(Disk.filePath(QStringLiteral("video.avi"))), QByteArray("earlier"));
        AnswerNextMessageBox();
        QVERIFY(PickInput(Form.get(), Base + QStringLiteral(".001"))->Seen);
        QCOMPARE(LabelText(Form.get(), "LabelOutputFolder"), Scratch.path());
        Form->close();
    }

    // A set over two discs: the pieces of the first, then the question for
    // the one on the second, answered from the keyboard with its folder or
    // with Escape, which stops the run without a message.
    void QuestionForThePieceOnTheNextMedium_data() {
        QTest::addColumn<int>("Key");
        QTest::addColumn<QString>("Done");
        QTest::newRow("a folder") << int(Qt::Key_F)
                                  << "Joining Completed\nAll 3 pieces match spread.bin.sha256.";
        QTest::newRow("cancel") << int(Qt::Key_Escape) << QString();
    }

    void QuestionForThePieceOnTheNextMedium() {
        QFETCH(int, Key);
        QFETCH(QString, Done);
        const QDir Discs(Scratch.filePath(QStringLiteral("discs")));
        QVERIFY(Discs.mkpath(QStringLiteral("one")) && Discs.mkpath(QStringLiteral("two")) &&
                Discs.mkpath(QStringLiteral("out")));
        const QString First = Discs.filePath(QStringLiteral("one/spread.bin"));
        const QByteArray Data = PatternBytes(5000);
        WritePieces(First, Data, 2048);
        WriteSums(First, Data, 2048);
        QVERIFY(QFile::rename(First + QStringLiteral(".003"),
                              Discs.filePath(QStringLiteral("two/spread.bin.003"))));

        auto Form = OpenWindow<TFormJoin>();
        QVERIFY(PickInput(Form.get(), First + QStringLiteral(".001"))->Seen);
        QVERIFY(DialogAfterKey(Form.get(), Qt::Key_O, Discs.filePath(QStringLiteral("out")))->Seen);
        QString Asked;
        QStringList Heard;
        bool ProgressWhileAsked = true;
        std::shared_ptr<TSeenBox> After;
        OnNextModal(
            [](QWidget* Modal) {
                const auto* Box = qobject_cast<QMessageBox*>(Modal);
                return Box != nullptr && Box->text().contains(QStringLiteral("not on this medium"));
            },
            [&](QWidget* Modal) {
                auto* Box = static_cast<QMessageBox*>(Modal);
                Asked = Box->text();
                ProgressWhileAsked = ProgressVisible();
                // What a screen reader reads: the question, then each answer.
                Heard << QAccessible::queryAccessibleInterface(Box)->text(QAccessible::Value);
                const auto Buttons = Box->buttons();
                for (QAbstractButton* Answer : Buttons)
                    Heard << QAccessible::queryAccessibleInterface(Answer)->text(QAccessible::Name);
                if (Key == Qt::Key_F)
                    AnswerNextFileDialog(Discs.filePath(QStringLiteral("two")));
                After = AnswerNextMessageBox();
                QTest::keyClick(Box, Qt::Key(Key));
            });
        Button(Form.get(), "ButtonStart")->click();
        const QString Out = Discs.filePath(QStringLiteral("out/spread.bin"));
        QCOMPARE(Asked, QStringLiteral("spread.bin.003 is not on this medium. Insert the stick "
                                       "or disc that holds it and choose its folder."));
        QCOMPARE(Heard, QStringList(
                            {Asked, QStringLiteral("Choose Folder..."), QStringLiteral("Cancel")}));
        QVERIFY(!ProgressWhileAsked);
        QVERIFY(WaitFor([&] { return After->Seen || Done.isEmpty(); }));
        if (Done.isEmpty()) {
            QVERIFY(!After->Seen);
            QVERIFY(!QFile::exists(Out));
        } else {
            QCOMPARE(After->Text, Done);
            QCOMPARE(ReadBytes(Out), Data);
        }
        CancelPendingAnswers();
        VERIFY_NO_FAULTS(ControlFaults(Form.get(), true));
        QVERIFY(!ProgressVisible());
        Form->close();
        QVERIFY(QDir(Discs).removeRecursively());
    }

    void RunRefusesStartPicksAndClosing() {
        QVERIFY(QFile::remove(Base));
        auto Form = OpenWindow<TFormJoin>();
        QVERIFY(PickInput(Form.get(), Base + QStringLiteral(".001"))->Seen);
        {
            TRunGuardProbe Run(*ParvoxApp->Join, Form.get(), [&Form] { Form->ButtonStartClick(); },
                               {Qt::Key_F},
                               {QStringLiteral("LabelInputFile"), QStringLiteral("Button3")});
            QCOMPARE(StartAndAnswer(Form.get())->Text, QStringLiteral("Joining Completed"));
            VERIFY_NO_FAULTS(Run.Faults());
        }
        QCOMPARE(ReadBytes(Base), Whole);
        QVERIFY(!QFile::exists(Base + QStringLiteral(".joined")));
        VERIFY_NO_FAULTS(
            AfterRunFaults(Form.get(), Qt::Key_F, QStringLiteral("Joining Completed")));
        QCOMPARE(ReadBytes(Base + QStringLiteral(".joined")), Whole);
    }
};

QTEST_MAIN(TJoinWindowTest)
#include "JoinWindowTest.moc"
