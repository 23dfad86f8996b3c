// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

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

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QPushButton>

class ChecksumWindowTest : public TWindowTest {
    Q_OBJECT

private:
    static QString Result(const QWidget* Form) { return LabelText(Form, "LabelChecksum"); }

    static QString FileLabel(const QWidget* Form) { return LabelText(Form, "LabelFileName"); }

    static bool Pick(QWidget* Form, const QString& Path) {
        return DialogAfterKey(Form, Qt::Key_F, Path)->Seen;
    }

    // What the copy key puts on the clipboard.
    static QString CopiedAfterKey(QWidget* Form, Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        PressKey(Form, Qt::Key_P, Modifiers);
        return QGuiApplication::clipboard()->text();
    }

private slots:
    // Runs first: the program has not picked any file yet.
    void beforeAnyPick() {
        auto Form = OpenWindow<TFormChecksum>();
        QCOMPARE(CopiedAfterKey(Form.get()), QStringLiteral("unknown :   unknown"));

        const auto Box = BoxAfterKey(Form.get(), Qt::Key_S);
        QVERIFY(Box->Seen);
        QCOMPARE(Box->Text, QStringLiteral("No source file has been specified"));
        QCOMPARE(Box->Title, QStringLiteral("Parvox 2.3"));
        QCOMPARE(Box->Icon, QMessageBox::NoIcon);
        QCOMPARE(Box->Buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(Result(Form.get()), QStringLiteral("unknown"));
        QCOMPARE(FileLabel(Form.get()), QStringLiteral("unknown"));
        QVERIFY(!ProgressVisible());
    }

    void layoutAndDialog() {
        auto Form = OpenWindow<TFormChecksum>();
        QCOMPARE(Form->windowTitle(), QStringLiteral("Parvox 2.3"));
        QCOMPARE(Form->size(), QSize(530, 258));
        QCOMPARE(TabOrder(Form.get(), 3),
                 (QStringList{QStringLiteral("ButtonInputFile"), QStringLiteral("ButtonCopy"),
                              QStringLiteral("ButtonStart"), QStringLiteral("ButtonClose")}));

        VERIFY_NO_FAULTS(AccessibilityFaults(Form.get()));
        // Cancelling changes nothing, neither the labels nor the engine.
        const auto Dialog =
            DialogAfterClick(Control<QLabel>(Form.get(), "LabelFileName"), QString());
        QVERIFY(Dialog->Seen);
        QCOMPARE(Dialog->Title, QStringLiteral("Select file for checksum"));
        const QStringList Filters{QStringLiteral("All files (*)"),
                                  QStringLiteral("Text files (*.txt *.doc l *.rtf)"),
                                  QStringLiteral("Archives (*.zip *.arc *.lha *.arj)"),
                                  QStringLiteral("Applications (*.exe *.com *.dll)")};
        QCOMPARE(Dialog->NameFilters, Filters);
        QCOMPARE(Dialog->SelectedNameFilter, Filters.first());
        QCOMPARE(FileLabel(Form.get()), QStringLiteral("unknown"));
        QCOMPARE(Result(Form.get()), QStringLiteral("unknown"));
        QVERIFY(!ParvoxApp->Checksum->FileSelected);
        QVERIFY(ParvoxApp->Checksum->FileName.empty());
    }

    void showsAndCopiesTheResult() {
        const QString Abc = MakeFile(QStringLiteral("abc"), "abc");
        auto Form = OpenWindow<TFormChecksum>();
        QVERIFY(Pick(Form.get(), Abc));
        QCOMPARE(FileLabel(Form.get()), Abc);
        QCOMPARE(ParvoxApp->Checksum->FileName, Abc.toStdString());

        const auto Box = BoxAfterKey(Form.get(), Qt::Key_S);
        QVERIFY(Box->Seen);
        QCOMPARE(Box->Text, QStringLiteral("Checksum ready"));
        QCOMPARE(Box->Title, QStringLiteral("Parvox 2.3"));
        QCOMPARE(Result(Form.get()), QStringLiteral("294"));
        QVERIFY(!ProgressVisible());
        QCOMPARE(CopiedAfterKey(Form.get()), Abc + QStringLiteral(" :   294"));
        QGuiApplication::clipboard()->clear();
        Button(Form.get(), "ButtonCopy")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), Abc + QStringLiteral(" :   294"));

        // A new pick leaves no old result beside the new name.
        const QString Empty = MakeFile(QStringLiteral("empty"), QByteArray());
        QVERIFY(Pick(Form.get(), Empty));
        QCOMPARE(Result(Form.get()), QStringLiteral("unknown"));
        QCOMPARE(CopiedAfterKey(Form.get()), Empty + QStringLiteral(" :   unknown"));

        QCOMPARE(BoxAfterKey(Form.get(), Qt::Key_S)->Text, QStringLiteral("Checksum ready"));
        QCOMPARE(Result(Form.get()), QStringLiteral("0"));
    }

    void keysWithModifiers() {
        const QString Path = MakeFile(QStringLiteral("keys"), QByteArray(4000, '\xff'));
        auto Form = OpenWindow<TFormChecksum>();
        QVERIFY(Pick(Form.get(), Path));

        for (const Qt::KeyboardModifiers Modifiers :
             {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
            QCOMPARE(BoxAfterKey(Form.get(), Qt::Key_S, Modifiers)->Text,
                     QStringLiteral("Checksum ready"));
            QCOMPARE(Result(Form.get()), QStringLiteral("1020000"));
            QCOMPARE(CopiedAfterKey(Form.get(), Modifiers), Path + QStringLiteral(" :   1020000"));
            QVERIFY(DialogAfterKey(Form.get(), Qt::Key_F, QString(), Modifiers)->Seen);
        }
        VERIFY_NO_FAULTS(CloseKeyFaults(Form.get()));
    }

    // The way from the main window: key K opens a new window each time, which
    // shows the last file and result and runs on that file at once on S.
    void remembersAcrossOpenings() {
        const QString Path = MakeFile(QStringLiteral("kept"), "abcd");
        QStringList Labels;
        std::shared_ptr<TSeenBox> Box;
        QVERIFY(ReopenFromMain<TFormChecksum>(
            Qt::Key_K, Qt::NoModifier, "ButtonChecksum",
            [&](QWidget* Form) {
                Pick(Form, Path);
                BoxAfterKey(Form, Qt::Key_S);
                PressKey(Form, Qt::Key_C);
            },
            [&](QWidget* Form) {
                Labels << FileLabel(Form) << Result(Form);
                QFile::resize(Path, 3);
                Box = BoxAfterKey(Form, Qt::Key_S);
                Labels << Result(Form);
                Button(Form, "ButtonClose")->click();
            }));
        QCOMPARE(Labels, (QStringList{Path, QStringLiteral("394"), QStringLiteral("294")}));
        QVERIFY(Box && Box->Seen);
        QCOMPARE(Box->Text, QStringLiteral("Checksum ready"));
    }

    void failedRunShowsTheError() {
        const QString Path = MakeFile(QStringLiteral("gone"), "abc");
        auto Form = OpenWindow<TFormChecksum>();
        QVERIFY(Pick(Form.get(), Path));
        QCOMPARE(BoxAfterKey(Form.get(), Qt::Key_S)->Text, QStringLiteral("Checksum ready"));
        QCOMPARE(Result(Form.get()), QStringLiteral("294"));
        QVERIFY(QFile::remove(Path));

        VERIFY_NO_FAULTS(
            FailedRunFaults(*BoxAfterKey(Form.get(), Qt::Key_S), Form.get(),
                            "File not found.\nNo such file or directory: " + Path + "."));
        QCOMPARE(Result(Form.get()), QStringLiteral("unknown"));

        MakeFile(QStringLiteral("gone"), "ab");
        QCOMPARE(BoxAfterKey(Form.get(), Qt::Key_S)->Text, QStringLiteral("Checksum ready"));
        QCOMPARE(Result(Form.get()), QStringLiteral("195"));
    }

    // Keys, clicks and close requests that arrive while a run is on are
    // refused; once it ends they act again.
    void runRefusesStartAndClose() {
        const QString Path = MakeFile(QStringLiteral("big"), QByteArray(64 * 1024, 'r'));
        auto Form = OpenWindow<TFormChecksum>();
        QVERIFY(Pick(Form.get(), Path));
        {
            TRunGuardProbe Run(
                *ParvoxApp->Checksum, Form.get(), [&Form] { Form->ButtonStartClick(); },
                {Qt::Key_F}, {QStringLiteral("LabelFileName"), QStringLiteral("ButtonInputFile")});
            QCOMPARE(BoxAfterKey(Form.get(), Qt::Key_S)->Text, QStringLiteral("Checksum ready"));
            VERIFY_NO_FAULTS(Run.Faults());
            QCOMPARE(Run.Reports, 64 + 1);
        }
        QCOMPARE(Result(Form.get()), QString::number(64 * 1024 * 'r'));
        VERIFY_NO_FAULTS(AfterRunFaults(Form.get(), Qt::Key_F, QStringLiteral("Checksum ready")));
    }
};

QTEST_MAIN(ChecksumWindowTest)
#include "ChecksumWindowTest.moc"
