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
#include "startup.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

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
    auto Seen = AnswerNextFileDialog(Path);
    Button(Form, "Button3")->click();
    return Seen;
}

// Writes Data as pieces Base.001, Base.002, ... of Size bytes each, the last one shorter.
void WritePieces(const QString& Base, const QByteArray& Data, qsizetype Size) {
    int Piece = 1;
    for (qsizetype From = 0; From < Data.size(); From += Size, ++Piece)
        WriteBytes(PieceName(Base, Piece), Data.mid(From, Size));
}

} // namespace

class TJoinWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir Dir;
    QString Base;
    QByteArray Whole;

private slots:
    void initTestCase() {
        StartUp();
        QVERIFY(Dir.isValid());
        Base = Dir.filePath(QStringLiteral("video.avi"));
        Whole = PatternBytes(300000);
        WritePieces(Base, Whole, 102400);
    }

    void cleanupTestCase() { ShutDown(); }

    void FirstOpeningAsksForAnInput() {
        auto Form = OpenWindow<TFormJoin>();
        QCOMPARE(Form->windowTitle(), QStringLiteral("Parvox 2.3"));
        QCOMPARE(Form->size(), QSize(544, 274));
        QCOMPARE(InputLabel(Form.get()), QStringLiteral("unknown"));
        QCOMPARE(OutputLabel(Form.get()), QStringLiteral("unknown"));
        QCOMPARE(Form->focusWidget(), Button(Form.get(), "ButtonStart"));
        const QStringList Faults = AccessibilityFaults(Form.get());
        QVERIFY2(Faults.isEmpty(), qPrintable(Faults.join(QLatin1Char('\n'))));
        Button(Form.get(), "ButtonStart")->setFocus();
        for (const char* Next : {"ButtonClose", "Button3", "LabelInputFile", "ButtonStart"}) {
            PressKey(Form.get(), Qt::Key_Tab);
            QCOMPARE(Form->focusWidget()->objectName(), QLatin1String(Next));
        }

        const auto Box = StartAndAnswer(Form.get());
        QCOMPARE(Box->Text, QStringLiteral("Please specify an input file first."));
        QCOMPARE(Box->Title, QStringLiteral("Parvox 2.3"));
        QCOMPARE(Box->Icon, QMessageBox::NoIcon);
        QVERIFY(!ParvoxController->ProgressForm->isVisible());

        const auto Dialog = PickInput(Form.get(), QString());
        QVERIFY(Dialog->Seen);
        QCOMPARE(Dialog->Title, QStringLiteral("Select the first input file"));
        QCOMPARE(Dialog->NameFilters, QStringList{QStringLiteral("001 split files (*.001)")});
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
            auto Dialog = AnswerNextFileDialog(QString());
            PressKey(Form.get(), Qt::Key_F, Shift);
            QVERIFY2(Dialog->Seen, "F did not open the dialog");
        }
        PressCloseKeysWithModifiers(Form.get());
        QVERIFY(Form->isVisible());
        PressKey(Form.get(), Qt::Key_X);
        QVERIFY(!Form->isVisible());

        auto Again = OpenWindow<TFormJoin>();
        PressKey(Again.get(), Qt::Key_C);
        QVERIFY(!Again->isVisible());
    }

    void JoinRebuildsTheSource() {
        auto Form = OpenWindow<TFormJoin>();
        QVERIFY(PickInput(Form.get(), Base + QStringLiteral(".001"))->Seen);
        QCOMPARE(ParvoxApp->Join->GetBaseFileName(), Base.toStdString());
        QCOMPARE(InputLabel(Form.get()), Base + QStringLiteral(".001"));
        QCOMPARE(OutputLabel(Form.get()), Base);

        QCOMPARE(StartAndAnswer(Form.get())->Text, QStringLiteral("Joining Completed"));
        QCOMPARE(ReadBytes(Base), Whole);
        QVERIFY(!ParvoxController->ProgressForm->isVisible());
        QCOMPARE(OutputLabel(Form.get()), Base);
        Form->close();
    }

    void WrongPieceKeepsTheEarlierChoice() {
        auto Form = OpenWindow<TFormJoin>();
        auto Box = AnswerNextMessageBox();
        QVERIFY(PickInput(Form.get(), Base + QStringLiteral(".002"))->Seen);
        QCOMPARE(Box->Text, QStringLiteral("Invalid file name, should have extension .001."));
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
        const QString Other = Dir.filePath(QStringLiteral("other.bin"));
        WritePieces(Other, PatternBytes(3000), 1024);
        WriteBytes(Other, QByteArray("earlier"));

        auto Form = OpenWindow<TFormJoin>();
        QString Text;
        QString InputWhileShown;
        QString Shown;
        OnNextModal([](QWidget* Modal) { return qobject_cast<QMessageBox*>(Modal) != nullptr; },
                    [&](QWidget* Modal) {
                        auto* Box = qobject_cast<QMessageBox*>(Modal);
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
        OnNextModal([](QWidget* Modal) { return qobject_cast<TFormJoin*>(Modal) != nullptr; },
                    [](QWidget* Modal) { PressKey(Modal, Qt::Key_C); });
        PressKey(MainForm, Qt::Key_J, Qt::ControlModifier);
        OnNextModal([](QWidget* Modal) { return qobject_cast<TFormJoin*>(Modal) != nullptr; },
                    [&](QWidget* Modal) {
                        Input = InputLabel(Modal);
                        Output = OutputLabel(Modal);
                        Box = AnswerNextMessageBox();
                        PressKey(Modal, Qt::Key_S);
                        PressKey(Modal, Qt::Key_C);
                    });
        Button(MainForm, "ButtonJoin")->click();
        const QString Piece = Dir.filePath(QStringLiteral("other.bin.001"));
        QCOMPARE(Input, Piece);
        QCOMPARE(Output, Dir.filePath(QStringLiteral("other.bin.joined")));
        QCOMPARE(Box->Text, QStringLiteral("Joining Completed"));
        // The first output was removed, so this join wrote the base name.
        QCOMPARE(ReadBytes(Dir.filePath(QStringLiteral("other.bin"))), PatternBytes(3000));
    }

    void FailedJoinLeavesTheWindowUsable() {
        const QString Lost = Dir.filePath(QStringLiteral("lost.bin"));
        WritePieces(Lost, PatternBytes(5000), 2048);
        auto Form = OpenWindow<TFormJoin>();
        QVERIFY(PickInput(Form.get(), Lost + QStringLiteral(".001"))->Seen);
        QVERIFY(QFile::remove(Lost + QStringLiteral(".001")));

        const auto Box = StartAndAnswer(Form.get());
        QCOMPARE(Box->Text, QStringLiteral("File not found."));
        QCOMPARE(Box->Icon, QMessageBox::Critical);
        QCOMPARE(Box->Title, QString());
        QVERIFY(!ParvoxController->ProgressForm->isVisible());
        QVERIFY(Form->isVisible());
        QVERIFY(Button(Form.get(), "ButtonStart")->isEnabled());
        QCOMPARE(InputLabel(Form.get()), Lost + QStringLiteral(".001"));
        QCOMPARE(OutputLabel(Form.get()), Lost);

        WritePieces(Lost, PatternBytes(5000), 2048);
        QCOMPARE(StartAndAnswer(Form.get())->Text, QStringLiteral("Joining Completed"));
        QCOMPARE(ReadBytes(Lost), PatternBytes(5000));
        Form->close();
    }

    void RunRefusesStartPicksAndClosing() {
        QVERIFY(QFile::remove(Base));
        auto Form = OpenWindow<TFormJoin>();
        QVERIFY(PickInput(Form.get(), Base + QStringLiteral(".001"))->Seen);
        bool Probed = false;
        std::shared_ptr<TSeenDialog> PickDuringRun;
        ProbeDuringRun(*ParvoxApp->Join, [&] {
            Probed = true;
            QCOMPARE(ParvoxController->ProgressForm->Status(), QStringLiteral("Working..."));
            QVERIFY(!Button(Form.get(), "Button3")->isEnabled());
            PickDuringRun = AnswerNextFileDialog(QString());
            for (const Qt::Key Key : {Qt::Key_S, Qt::Key_F, Qt::Key_C, Qt::Key_X, Qt::Key_Escape})
                PressKey(Form.get(), Key);
            QTest::mouseClick(Form->findChild<TClickLabel*>(QStringLiteral("LabelInputFile")),
                              Qt::LeftButton);
            Button(Form.get(), "ButtonClose")->click();
            Form->close();
            QVERIFY(Form->isVisible());
            QVERIFY(!PickDuringRun->Seen);
        });
        QCOMPARE(StartAndAnswer(Form.get())->Text, QStringLiteral("Joining Completed"));
        QVERIFY(Probed);
        QCOMPARE(ReadBytes(Base), Whole);
        QVERIFY(!QFile::exists(Base + QStringLiteral(".joined")));

        PressKey(Form.get(), Qt::Key_F);
        QVERIFY(PickDuringRun->Seen);
        auto Again = AnswerNextMessageBox();
        PressKey(Form.get(), Qt::Key_S, Qt::ShiftModifier);
        QCOMPARE(Again->Text, QStringLiteral("Joining Completed"));
        QCOMPARE(ReadBytes(Base + QStringLiteral(".joined")), Whole);
        PressKey(Form.get(), Qt::Key_Escape);
        QVERIFY(!Form->isVisible());
    }
};

QTEST_MAIN(TJoinWindowTest)
#include "JoinWindowTest.moc"
