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
#include "startup.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

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
    auto Seen = AnswerNextFileDialog(Path);
    QTest::mouseClick(Control<TClickLabel>(Form, "LabelInputFile"), Qt::LeftButton);
    QVERIFY(Seen->Seen);
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

class TSplitWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir Dir;
    QString Source;

private slots:
    void initTestCase() {
        StartUp();
        QVERIFY(Dir.isValid());
        Source = Dir.filePath(QStringLiteral("movie.avi"));
        WriteBytes(Source, PatternBytes(3000000));
    }

    void cleanupTestCase() { ShutDown(); }

    void FirstOpeningShowsTheLayoutDefaults() {
        auto Form = OpenWindow<TFormSplit>();
        QCOMPARE(Form->windowTitle(), QStringLiteral("Parvox 2.3"));
        QCOMPARE(Form->size(), QSize(538, 266));
        QCOMPARE(InputLabel(Form.get()), QStringLiteral("unknown"));
        QCOMPARE(SizeBox(Form.get())->text(), QStringLiteral("1400"));
        QCOMPARE(SizeBox(Form.get())->maxLength(), 6);
        QCOMPARE(SizeBox(Form.get())->height(), Units(Form.get())->height());
        QCOMPARE(Units(Form.get())->currentText(), QStringLiteral("Kbytes"));
        QCOMPARE(Form->focusWidget(), SizeBox(Form.get()));
        const QStringList Faults = AccessibilityFaults(Form.get());
        QVERIFY2(Faults.isEmpty(), qPrintable(Faults.join(QLatin1Char('\n'))));
        SizeBox(Form.get())->setFocus();

        // Tab order: size, unit, Start, Close, Input File, the file label.
        const QStringList Order = {
            QStringLiteral("ComboUnits"),     QStringLiteral("ButtonStart"),
            QStringLiteral("ButtonClose"),    QStringLiteral("ButtonInputFile"),
            QStringLiteral("LabelInputFile"), QStringLiteral("EditSplitFileSize")};
        for (const QString& Next : Order) {
            PressKey(Form.get(), Qt::Key_Tab);
            QCOMPARE(Form->focusWidget()->objectName(), Next);
        }

        // The dialog offers the four filters, the first selected, under
        // Qt's own title; cancelling it changes nothing.
        auto Dialog = AnswerNextFileDialog(QString());
        Button(Form.get(), "ButtonInputFile")->click();
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
        QVERIFY(!ParvoxController->ProgressForm->isVisible());
        QVERIFY(PieceSizes(Source).isEmpty());
        Size->setText(QStringLiteral("1400"));
        Form->close();
    }

    void DefaultSettingsSplitIntoKilobytePieces() {
        auto Form = OpenWindow<TFormSplit>();
        PickInput(Form.get(), Source);
        QCOMPARE(InputLabel(Form.get()), Source);
        QCOMPARE(ParvoxApp->Split->GetBaseFileName(), Source.toStdString());

        const auto Box = StartAndAnswer(Form.get());
        QCOMPARE(Box->Text, QStringLiteral("Splitting completed"));
        QCOMPARE(PieceSizes(Source), (QList<qint64>{1433600, 1433600, 132800}));
        const QByteArray Whole = ReadBytes(Source);
        QCOMPARE(ReadBytes(Source + QStringLiteral(".002")), Whole.mid(1433600, 1433600));
        QVERIFY(!ParvoxController->ProgressForm->isVisible());
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
        QCOMPARE(Box->Text, QStringLiteral("Splitting completed"));
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

            auto Dialog = AnswerNextFileDialog(QString());
            PressKey(Form.get(), Qt::Key_F, Shift);
            QVERIFY2(Dialog->Seen, "F did not open the dialog");

            Button(Form.get(), "ButtonClose")->setFocus();
            PressKey(Form.get(), Qt::Key_Z, Shift);
            QCOMPARE(Form->focusWidget(), SizeBox(Form.get()));
        }
        QCOMPARE(InputLabel(Form.get()), Source);

        Button(Form.get(), "ButtonStart")->setFocus();
        PressCloseKeysWithModifiers(Form.get());
        QVERIFY(Form->isVisible());
        SizeBox(Form.get())->setText(QStringLiteral("1400"));
        // Plain C closes also from the size box.
        SizeBox(Form.get())->setFocus();
        PressKey(Form.get(), Qt::Key_C);
        QVERIFY(!Form->isVisible());

        auto Again = OpenWindow<TFormSplit>();
        PressKey(Again.get(), Qt::Key_X);
        QVERIFY(!Again->isVisible());
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
            for (const Qt::Key Refused : {Qt::Key_Minus, Qt::Key_Period, Qt::Key_Space})
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
        QCOMPARE(BeepsOnError, QByteArray("\a\a\a"));
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
        OnNextModal([](QWidget* Modal) { return qobject_cast<TFormSplit*>(Modal) != nullptr; },
                    [](QWidget* Modal) {
                        SizeBox(Modal)->setText(QStringLiteral("2"));
                        Units(Modal)->setCurrentIndex(1);
                        PressKey(Modal, Qt::Key_C);
                    });
        PressKey(MainForm, Qt::Key_S, Qt::ShiftModifier);

        QString Label;
        QString Size;
        QString Unit;
        std::shared_ptr<TSeenBox> Box;
        OnNextModal([](QWidget* Modal) { return qobject_cast<TFormSplit*>(Modal) != nullptr; },
                    [&](QWidget* Modal) {
                        Label = InputLabel(Modal);
                        Size = SizeBox(Modal)->text();
                        Unit = Units(Modal)->currentText();
                        Box = StartAndAnswer(Modal);
                        Button(Modal, "ButtonClose")->click();
                    });
        Button(MainForm, "ButtonSplit")->click();
        QCOMPARE(Label, Source);
        QCOMPARE(Size, QStringLiteral("2"));
        QCOMPARE(Unit, QStringLiteral("Mbytes"));
        QCOMPARE(Box->Text, QStringLiteral("Splitting completed"));
        QCOMPARE(PieceSizes(Source), (QList<qint64>{2048000, 952000}));
    }

    void FailedSplitLeavesTheWindowUsable() {
        const QString Gone = Dir.filePath(QStringLiteral("gone.bin"));
        WriteBytes(Gone, PatternBytes(5000));
        auto Form = OpenWindow<TFormSplit>();
        PickInput(Form.get(), Gone);
        QVERIFY(QFile::remove(Gone));

        const auto Box = StartAndAnswer(Form.get());
        QCOMPARE(Box->Text, QStringLiteral("File not found."));
        QCOMPARE(Box->Icon, QMessageBox::Critical);
        QCOMPARE(Box->Title, QString());
        QVERIFY(!ParvoxController->ProgressForm->isVisible());
        QVERIFY(Form->isVisible());
        QVERIFY(Button(Form.get(), "ButtonStart")->isEnabled());
        QVERIFY(SizeBox(Form.get())->isEnabled());
        QCOMPARE(InputLabel(Form.get()), Gone);
        QCOMPARE(SizeBox(Form.get())->text(), QStringLiteral("2"));

        // The window goes on: the next pick and split work.
        PickInput(Form.get(), Source);
        QCOMPARE(StartAndAnswer(Form.get())->Text, QStringLiteral("Splitting completed"));
        Form->close();
    }

    void RunRefusesStartPicksAndClosing() {
        auto Form = OpenWindow<TFormSplit>();
        SizeBox(Form.get())->setText(QStringLiteral("1400"));
        Units(Form.get())->setCurrentIndex(0);
        bool Probed = false;
        std::shared_ptr<TSeenDialog> PickDuringRun;
        ProbeDuringRun(*ParvoxApp->Split, [&] {
            Probed = true;
            QVERIFY(ParvoxController->ProgressForm->isVisible());
            QCOMPARE(ParvoxController->ProgressForm->Status(), QStringLiteral("Working..."));
            QVERIFY(!Button(Form.get(), "ButtonStart")->isEnabled());
            QVERIFY(!Control<TClickLabel>(Form.get(), "LabelInputFile")->isEnabled());
            PickDuringRun = AnswerNextFileDialog(QString());
            for (const Qt::Key Key : {Qt::Key_S, Qt::Key_F, Qt::Key_C, Qt::Key_X, Qt::Key_Escape})
                PressKey(Form.get(), Key);
            QTest::mouseClick(Control<TClickLabel>(Form.get(), "LabelInputFile"), Qt::LeftButton);
            Button(Form.get(), "ButtonStart")->click();
            Button(Form.get(), "ButtonClose")->click();
            Form->close();
            QVERIFY(Form->isVisible());
            QVERIFY(!PickDuringRun->Seen);
        });
        const auto Box = StartAndAnswer(Form.get());
        QVERIFY(Probed);
        QCOMPARE(Box->Text, QStringLiteral("Splitting completed"));
        QCOMPARE(PieceSizes(Source), (QList<qint64>{1433600, 1433600, 132800}));
        QVERIFY(Form->isVisible());

        // After the run the pick comes back (the answer armed during the run
        // cancels it), and so do Start and closing.
        PressKey(Form.get(), Qt::Key_F);
        QVERIFY(PickDuringRun->Seen);
        auto Again = AnswerNextMessageBox();
        PressKey(Form.get(), Qt::Key_S);
        QCOMPARE(Again->Text, QStringLiteral("Splitting completed"));
        PressKey(Form.get(), Qt::Key_Escape);
        QVERIFY(!Form->isVisible());
    }
};

QTEST_MAIN(TSplitWindowTest)
#include "SplitWindowTest.moc"
