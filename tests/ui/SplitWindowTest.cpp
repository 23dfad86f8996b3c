// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The Split window driven as a user drives it: real files, the real file
// dialog and message boxes, keys sent to the focused control.
#include "AccessibilityHelpers.h"
#include "QClickLabel.h"
#include "QFProgress.h"
#include "QFSplit.h"
#include "RunTestHelpers.h"
#include "UiTestHelpers.h"
#include "classParvox.h"
#include "classParvoxController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace {

const QStringList SplitFilters = {QStringLiteral("All files (*)"),
                                  QStringLiteral("Applications (*.exe *.com *.dll)"),
                                  QStringLiteral("Text files (*.txt *.doc *.rtf)"),
                                  QStringLiteral("Archives (*.zip *.arj *.lha *.arc)")};

QLineEdit* SizeBox(const QWidget* Form) {
    return Control<QLineEdit>(Form, "EditSplitFileSize");
}

QComboBox* Units(const QWidget* Form) {
    return Control<QComboBox>(Form, "ComboUnits");
}

QString InputLabel(const QWidget* Form) {
    return LabelText(Form, "LabelInputFile");
}

// Picks Path in the window's file dialog through the clickable label.
void PickInput(const QWidget* Form, const QString& Path) {
    QVERIFY(DialogAfterClick(Control<TClickLabel>(Form, "LabelInputFile"), Path)->Seen);
}

// What reaches a terminal that stands in for one of the standard outputs.
class TTerminalCapture {
public:
    explicit TTerminalCapture(int Stream) : Stream(Stream) {
        Master = posix_openpt(O_RDWR | O_NOCTTY);
        if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0)
            qFatal("no pseudo terminal");
        const int Slave = open(ptsname(Master), O_RDWR | O_NOCTTY);
        Saved = dup(Stream);
        dup2(Slave, Stream);
        close(Slave);
    }
    ~TTerminalCapture() {
        dup2(Saved, Stream);
        close(Saved);
        close(Master);
    }
    TTerminalCapture(const TTerminalCapture&) = delete;
    TTerminalCapture& operator=(const TTerminalCapture&) = delete;

    // Everything written to the terminal since the last call.
    QByteArray Written() const {
        fcntl(Master, F_SETFL, O_NONBLOCK);
        QByteArray Data;
        char Buffer[64];
        ssize_t Count = 0;
        while ((Count = read(Master, Buffer, sizeof Buffer)) > 0)
            Data.append(Buffer, Count);
        return Data;
    }

private:
    int Stream;
    int Master = -1;
    int Saved = -1;
};

// Replaces a standard output with a pipe, which is no terminal.
class TPipeStandIn {
public:
    explicit TPipeStandIn(int Stream) : Stream(Stream) {
        int Ends[2];
        if (pipe(Ends) != 0)
            qFatal("no pipe");
        Saved = dup(Stream);
        dup2(Ends[1], Stream);
        close(Ends[1]);
        ReadEnd = Ends[0];
    }
    ~TPipeStandIn() {
        dup2(Saved, Stream);
        close(Saved);
        close(ReadEnd);
    }
    TPipeStandIn(const TPipeStandIn&) = delete;
    TPipeStandIn& operator=(const TPipeStandIn&) = delete;

private:
    int Stream;
    int Saved;
    int ReadEnd;
};

} // namespace

class TSplitWindowTest : public TWindowTest {
    Q_OBJECT

private:
    QString Source;

private slots:
    void initTestCase() {
        TWindowTest::initTestCase();
        Source = MakeFile(QStringLiteral("movie.avi"), PatternBytes(3000000));
    }

    void FirstOpeningShowsTheLayoutDefaults() {
        auto Form = OpenWindow<TFormSplit>();
        QCOMPARE(Form->windowTitle(), QStringLiteral("Parvox 2.3"));
        QCOMPARE(Form->size(), QSize(538, 353));
        QCOMPARE(InputLabel(Form.get()), QStringLiteral("unknown"));
        QCOMPARE(SizeBox(Form.get())->text(), QStringLiteral("1400"));
        QCOMPARE(SizeBox(Form.get())->maxLength(), 6);
        QCOMPARE(SizeBox(Form.get())->height(), Units(Form.get())->height());
        QCOMPARE(Units(Form.get())->currentText(), QStringLiteral("Kbytes"));
        QCOMPARE(Form->focusWidget(), SizeBox(Form.get()));
        VERIFY_NO_FAULTS(AccessibilityFaults(Form.get()));

        QVERIFY(Control<QCheckBox>(Form.get(), "CheckChecksumFile")->isChecked());
        QCOMPARE(Control<QComboBox>(Form.get(), "ComboRecovery")->currentText(),
                 QStringLiteral("None"));

        QCOMPARE(TabOrder(Form.get(), 12, SizeBox(Form.get())),
                 QString("EditSplitFileSize ComboUnits ComboMedium SpinPieces ComboRecovery "
                         "CheckChecksumFile ButtonStart ButtonClose ButtonInputFile "
                         "LabelInputFile ButtonOutputFolder LabelOutputFolder EditSplitFileSize")
                     .split(' '));

        // The dialog offers the four filters, the first selected, under
        // Qt's own title; cancelling it changes nothing.
        const auto Dialog = DialogAfterClick(Button(Form.get(), "ButtonInputFile"), QString());
        QVERIFY(Dialog->Seen);
        QCOMPARE(Dialog->NameFilters, SplitFilters);
        QCOMPARE(Dialog->SelectedNameFilter, SplitFilters.first());
        QFileDialog Plain;
        Plain.setOption(QFileDialog::DontUseNativeDialog);
        QCOMPARE(Dialog->Title, Plain.windowTitle());
        QCOMPARE(InputLabel(Form.get()), QStringLiteral("unknown"));
        QVERIFY(ParvoxApp->Split->BaseFileNameEmpty());
        Form->close();
    }

    void RefusedSettingsAreExplained() {
        auto Form = OpenWindow<TFormSplit>();
        QLineEdit* Size = SizeBox(Form.get());
        // The size is checked first, so these hold even with no input picked.
        for (const QString& Text : {QString(), QStringLiteral("0"), QStringLiteral("000")}) {
            Size->setText(Text);
            const auto Box = StartAndAnswer(Form.get());
            QVERIFY(Box->Seen);
            QCOMPARE(Box->Text, QStringLiteral("Invalid split file size."));
            QCOMPARE(Box->Title, QStringLiteral("Parvox 2.3"));
            QCOMPARE(Box->Icon, QMessageBox::NoIcon);
            QCOMPARE(Box->Buttons.size(), 1);
        }
        Size->setText(QStringLiteral("5"));
        Units(Form.get())->setCurrentIndex(-1);
        QCOMPARE(StartAndAnswer(Form.get())->Text,
                 QStringLiteral("Please select the split file size units first."));
        Units(Form.get())->setCurrentIndex(0);
        QCOMPARE(StartAndAnswer(Form.get())->Text,
                 QStringLiteral("No source file has been specified"));
        QVERIFY(!ProgressVisible());
        QVERIFY(PieceSizes(Source).isEmpty());
        Size->setText(QStringLiteral("1400"));
        Form->close();
    }

    void DefaultSettingsSplitIntoKilobytePieces() {
        auto Form = OpenWindow<TFormSplit>();
        PickInput(Form.get(), Source);
        QCOMPARE(InputLabel(Form.get()), Source);
        QCOMPARE(ParvoxApp->Split->GetBaseFileName(), Source.toStdString());

        // The second line tells what the run made, as it counted it.
        const auto Box = StartAndAnswer(Form.get());
        QCOMPARE(Box->Text,
                 "Splitting completed\n3 pieces and movie.avi.sha256 in " + Scratch.path() + ".");
        QCOMPARE(PieceSizes(Source), (QList<qint64>{1433600, 1433600, 132800}));
        const QByteArray Whole = ReadBytes(Source);
        QCOMPARE(ReadBytes(Source + QStringLiteral(".002")), Whole.mid(1433600, 1433600));
        QVERIFY(!ProgressVisible());
        // A split leaves the window as it was.
        QCOMPARE(InputLabel(Form.get()), Source);
        QCOMPARE(SizeBox(Form.get())->text(), QStringLiteral("1400"));
        QVERIFY(Form->isVisible());
        Form->close();
    }

    void MegabytesAreThousandBlocks() {
        auto Form = OpenWindow<TFormSplit>();
        SizeBox(Form.get())->setText(QStringLiteral("1"));
        Units(Form.get())->setCurrentIndex(1);
        auto Box = AnswerNextMessageBox();
        PressKey(Form.get(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(Box->Text.section(QLatin1Char('\n'), 0, 0), QStringLiteral("Splitting completed"));
        // The earlier split's third piece is gone, replaced by this split's pieces.
        QCOMPARE(PieceSizes(Source), (QList<qint64>{1024000, 1024000, 952000}));
        QCOMPARE(ReadBytes(Source + QStringLiteral(".003")), ReadBytes(Source).mid(2048000));
        Form->close();
    }

    void KeysActWithAnyModifiersButCloseOnlyWithout() {
        auto Form = OpenWindow<TFormSplit>();
        SizeBox(Form.get())->setText(QStringLiteral("0"));
        const Qt::KeyboardModifiers Any[] = {Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier,
                                             Qt::AltModifier};
        for (const Qt::KeyboardModifiers Shift : Any) {
            Button(Form.get(), "ButtonStart")->setFocus();
            auto Box = AnswerNextMessageBox();
            PressKey(Form.get(), Qt::Key_S, Shift);
            QVERIFY2(Box->Seen, "S did not start");
            QCOMPARE(Box->Text, QStringLiteral("Invalid split file size."));

            QVERIFY2(DialogAfterKey(Form.get(), Qt::Key_F, QString(), Shift)->Seen,
                     "F did not open the dialog");

            Button(Form.get(), "ButtonClose")->setFocus();
            PressKey(Form.get(), Qt::Key_Z, Shift);
            QCOMPARE(Form->focusWidget(), SizeBox(Form.get()));
            const bool Checked = Control<QCheckBox>(Form.get(), "CheckChecksumFile")->isChecked();
            PressKey(Form.get(), Qt::Key_W, Shift);
            QCOMPARE(Control<QCheckBox>(Form.get(), "CheckChecksumFile")->isChecked(), !Checked);
            PressKey(Form.get(), Qt::Key_R, Shift);
            QCOMPARE(Form->focusWidget(), Control<QComboBox>(Form.get(), "ComboRecovery"));
            QVERIFY2(DialogAfterKey(Form.get(), Qt::Key_O, QString(), Shift)->Seen,
                     "O did not open the folder dialog");
        }
        QCOMPARE(InputLabel(Form.get()), Source);

        Button(Form.get(), "ButtonStart")->setFocus();
        PressCloseKeysWithModifiers(Form.get());
        QVERIFY(Form->isVisible());
        // Z selects the size, so that the typed one replaces it; so does Ctrl+A.
        SizeBox(Form.get())->setText(QStringLiteral("1400"));
        PressKey(Form.get(), Qt::Key_Z);
        QTest::keyClicks(SizeBox(Form.get()), QStringLiteral("2000"));
        QCOMPARE(SizeBox(Form.get())->text(), QStringLiteral("2000"));
        PressKey(Form.get(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(SizeBox(Form.get()), QStringLiteral("1400"));
        // The close keys act also from the size box.
        VERIFY_NO_FAULTS(CloseKeyFaults(Form.get()));
    }

    void SizeBoxTakesOnlyDigits() {
        auto Form = OpenWindow<TFormSplit>();
        QLineEdit* Size = SizeBox(Form.get());
        Size->setFocus();
        Size->end(false);
        // The test's own output goes to standard output, so nothing is
        // compared while the standard streams are replaced.
        QString AfterRefused;
        QByteArray BeepsOnError;
        QString AfterEditing;
        QByteArray SilentOnOutput;
        QByteArray BeepOnOutput;
        {
            const TPipeStandIn NoTerminalOut(STDOUT_FILENO);
            const TTerminalCapture Terminal(STDERR_FILENO);
            // Enter and Escape too: neither starts the split nor closes the window.
            for (const Qt::Key Refused : {Qt::Key_Minus, Qt::Key_Period, Qt::Key_Space,
                                          Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                PressKey(Form.get(), Refused);
            AfterRefused = Size->text();
            BeepsOnError = Terminal.Written();
        }
        {
            // With no terminal on standard error the beep goes to standard output.
            const TPipeStandIn NoTerminalError(STDERR_FILENO);
            const TTerminalCapture Terminal(STDOUT_FILENO);
            PressKey(Form.get(), Qt::Key_Backspace);
            PressKey(Form.get(), Qt::Key_Left);
            PressKey(Form.get(), Qt::Key_9);
            AfterEditing = Size->text();
            SilentOnOutput = Terminal.Written();
            PressKey(Form.get(), Qt::Key_A);
            BeepOnOutput = Terminal.Written();
        }
        QCOMPARE(AfterRefused, QStringLiteral("1400"));
        QCOMPARE(BeepsOnError, QByteArray(6, '\a'));
        QVERIFY(Form->isVisible());
        QCOMPARE(AfterEditing, QStringLiteral("1490"));
        QCOMPARE(SilentOnOutput, QByteArray());
        QCOMPARE(BeepOnOutput, QByteArray("\a"));
        QCOMPARE(Size->text(), QStringLiteral("1490"));
        Size->setText(QStringLiteral("1234567"));
        QCOMPARE(Size->text(), QStringLiteral("123456"));
        Size->setText(QStringLiteral("1400"));
        Form->close();
    }

    void ReopeningRestoresTheWindowAndTheInput() {
        // Opened from the main window, as the user does, twice.
        QString Label;
        QString Size;
        QString Unit;
        QString Recovery;
        std::shared_ptr<TSeenBox> Box;
        QVERIFY(ReopenFromMain<TFormSplit>(
            Qt::Key_S, Qt::ShiftModifier, "ButtonSplit",
            [](QWidget* Form) {
                SizeBox(Form)->setText(QStringLiteral("2"));
                Units(Form)->setCurrentIndex(1);
                Control<QComboBox>(Form, "ComboRecovery")->setCurrentIndex(3);
                PressKey(Form, Qt::Key_C);
            },
            [&](QWidget* Form) {
                Label = InputLabel(Form);
                Size = SizeBox(Form)->text();
                Unit = Units(Form)->currentText();
                Recovery = Control<QComboBox>(Form, "ComboRecovery")->currentText();
                Control<QComboBox>(Form, "ComboRecovery")->setCurrentIndex(0);
                Box = StartAndAnswer(Form);
                Button(Form, "ButtonClose")->click();
            }));
        QCOMPARE(Label, Source);
        QCOMPARE(Size, QStringLiteral("2"));
        QCOMPARE(Unit, QStringLiteral("Mbytes"));
        QCOMPARE(Recovery, QStringLiteral("One lost piece"));
        QCOMPARE(Box->Text.section(QLatin1Char('\n'), 0, 0), QStringLiteral("Splitting completed"));
        QCOMPARE(PieceSizes(Source), (QList<qint64>{2048000, 952000}));
    }

    void FailedSplitLeavesTheWindowUsable() {
        const QString Gone = MakeFile(QStringLiteral("gone.bin"), PatternBytes(5000));
        auto Form = OpenWindow<TFormSplit>();
        PickInput(Form.get(), Gone);
        QVERIFY(QFile::remove(Gone));

        VERIFY_NO_FAULTS(
            FailedRunFaults(*StartAndAnswer(Form.get()), Form.get(),
                            "File not found.\nNo such file or directory: " + Gone + "."));
        QCOMPARE(InputLabel(Form.get()), Gone);
        QCOMPARE(SizeBox(Form.get())->text(), QStringLiteral("2"));

        // The window goes on: the next pick and split work.
        PickInput(Form.get(), Source);
        QCOMPARE(StartAndAnswer(Form.get())->Text.section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("Splitting completed"));
        Form->close();
    }

    // A medium (M, then Down) or a number of pieces (P) for a file of a
    // size: the size and unit filled in, the line under them, and the pieces
    // made, beside the input or on a stick chosen as the output folder.
    void MediumOrPiecesGiveTheSize_data() {
        QTest::addColumn<qint64>("FileSize");
        QTest::addColumn<int>("Medium");
        QTest::addColumn<QString>("Pieces");
        QTest::addColumn<QString>("Size");
        QTest::addColumn<QString>("Line");
        QTest::addColumn<QList<qint64>>("Made");
        QTest::addColumn<bool>("ToStick");
        QTest::addColumn<int>("Recovery");
        QTest::addColumn<QString>("Also");
        const auto Row = [](const char* Name, qint64 FileSize, int Medium, const char* Pieces,
                            const char* Size, const char* Line, QList<qint64> Made = {},
                            bool ToStick = false, int Recovery = 0,
                            const char* Also = " and film.mkv.sha256") {
            QTest::newRow(Name) << FileSize << Medium << QString(Pieces) << QString(Size)
                                << QString(Line) << Made << ToStick << Recovery << QString(Also);
        };
        Row("FAT32 stick", 5'000'000'000, 1, "", "4194 Mbytes",
            "5.0 GB: 2 pieces, one of 4.3 GB and one of 705.3 MB");
        // One medium in Mbytes, one in Kbytes; the others are filled in alike.
        Row("e-mail, onto a stick", 3'000'000, 6, "", "14226 Kbytes",
            "3.0 MB: 1 piece, the whole file", {3'000'000}, true);
        Row("4 pieces", 3'000'000, 0, "4", "733 Kbytes",
            "3.0 MB: 4 pieces, 3 of 750.6 kB and one of 748.2 kB",
            {750'592, 750'592, 750'592, 748'224});
        Row("2 pieces, beyond six digits of Kbytes", 5'000'000'000, 0, "2", "2442 Mbytes",
            "5.0 GB: 2 pieces, one of 2.5 GB and one of 2.5 GB");
        // Whole Kbytes cannot make 7 pieces of 10,000 bytes; the line says what they make.
        Row("7 pieces asked for, 5 made", 10'000, 0, "7", "2 Kbytes",
            "10.0 kB: 5 pieces, 4 of 2.0 kB and one of 1.8 kB", {2048, 2048, 2048, 2048, 1808});
        // The recovery data, with what it adds; R takes the list.
        Row("4 pieces, 10 per cent", 3'000'000, 0, "4", "733 Kbytes",
            "3.0 MB: 4 pieces, 3 of 750.6 kB and one of 748.2 kB + 631.7 kB of recovery data",
            {750'592, 750'592, 750'592, 748'224}, false, 2,
            ", film.mkv.sha256 and 8 recovery files");
        Row("one lost piece of 2, onto a stick", 5'000'000'000, 1, "", "4194 Mbytes",
            "5.0 GB: 2 pieces, one of 4.3 GB and one of 705.3 MB + 4.3 GB of recovery data", {},
            false, 3);
    }

    void MediumOrPiecesGiveTheSize() {
        QFETCH(qint64, FileSize);
        QFETCH(int, Medium);
        QFETCH(QString, Pieces);
        QFETCH(QList<qint64>, Made);
        QFETCH(bool, ToStick);
        QTemporaryDir Stick;
        const QString Film = Scratch.filePath(QStringLiteral("film.mkv"));
        QFile File(Film);
        QVERIFY(File.open(QIODevice::WriteOnly) && File.resize(FileSize));
        File.close();
        auto Form = OpenWindow<TFormSplit>();
        // Each new input brings the output folder back to its own.
        Form->InputFileChosen(Film.toStdString());
        QCOMPARE(LabelText(Form.get(), "LabelOutputFolder"), Scratch.path());
        auto* Media = Control<QComboBox>(Form.get(), "ComboMedium");
        Media->setCurrentIndex(0);
        PressKey(Form.get(), Pieces.isEmpty() ? Qt::Key_M : Qt::Key_P);
        for (int Step = 0; Step < Medium; ++Step)
            PressKey(Form.get(), Qt::Key_Down);
        // P selects the number of pieces, so that the typed one replaces it.
        QTest::keyClicks(Form->focusWidget(), Pieces);
        QTEST(SizeBox(Form.get())->text() + ' ' + Units(Form.get())->currentText(), "Size");
        QCOMPARE(Media->currentIndex(), Medium);
        QFETCH(int, Recovery);
        PressKey(Form.get(), Qt::Key_R);
        QTest::keyClick(Form->focusWidget(), Qt::Key_Home);
        for (int Step = 0; Step < Recovery; ++Step)
            PressKey(Form.get(), Qt::Key_Down);
        QTEST(LabelText(Form.get(), "LabelCount"), "Line");
        if (ToStick)
            QVERIFY(DialogAfterKey(Form.get(), Qt::Key_O, Stick.path())->Seen);
        if (!Made.isEmpty()) {
            QFETCH(QString, Also);
            QCOMPARE(StartAndAnswer(Form.get())->Text,
                     QStringLiteral("Splitting completed\n%1%2 in %3.")
                         .arg(Made.size() == 1 ? QStringLiteral("1 piece")
                                               : QStringLiteral("%1 pieces").arg(Made.size()),
                              Also, ToStick ? Stick.path() : Scratch.path()));
            QCOMPARE(PieceSizes(ToStick ? Stick.filePath(QStringLiteral("film.mkv")) : Film), Made);
            QCOMPARE(PieceSizes(Film).isEmpty(), ToStick);
        }
        Control<QComboBox>(Form.get(), "ComboRecovery")->setCurrentIndex(0);
        Form->close();
        QVERIFY(QFile::remove(Film));
    }

    // 100 pieces or more: No, the default, leaves all as it was; Yes splits.
    void ManyPiecesAreAskedFor() {
        auto Form = OpenWindow<TFormSplit>();
        Form->InputFileChosen(Source.toStdString());
        SizeBox(Form.get())->setText(QStringLiteral("10"));
        Units(Form.get())->setCurrentIndex(0);
        const qsizetype Earlier = PieceSizes(Source).size();
        for (const auto Answer : {QMessageBox::No, QMessageBox::Yes}) {
            QStringList Seen;
            OnNextModalOf<QMessageBox>([&](QMessageBox* Box) {
                Seen << Box->text() << Box->defaultButton()->text();
                Box->button(Answer)->click();
            });
            AnswerNextMessageBox();
            Button(Form.get(), "ButtonStart")->click();
            CancelPendingAnswers();
            QCOMPARE(Seen, (QStringList{QStringLiteral("This makes %1 pieces. Split anyway?")
                                            .arg(QLocale().toString(293)),
                                        QStringLiteral("&No")}));
            QCOMPARE(PieceSizes(Source).size(), Answer == QMessageBox::Yes ? 293 : Earlier);
        }
        SizeBox(Form.get())->setText(QStringLiteral("1400"));
        Form->close();
    }

    void RunRefusesStartPicksAndClosing() {
        auto Form = OpenWindow<TFormSplit>();
        // The closing keys are tried from a button: the size box refuses Escape.
        Button(Form.get(), "ButtonStart")->setFocus();
        SizeBox(Form.get())->setText(QStringLiteral("1400"));
        Units(Form.get())->setCurrentIndex(0);
        {
            TRunGuardProbe Run(
                *ParvoxApp->Split, Form.get(), [&Form] { Form->ButtonStartClick(); }, {Qt::Key_F},
                {QStringLiteral("LabelInputFile"), QStringLiteral("ButtonInputFile")});
            QCOMPARE(StartAndAnswer(Form.get())->Text.section(QLatin1Char('\n'), 0, 0),
                     QStringLiteral("Splitting completed"));
            VERIFY_NO_FAULTS(Run.Faults());
        }
        QCOMPARE(PieceSizes(Source), (QList<qint64>{1433600, 1433600, 132800}));
        QVERIFY(Form->isVisible());
        VERIFY_NO_FAULTS(
            AfterRunFaults(Form.get(), Qt::Key_F, QStringLiteral("Splitting completed")));
    }

    // On a slow stick the line under the status tells the bytes, the speed,
    // the time left and the piece. On a share whose syncs are slow, a Stop
    // while the last writes are being finished ends the run quietly, and
    // its pieces are removed.
    void RunOnASlowMedium_data() {
        QTest::addColumn<bool>("StopsWhileStoring");
        QTest::newRow("a slow stick") << false;
        QTest::newRow("a share with slow syncs") << true;
    }

    void RunOnASlowMedium() {
        QFETCH(bool, StopsWhileStoring);
        QTemporaryDir Dir;
        const auto Medium = [&Dir](const char* Command, const char* Argument = "") {
            return WEXITSTATUS(std::system(qPrintable(
                QStringLiteral(MEDIUM_SCRIPT " %1 %2 %3").arg(Command, Dir.path(), Argument))));
        };
        const auto Detach = qScopeGuard([&] { Medium("detach"); });
        const int Status = StopsWhileStoring ? Medium("share", "0 2") : Medium("attach");
        if (Status == 77)
            QSKIP("no FUSE file system or loop device here");
        QCOMPARE(Status, 0);
        const QString Film = Dir.filePath(StopsWhileStoring ? "fuse/film" : "mnt/film");
        WriteBytes(Film, PatternBytes(StopsWhileStoring ? 2 << 20 : 24 << 20));
        ::sync();
        QCOMPARE(Medium("mode", StopsWhileStoring ? "ok" : "slow 3000000"), 0);
        auto Form = OpenWindow<TFormSplit>();
        PickInput(Form.get(), Film);
        SizeBox(Form.get())->setText(QStringLiteral("1400"));
        Units(Form.get())->setCurrentIndex(0);
        TFormProgress& Progress = *ParvoxController->ProgressForm;
        QStringList Lines;
        QTimer Reader;
        Reader.callOnTimeout([&] {
            if (Lines.isEmpty() || Lines.back() != Progress.Line())
                Lines << Progress.Line();
            if (StopsWhileStoring && Progress.Line().startsWith(QStringLiteral("Finishing")))
                Button(&Progress, "ButtonStop")->click();
        });
        Reader.start(50);
        const auto Box = StartAndAnswer(Form.get());
        const QString Seen = Lines.join('|');
        if (StopsWhileStoring) {
            QVERIFY2(Lines.contains(QStringLiteral("Finishing writes to the drive...")),
                     qPrintable(Seen));
            QVERIFY2(!Box->Seen, qPrintable(Box->Text));
            QVERIFY2(PieceSizes(Film).isEmpty(), qPrintable(Seen));
            VERIFY_NO_FAULTS(ControlFaults(Form.get(), true));
        } else {
            QCOMPARE(Box->Text.section(QLatin1Char('\n'), 0, 0),
                     QStringLiteral("Splitting completed"));
            QVERIFY2(!Lines
                          .filter(QRegularExpression(
                              "^[0-9.]+ MB of 25 MB, [0-9.]+ MB/s, (about [a-z0-9 ]+|"
                              "less than a minute) left, piece [0-9]+ of 18$"))
                          .isEmpty(),
                     qPrintable(Seen));
        }
        Form->close();
    }

    // A checksum file that Parvox did not write, where the split's would
    // go, is asked about before anything is written, and answered by key:
    // W splits without a checksum file, O into another folder, Escape not
    // at all. The file stays as it was.
    void ForeignChecksumFileIsAskedAbout_data() {
        QTest::addColumn<int>("Answer");
        QTest::addColumn<QString>("Done");
        QTest::addColumn<QStringList>("Foreign");
        const QString Sums = QStringLiteral("movie.avi.sha256 is in %1, and it is not the checksum "
                                            "file of an earlier split of movie.avi: Parvox leaves "
                                            "it as it is. Split without a checksum file, or into "
                                            "another folder?");
        const QStringList OnlySums{QStringLiteral(".sha256")};
        QTest::newRow("without") << int(Qt::Key_W)
                                 << "Splitting completed\n3 pieces and 8 recovery files in %1."
                                 << OnlySums;
        QTest::newRow("another folder")
            << int(Qt::Key_O)
            << "Splitting completed\n3 pieces, movie.avi.sha256 and 8 recovery files in %1."
            << OnlySums;
        QTest::newRow("not at all") << int(Qt::Key_Escape) << QString() << OnlySums;
        // Recovery files that a split did not write: one question for both.
        QTest::newRow("recovery data, without")
            << int(Qt::Key_W) << "Splitting completed\n3 pieces and movie.avi.sha256 in %1."
            << QStringList{QStringLiteral(".par2")};
        QTest::newRow("both, without") << int(Qt::Key_W) << "Splitting completed\n3 pieces in %1."
                                       << QStringList{".sha256", ".vol0+1.par2"};
    }

    void ForeignChecksumFileIsAskedAbout() {
        QFETCH(int, Answer);
        QFETCH(QString, Done);
        QFETCH(QStringList, Foreign);
        // An answer armed for a box that a stopped run never showed.
        CancelPendingAnswers();
        QTemporaryDir Other;
        const QByteArray Published = "0123  movie.avi\n";
        for (const QString& Extension : Foreign)
            WriteBytes(Source + Extension, Published);
        auto Form = OpenWindow<TFormSplit>();
        Form->InputFileChosen(Source.toStdString());
        SizeBox(Form.get())->setText(QStringLiteral("1400"));
        Units(Form.get())->setCurrentIndex(0);
        Control<QCheckBox>(Form.get(), "CheckChecksumFile")->setChecked(true);
        Control<QComboBox>(Form.get(), "ComboRecovery")->setCurrentIndex(2);
        QString Question;
        auto Box = std::make_shared<TSeenBox>();
        OnNextModalOf<QMessageBox>([&](QMessageBox* Asked) {
            Question = Asked->text();
            Box = AnswerNextMessageBox();
            if (Answer == Qt::Key_O)
                AnswerNextFileDialog(Other.path());
            PressKey(Asked, static_cast<Qt::Key>(Answer));
        });
        Button(Form.get(), "ButtonStart")->click();
        WaitFor([&] { return Box->Seen; }, 1000);
        CancelPendingAnswers();
        const QString Asked =
            Foreign.size() == 2
                ? "movie.avi.sha256 and movie.avi.vol0+1.par2 are in %1, and they are not the "
                  "checksum file and the recovery data of an earlier split of movie.avi: Parvox "
                  "leaves them as they are. Split without a checksum file and recovery data, or "
                  "into another folder?"
            : Foreign.front() == ".par2"
                ? "movie.avi.par2 is in %1, and it is not the recovery data of an earlier split "
                  "of movie.avi: Parvox leaves it as it is. Split without recovery data, or into "
                  "another folder?"
                : "movie.avi.sha256 is in %1, and it is not the checksum file of an earlier "
                  "split of movie.avi: Parvox leaves it as it is. Split without a checksum file, "
                  "or into another folder?";
        QCOMPARE(Question, Asked.arg(Scratch.path()));
        QCOMPARE(Box->Seen ? Box->Text : QString(),
                 Done.isEmpty() ? Done
                                : Done.arg(Answer == Qt::Key_O ? Other.path() : Scratch.path()));
        for (const QString& Extension : Foreign) {
            QCOMPARE(ReadBytes(Source + Extension), Published);
            QFile::remove(Source + Extension);
        }
        QVERIFY(Control<QCheckBox>(Form.get(), "CheckChecksumFile")->isChecked());
        Control<QComboBox>(Form.get(), "ComboRecovery")->setCurrentIndex(0);
        Form->InputFileChosen(Source.toStdString());
        Form->close();
    }
};

QTEST_MAIN(TSplitWindowTest)
#include "SplitWindowTest.moc"
