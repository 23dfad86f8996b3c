// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The Compare window driven as a user drives it: real files, the real file
// dialog, real message boxes and keys.
#include "AccessibilityHelpers.h"
#include "QFCompare.h"
#include "QFMain.h"
#include "QFProgress.h"
#include "RunTestHelpers.h"
#include "UiTestHelpers.h"
#include "classParvox.h"
#include "classParvoxController.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>

class CompareWindowTest : public TWindowTest {
    Q_OBJECT

private:
    // Picks Path for a slot through its key and the real file dialog.
    static bool Pick(QWidget* Form, Qt::Key Key, const QString& Path) {
        return DialogAfterKey(Form, Key, Path)->Seen;
    }

private slots:
    // Runs first: the program has not picked any file yet.
    void startNeedsBothFiles() {
        auto Form = OpenWindow<TFormCompare>();
        QCOMPARE(LabelText(Form.get(), "LabelFile1"), QStringLiteral("unknown"));
        QCOMPARE(LabelText(Form.get(), "LabelFile2"), QStringLiteral("unknown"));

        auto Box = BoxAfterKey(Form.get(), Qt::Key_S);
        QVERIFY(Box->Seen);
        QCOMPARE(Box->Text, QStringLiteral("One or more files are unknown"));
        QCOMPARE(Box->Title, QStringLiteral("Parvox 2.3"));
        QCOMPARE(Box->Icon, QMessageBox::NoIcon);
        QCOMPARE(Box->Buttons, QStringList{QStringLiteral("OK")});

        const QString One = MakeFile(QStringLiteral("only1"), "x");
        QVERIFY(Pick(Form.get(), Qt::Key_1, One));
        QCOMPARE(LabelText(Form.get(), "LabelFile1"), One);
        Box = BoxAfterKey(Form.get(), Qt::Key_S);
        QCOMPARE(Box->Text, QStringLiteral("One or more files are unknown"));
        QVERIFY(!ProgressVisible());
    }

    void layoutAndDialogs() {
        auto Form = OpenWindow<TFormCompare>();
        QCOMPARE(Form->windowTitle(), QStringLiteral("Parvox 2.3"));
        QCOMPARE(Form->size(), QSize(530, 266));
        QCOMPARE(TabOrder(Form.get(), 3),
                 (QStringList{QStringLiteral("ButtonStart"), QStringLiteral("ButtonClose"),
                              QStringLiteral("ButtonInputFile"), QStringLiteral("Button1")}));
        VERIFY_NO_FAULTS(AccessibilityFaults(Form.get()));
        for (const char* Name : {"LabelFile1", "LabelFile2"})
            QCOMPARE(Control<QLabel>(Form.get(), Name)->font().family(),
                     QStringLiteral("MS Sans Serif"));

        const QStringList Filters{QStringLiteral("All files (*)")};
        auto Dialog = DialogAfterKey(Form.get(), Qt::Key_1, QString());
        QVERIFY(Dialog->Seen);
        QCOMPARE(Dialog->Title, QStringLiteral("Select file 1"));
        QCOMPARE(Dialog->NameFilters, Filters);
        QCOMPARE(Dialog->SelectedNameFilter, Filters.first());

        // A click on the second label opens the dialog of slot 2; cancelling changes nothing.
        const std::string Before2 = ParvoxApp->Compare->FileName2;
        const QString Label2 = LabelText(Form.get(), "LabelFile2");
        Dialog = DialogAfterClick(Control<QLabel>(Form.get(), "LabelFile2"), QString());
        QVERIFY(Dialog->Seen);
        QCOMPARE(Dialog->Title, QStringLiteral("Select file 2"));
        QCOMPARE(Dialog->NameFilters, Filters);
        QCOMPARE(LabelText(Form.get(), "LabelFile2"), Label2);
        QCOMPARE(ParvoxApp->Compare->FileName2, Before2);
        QCOMPARE(ParvoxApp->Compare->File2Selected, false);
    }

    void reportsTheOutcome_data() {
        QTest::addColumn<QByteArray>("Bytes1");
        QTest::addColumn<QByteArray>("Bytes2");
        QTest::addColumn<bool>("SameFile");
        QTest::addColumn<QString>("Message");

        const QByteArray Block(3000, 'a');
        QByteArray At2500 = Block;
        At2500[2500] = 'b';
        QByteArray At0 = Block;
        At0[0] = 'b';
        QByteArray At1024And2000 = Block;
        At1024And2000[1024] = 'b';
        At1024And2000[2000] = 'b';
        QTest::newRow("difference at 2500")
            << Block << At2500 << false
            << QStringLiteral("Files are not equal at position h000009C4");
        QTest::newRow("difference at 0")
            << Block << At0 << false << QStringLiteral("Files are not equal at position h00000000");
        QTest::newRow("first of two differences")
            << Block << At1024And2000 << false
            << QStringLiteral("Files are not equal at position h00000400");
        QTest::newRow("equal") << Block << Block << false << QStringLiteral("Files are equal");
        QTest::newRow("same file") << Block << Block << true << QStringLiteral("Files are equal");
        QTest::newRow("unequal length") << QByteArray(10, 'z') << QByteArray(11, 'z') << false
                                        << QStringLiteral("Files have unequal length");
        QTest::newRow("two empty files")
            << QByteArray() << QByteArray() << false << QStringLiteral("Files are equal");
    }

    void reportsTheOutcome() {
        QFETCH(QByteArray, Bytes1);
        QFETCH(QByteArray, Bytes2);
        QFETCH(bool, SameFile);
        QFETCH(QString, Message);
        const QString Path1 = MakeFile(QStringLiteral("first"), Bytes1);
        const QString Path2 = SameFile ? Path1 : MakeFile(QStringLiteral("second"), Bytes2);

        auto Form = OpenWindow<TFormCompare>();
        QVERIFY(Pick(Form.get(), Qt::Key_1, Path1));
        QVERIFY(Pick(Form.get(), Qt::Key_2, Path2));
        QCOMPARE(LabelText(Form.get(), "LabelFile1"), Path1);
        QCOMPARE(LabelText(Form.get(), "LabelFile2"), Path2);
        QCOMPARE(ParvoxApp->Compare->FileName2, Path2.toStdString());

        const auto Box = BoxAfterKey(Form.get(), Qt::Key_S);
        QVERIFY(Box->Seen);
        QCOMPARE(Box->Text, Message);
        QCOMPARE(Box->Title, QStringLiteral("Parvox 2.3"));
        QCOMPARE(Box->Icon, QMessageBox::NoIcon);
        QVERIFY(!ProgressVisible());
        QVERIFY(Form->isVisible());
    }

    // Offsets past 4 GiB need more than eight digits; none is cut.
    void offsetsPastFourGiBShowWhole() {
        QCOMPARE(TFormCompare::ResultMessage(0x10C388D00),
                 std::string("Files are not equal at position h10C388D00"));
    }

    void keysWithModifiers() {
        MakeFile(QStringLiteral("first"), "same");
        auto Form = OpenWindow<TFormCompare>();
        QVERIFY(Pick(Form.get(), Qt::Key_1, Scratch.filePath(QStringLiteral("first"))));
        QVERIFY(Pick(Form.get(), Qt::Key_2, Scratch.filePath(QStringLiteral("first"))));

        for (const Qt::KeyboardModifiers Modifiers :
             {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
            QCOMPARE(BoxAfterKey(Form.get(), Qt::Key_S, Modifiers)->Text,
                     QStringLiteral("Files are equal"));
            for (const Qt::Key Key : {Qt::Key_1, Qt::Key_2})
                QVERIFY(DialogAfterKey(Form.get(), Key, QString(), Modifiers)->Seen);
        }
        VERIFY_NO_FAULTS(CloseKeyFaults(Form.get()));
    }

    // The way from the main window: key O opens a new window each time, which
    // shows the files of the last opening and compares them at once on S.
    void remembersFilesAcrossOpenings() {
        const QString Path1 = MakeFile(QStringLiteral("kept1"), QByteArray(2000, 'k'));
        const QString Path2 = MakeFile(QStringLiteral("kept2"), QByteArray(2000, 'k'));
        QStringList Labels;
        std::shared_ptr<TSeenBox> Box;
        QVERIFY(ReopenFromMain<TFormCompare>(
            Qt::Key_O, Qt::NoModifier, "ButtonCompare",
            [&](QWidget* Form) {
                Pick(Form, Qt::Key_1, Path1);
                Pick(Form, Qt::Key_2, Path2);
                PressKey(Form, Qt::Key_C);
            },
            [&](QWidget* Form) {
                Labels << LabelText(Form, "LabelFile1") << LabelText(Form, "LabelFile2");
                Box = BoxAfterKey(Form, Qt::Key_S);
                Button(Form, "ButtonClose")->click();
            }));
        QCOMPARE(Labels, (QStringList{Path1, Path2}));
        QVERIFY(Box && Box->Seen);
        QCOMPARE(Box->Text, QStringLiteral("Files are equal"));
    }

    void failedRunShowsTheError() {
        const QString Path1 = MakeFile(QStringLiteral("gone"), "abc");
        const QString Path2 = MakeFile(QStringLiteral("stays"), "abc");
        auto Form = OpenWindow<TFormCompare>();
        QVERIFY(Pick(Form.get(), Qt::Key_1, Path1));
        QVERIFY(Pick(Form.get(), Qt::Key_2, Path2));
        QVERIFY(QFile::remove(Path1));

        VERIFY_NO_FAULTS(
            FailedRunFaults(*BoxAfterKey(Form.get(), Qt::Key_S), Form.get(),
                            "File not found.\nNo such file or directory: " + Path1 + "."));
        QCOMPARE(LabelText(Form.get(), "LabelFile1"), Path1);

        // The settings stay: once the file is back, Start compares it.
        MakeFile(QStringLiteral("gone"), "abc");
        QCOMPARE(BoxAfterKey(Form.get(), Qt::Key_S)->Text, QStringLiteral("Files are equal"));
    }

    // Keys, clicks and close requests that arrive while a comparison runs
    // are refused; once it ends they act again.
    void runRefusesStartAndClose() {
        const QByteArray Bytes(64 * 1024, 'r');
        const QString Path1 = MakeFile(QStringLiteral("big1"), Bytes);
        const QString Path2 = MakeFile(QStringLiteral("big2"), Bytes);
        auto Form = OpenWindow<TFormCompare>();
        QVERIFY(Pick(Form.get(), Qt::Key_1, Path1));
        QVERIFY(Pick(Form.get(), Qt::Key_2, Path2));
        {
            TRunGuardProbe Run(*ParvoxApp->Compare, Form.get(),
                               [&Form] { Form->ButtonStartClick(); }, {Qt::Key_1, Qt::Key_2},
                               {QStringLiteral("LabelFile1"), QStringLiteral("LabelFile2"),
                                QStringLiteral("ButtonInputFile"), QStringLiteral("Button1")});
            QCOMPARE(BoxAfterKey(Form.get(), Qt::Key_S)->Text, QStringLiteral("Files are equal"));
            VERIFY_NO_FAULTS(Run.Faults());
            QCOMPARE(Run.Reports, 64 + 1);
        }
        VERIFY_NO_FAULTS(AfterRunFaults(Form.get(), Qt::Key_2, QStringLiteral("Files are equal")));
    }
};

QTEST_MAIN(CompareWindowTest)
#include "CompareWindowTest.moc"
