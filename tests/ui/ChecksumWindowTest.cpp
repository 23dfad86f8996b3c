// The Checksum window driven as a user drives it: real files, the real file
// dialog, real message boxes, keys and the real clipboard.
#include "AccessibilityHelpers.h"
#include "QFChecksum.h"
#include "QFMain.h"
#include "QFProgress.h"
#include "RunTestHelpers.h"
#include "UiTestHelpers.h"
#include "classParvox.h"
#include "classParvoxController.h"
#include "startup.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

class ChecksumWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir Scratch;

    QString MakeFile(const QString& Name, const QByteArray& Bytes) {
        const QString Path = Scratch.filePath(Name);
        WriteBytes(Path, Bytes);
        return Path;
    }

    static QString Result(const QWidget& Form) {
        return Form.findChild<QLabel*>(QStringLiteral("LabelChecksum"))->text();
    }

    static QString FileLabel(const QWidget& Form) {
        return Form.findChild<QLabel*>(QStringLiteral("LabelFileName"))->text();
    }

    static bool Pick(QWidget& Form, const QString& Path) {
        const auto Dialog = AnswerNextFileDialog(Path);
        PressKey(&Form, Qt::Key_F);
        return Dialog->Seen;
    }

    // What the copy key puts on the clipboard.
    static QString CopiedAfterKey(QWidget& Form, Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        PressKey(&Form, Qt::Key_P, Modifiers);
        return QGuiApplication::clipboard()->text();
    }

    static bool ProgressVisible() { return ParvoxController->ProgressForm->isVisible(); }

private slots:
    void initTestCase() {
        StartUp();
        QVERIFY(Scratch.isValid());
        ReportToProgressWindow();
    }

    void cleanupTestCase() { ShutDown(); }

    // Runs first: the program has not picked any file yet.
    void beforeAnyPick() {
        TFormChecksum Form(MainForm);
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        QCOMPARE(CopiedAfterKey(Form), QStringLiteral("unknown :   unknown"));

        const auto Box = BoxAfterKey(&Form, Qt::Key_S);
        QVERIFY(Box->Seen);
        QCOMPARE(Box->Text, QStringLiteral("No source file has been specified"));
        QCOMPARE(Box->Title, QStringLiteral("Parvox 2.3"));
        QCOMPARE(Box->Icon, QMessageBox::NoIcon);
        QCOMPARE(Box->Buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(Result(Form), QStringLiteral("unknown"));
        QCOMPARE(FileLabel(Form), QStringLiteral("unknown"));
        QVERIFY(!ProgressVisible());
    }

    void layoutAndDialog() {
        TFormChecksum Form(MainForm);
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        QCOMPARE(Form.windowTitle(), QStringLiteral("Parvox 2.3"));
        QCOMPARE(Form.size(), QSize(530, 258));
        QCOMPARE(TabOrder(&Form, 3),
                 (QStringList{QStringLiteral("ButtonInputFile"), QStringLiteral("ButtonCopy"),
                              QStringLiteral("ButtonStart"), QStringLiteral("ButtonClose")}));

        QCOMPARE(AccessibilityFaults(&Form), QStringList());
        // Cancelling changes nothing, neither the labels nor the engine.
        auto Dialog = AnswerNextFileDialog(QString());
        QTest::mouseClick(Form.findChild<QLabel*>(QStringLiteral("LabelFileName")), Qt::LeftButton);
        QVERIFY(Dialog->Seen);
        QCOMPARE(Dialog->Title, QStringLiteral("Select file for checksum"));
        const QStringList Filters{QStringLiteral("All files (*)"),
                                  QStringLiteral("Text files (*.txt *.doc l *.rtf)"),
                                  QStringLiteral("Archives (*.zip *.arc *.lha *.arj)"),
                                  QStringLiteral("Applications (*.exe *.com *.dll)")};
        QCOMPARE(Dialog->NameFilters, Filters);
        QCOMPARE(Dialog->SelectedNameFilter, Filters.first());
        QCOMPARE(FileLabel(Form), QStringLiteral("unknown"));
        QCOMPARE(Result(Form), QStringLiteral("unknown"));
        QVERIFY(!ParvoxApp->Checksum->FileSelected);
        QVERIFY(ParvoxApp->Checksum->FileName.empty());
    }

    void showsAndCopiesTheResult() {
        const QString Abc = MakeFile(QStringLiteral("abc"), "abc");
        TFormChecksum Form(MainForm);
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        QVERIFY(Pick(Form, Abc));
        QCOMPARE(FileLabel(Form), Abc);
        QCOMPARE(ParvoxApp->Checksum->FileName, Abc.toStdString());

        const auto Box = BoxAfterKey(&Form, Qt::Key_S);
        QVERIFY(Box->Seen);
        QCOMPARE(Box->Text, QStringLiteral("Checksum ready"));
        QCOMPARE(Box->Title, QStringLiteral("Parvox 2.3"));
        QCOMPARE(Result(Form), QStringLiteral("294"));
        QVERIFY(!ProgressVisible());
        QCOMPARE(CopiedAfterKey(Form), Abc + QStringLiteral(" :   294"));
        QGuiApplication::clipboard()->clear();
        Form.findChild<QPushButton*>(QStringLiteral("ButtonCopy"))->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), Abc + QStringLiteral(" :   294"));

        // A new pick leaves no old result beside the new name.
        const QString Empty = MakeFile(QStringLiteral("empty"), QByteArray());
        QVERIFY(Pick(Form, Empty));
        QCOMPARE(Result(Form), QStringLiteral("unknown"));
        QCOMPARE(CopiedAfterKey(Form), Empty + QStringLiteral(" :   unknown"));

        QCOMPARE(BoxAfterKey(&Form, Qt::Key_S)->Text, QStringLiteral("Checksum ready"));
        QCOMPARE(Result(Form), QStringLiteral("0"));
    }

    void keysWithModifiers() {
        const QString Path = MakeFile(QStringLiteral("keys"), QByteArray(4000, '\xff'));
        TFormChecksum Form(MainForm);
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        QVERIFY(Pick(Form, Path));

        for (const Qt::KeyboardModifiers Modifiers :
             {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
            QCOMPARE(BoxAfterKey(&Form, Qt::Key_S, Modifiers)->Text,
                     QStringLiteral("Checksum ready"));
            QCOMPARE(Result(Form), QStringLiteral("1020000"));
            QCOMPARE(CopiedAfterKey(Form, Modifiers), Path + QStringLiteral(" :   1020000"));
            auto Dialog = AnswerNextFileDialog(QString());
            PressKey(&Form, Qt::Key_F, Modifiers);
            QVERIFY(Dialog->Seen);
        }
        QCOMPARE(CloseKeyFaults(&Form), QStringList());
    }

    // The way from the main window: key K opens a new window each time, which
    // shows the last file and result and runs on that file at once on S.
    void remembersAcrossOpenings() {
        const QString Path = MakeFile(QStringLiteral("kept"), "abcd");
        const auto IsChecksum = [](QWidget* Modal) {
            return qobject_cast<TFormChecksum*>(Modal) != nullptr;
        };

        QPointer<QWidget> First;
        OnNextModal(IsChecksum, [&](QWidget* Form) {
            First = Form;
            Pick(*Form, Path);
            BoxAfterKey(Form, Qt::Key_S);
            PressKey(Form, Qt::Key_C);
        });
        PressKey(MainForm, Qt::Key_K);
        QVERIFY(First.isNull());

        QStringList Labels;
        std::shared_ptr<TSeenBox> Box;
        OnNextModal(IsChecksum, [&](QWidget* Form) {
            Labels << FileLabel(*Form) << Result(*Form);
            QFile::resize(Path, 3);
            Box = BoxAfterKey(Form, Qt::Key_S);
            Labels << Result(*Form);
            Form->findChild<QPushButton*>(QStringLiteral("ButtonClose"))->click();
        });
        MainForm->findChild<QPushButton*>(QStringLiteral("ButtonChecksum"))->click();
        QCOMPARE(Labels, (QStringList{Path, QStringLiteral("394"), QStringLiteral("294")}));
        QVERIFY(Box && Box->Seen);
        QCOMPARE(Box->Text, QStringLiteral("Checksum ready"));
    }

    void failedRunShowsTheError() {
        const QString Path = MakeFile(QStringLiteral("gone"), "abc");
        TFormChecksum Form(MainForm);
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        QVERIFY(Pick(Form, Path));
        QCOMPARE(BoxAfterKey(&Form, Qt::Key_S)->Text, QStringLiteral("Checksum ready"));
        QCOMPARE(Result(Form), QStringLiteral("294"));
        QVERIFY(QFile::remove(Path));

        const auto Box = BoxAfterKey(&Form, Qt::Key_S);
        QVERIFY(Box->Seen);
        QCOMPARE(Box->Icon, QMessageBox::Critical);
        QCOMPARE(Box->Title, QString());
        QCOMPARE(Box->Text, QStringLiteral("File not found."));
        QCOMPARE(Result(Form), QStringLiteral("unknown"));
        QVERIFY(!ProgressVisible());
        QVERIFY(Form.isVisible());
        QVERIFY(Form.findChild<QPushButton*>(QStringLiteral("ButtonStart"))->isEnabled());

        MakeFile(QStringLiteral("gone"), "ab");
        QCOMPARE(BoxAfterKey(&Form, Qt::Key_S)->Text, QStringLiteral("Checksum ready"));
        QCOMPARE(Result(Form), QStringLiteral("195"));
    }

    // Keys, clicks and close requests that arrive while a run is on are
    // refused; once it ends they act again.
    void runRefusesStartAndClose() {
        const QString Path = MakeFile(QStringLiteral("big"), QByteArray(64 * 1024, 'r'));
        TFormChecksum Form(MainForm);
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        QVERIFY(Pick(Form, Path));
        auto* Start = Form.findChild<QPushButton*>(QStringLiteral("ButtonStart"));

        std::shared_ptr<TSeenBox> Box;
        {
            TRunProbe Run(
                ParvoxApp->Checksum->OnProgress, &Form, [&Form] { Form.ButtonStartClick(); },
                Qt::Key_F, QStringLiteral("LabelFileName"));
            Box = BoxAfterKey(&Form, Qt::Key_S);
            QVERIFY(Run.Probed);
            QVERIFY(Run.StartWasDisabled);
            QVERIFY(Run.NothingOpened);
            QVERIFY(Run.StayedOpen);
            QCOMPARE(Run.MaxDepth, 1);
            QCOMPARE(Run.Reports, 64 + 1);
        }
        QCOMPARE(Box->Text, QStringLiteral("Checksum ready"));
        QCOMPARE(Result(Form), QString::number(64 * 1024 * 'r'));
        QVERIFY(Start->isEnabled());
        QCOMPARE(BoxAfterKey(&Form, Qt::Key_S)->Text, QStringLiteral("Checksum ready"));
        PressKey(&Form, Qt::Key_X);
        QVERIFY(!Form.isVisible());
    }
};

QTEST_MAIN(ChecksumWindowTest)
#include "ChecksumWindowTest.moc"
