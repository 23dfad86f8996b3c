// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Keyboard use and assistive technology: names, roles and Tab order of the
// main, About and progress windows, the click labels' keys, the progress
// bar's value during a run, the check that other windows reuse, and texts on a dark palette.
#include "AccessibilityHelpers.h"
#include "QClickLabel.h"
#include "QColourScheme.h"
#include "QFAbout.h"
#include "QFChecksum.h"
#include "QFCompare.h"
#include "QFJoin.h"
#include "QFMain.h"
#include "QFProgress.h"
#include "QFSplit.h"
#include "UiTestHelpers.h"
#include "classParvox.h"
#include "classParvoxController.h"
#include "startup.h"

#include <QAccessible>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

QAccessibleInterface* Accessible(QWidget* Widget) {
    return QAccessible::queryAccessibleInterface(Widget);
}

// The names of an interface's descendants, as a screen reader walks them.
QStringList NamesWithin(QAccessibleInterface* Interface) {
    QStringList Names;
    for (int Child = 0; Child < Interface->childCount(); ++Child) {
        Names << Interface->child(Child)->text(QAccessible::Name);
        Names << NamesWithin(Interface->child(Child));
    }
    return Names;
}

void SendKey(QWidget* Widget, Qt::Key Key, bool AutoRepeat = false) {
    QKeyEvent Press(QEvent::KeyPress, Key, Qt::NoModifier, QString(), AutoRepeat);
    QApplication::sendEvent(Widget, &Press);
}

// The texts of Window that stand out too little from what lies behind them:
// below 3:1 for the large titles, 4.5:1 for the rest. One line each.
QStringList ContrastFaults(QWidget* Window) {
    QStringList Faults;
    for (QLabel* Label : Window->findChildren<QLabel*>()) {
        Label->ensurePolished();
        const QPalette& Colours = Label->palette();
        const double Ratio = TColourScheme::ContrastRatio(Colours.color(QPalette::WindowText),
                                                          Colours.color(QPalette::Window));
        if (!Label->text().isEmpty() && Ratio < (Label->font().pixelSize() >= 24 ? 3.0 : 4.5))
            Faults << Window->objectName() + ' ' + Label->objectName() + ' ' +
                          QString::number(Ratio);
    }
    return Faults;
}

} // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        StartUp();
        QVERIFY(QTest::qWaitForWindowExposed(MainForm));
    }
    void cleanupTestCase() { ShutDown(); }

    void MainWindowCanBeWorkedFromTheKeyboard() {
        VERIFY_NO_FAULTS(AccessibilityFaults(MainForm));
        // The buttons first, in their order, then the links.
        QCOMPARE(TabOrder(MainForm, 9, MainForm->findChild<QWidget*>("ButtonSplit")),
                 QStringList({"ButtonSplit", "ButtonJoin", "ButtonCompare", "ButtonChecksum",
                              "ButtonAbout", "ButtonExit", "LabelParvoxURL", "ImageLogoQuillfern",
                              "LabelQuillfernURL", "ButtonSplit"}));
        const std::vector<std::pair<const char*, QString>> Links = {
            {"LabelParvoxURL", "Parvox home page"},
            {"LabelQuillfernURL", "Quillfern web site"},
            {"ImageLogoQuillfern", "Quillfern web site (logo)"}};
        for (const auto& [Name, AccessibleName] : Links) {
            QAccessibleInterface* Link = Accessible(MainForm->findChild<QWidget*>(Name));
            QCOMPARE(Link->role(), QAccessible::Link);
            QCOMPARE(Link->text(QAccessible::Name), AccessibleName);
        }
    }

    void AboutWindowCanBeWorkedFromTheKeyboard() {
        TFormAbout Form(MainForm);
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        VERIFY_NO_FAULTS(AccessibilityFaults(&Form));
        QCOMPARE(
            TabOrder(&Form, 3, Form.findChild<QWidget*>("ButtonClose")),
            QStringList({"ButtonClose", "LabelParvoxURL", "LabelQuillfernURL", "ButtonClose"}));
        QCOMPARE(Accessible(Form.findChild<QWidget*>("LabelParvoxURL"))->role(), QAccessible::Link);
        QCOMPARE(Accessible(Form.findChild<QWidget*>("Image1"))->text(QAccessible::Name),
                 QStringLiteral("Quillfern logo"));
    }

    void LinkInTheMainWindowActsOnSpaceAndEnter() {
        auto* Label = MainForm->findChild<TClickLabel*>("LabelParvoxURL");
        QSignalSpy Clicked(Label, &TClickLabel::clicked);
        Label->setFocus(Qt::TabFocusReason);
        PressKey(MainForm, Qt::Key_Space);
        PressKey(MainForm, Qt::Key_Return);
        PressKey(MainForm, Qt::Key_Enter);
        QCOMPARE(Clicked.count(), 3);
        // Enter stays with the label: no button of the window acted on it.
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QVERIFY(MainForm->isVisible());
    }

    void ClickLabelActsOnKeysAndForAssistiveTechnology() {
        QWidget Window;
        auto* Label = new TClickLabel(&Window);
        Label->setText(QStringLiteral("/tmp/input.bin"));
        QSignalSpy Clicked(Label, &TClickLabel::clicked);
        QVERIFY(Label->focusPolicy() & Qt::TabFocus);
        SendKey(Label, Qt::Key_Space, true);
        SendKey(Label, Qt::Key_A);
        QCOMPARE(Clicked.count(), 0);

        // Without a name of its own the label is named by its text, and it acts as a button.
        QAccessibleInterface* Interface = Accessible(Label);
        QCOMPARE(Interface->role(), QAccessible::Button);
        QCOMPARE(Interface->text(QAccessible::Name), QStringLiteral("/tmp/input.bin"));
        QVERIFY(Interface->state().focusable);
        QVERIFY(Interface->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::pressAction()));
        Interface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(Clicked.count(), 1);

        Label->setAccessibleName(QStringLiteral("Input file"));
        Label->setProperty("link", true);
        QCOMPARE(Interface->text(QAccessible::Name), QStringLiteral("Input file"));
        QCOMPARE(Interface->role(), QAccessible::Link);
    }

    void CheckFindsWhatKeepsAControlFromTheKeyboard() {
        QDialog Window;
        auto* Named = new QPushButton(QStringLiteral("&Start"), &Window);
        Named->setObjectName("Named");
        auto* IconOnly = new QPushButton(&Window);
        IconOnly->setObjectName("IconOnly");
        auto* Unfocusable = new TClickLabel(&Window);
        Unfocusable->setObjectName("Unfocusable");
        Unfocusable->setText(QStringLiteral("unknown"));
        Unfocusable->setFocusPolicy(Qt::ClickFocus);
        auto* Units = new QComboBox(&Window);
        Units->setObjectName("Units");
        Units->setEditable(true);
        Units->setAccessibleName(QStringLiteral("Units"));
        // Tab lands on the button instead.
        auto* Proxied = new QLineEdit(&Window);
        Proxied->setObjectName("Proxied");
        Proxied->setAccessibleName(QStringLiteral("Size"));
        Proxied->setFocusProxy(Named);
        auto* Hidden = new QPushButton(&Window);
        Hidden->hide();
        auto* Disabled = new QPushButton(&Window);
        Disabled->setEnabled(false);
        auto* Dialog = new QFileDialog(&Window);
        Dialog->setOption(QFileDialog::DontUseNativeDialog);
        int Row = 0;
        for (QWidget* Each : Window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            Each->move(0, 30 * Row++);
        Window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Window));
        QCOMPARE(AccessibilityFaults(&Window),
                 QStringList({"IconOnly: no accessible name",
                              "Unfocusable: its focus policy leaves out Tab",
                              "Proxied: Tab does not reach it"}));
    }

    void ProgressBarAndLineReadDuringARun() {
        TFormProgress* Progress = ParvoxController->ProgressForm.get();
        auto* Bar = Progress->findChild<QProgressBar*>("ProgressBar");
        QAccessibleInterface* Interface = Accessible(Bar);
        QCOMPARE(Interface->role(), QAccessible::ProgressBar);
        QCOMPARE(Interface->text(QAccessible::Name), QStringLiteral("Progress of the operation"));
        QAccessibleValueInterface* Value = Interface->valueInterface();
        QVERIFY(Value != nullptr);
        QCOMPARE(Value->minimumValue().toInt(), 0);
        QCOMPARE(Value->maximumValue().toInt(), 100);

        QTemporaryDir Dir;
        const QString Input = Dir.filePath(QStringLiteral("input.bin"));
        QFile File(Input);
        QVERIFY(File.open(QIODevice::WriteOnly));
        File.write(QByteArray(20 * 1024, 'p'));
        File.close();
        ParvoxApp->Split->SetBaseFileName(Input.toStdString());
        ParvoxApp->Split->SplitSize = 8;

        // What assistive technology reads from the bar and the line while a
        // run of about two seconds goes on.
        QAccessibleInterface* Line = Accessible(Progress->findChild<QLabel*>("LabelLine"));
        QList<int> Positions;
        QStringList Lines;
        const auto Read = [&] {
            Positions << Value->currentValue().toInt();
            if (Lines.isEmpty() || Lines.back() != Line->text(QAccessible::Name))
                Lines << Line->text(QAccessible::Name);
        };
        QTimer Reader;
        Reader.callOnTimeout(Read);
        Reader.start(20);
        ParvoxApp->SetProgressHandler(
            [](const std::string&, long double) { QThread::msleep(100); });
        QElapsedTimer Took;
        Took.start();
        ParvoxController->Run(std::string(), [] { ParvoxApp->Split->Execute(); });
        Reader.stop();
        Read();
        // The Stop button reads "Stop" and Tab reaches it.
        QCOMPARE(AccessibilityFaults(Progress), QStringList());
        QCOMPARE(
            Accessible(Progress->findChild<QPushButton*>("ButtonStop"))->text(QAccessible::Name),
            QStringLiteral("Stop"));
        ParvoxController->HideProgress();
        ParvoxApp->SetProgressHandler(nullptr);

        QVERIFY(std::is_sorted(Positions.begin(), Positions.end()));
        QCOMPARE(Positions.back(), 100);
        QVERIFY2(Lines.size() <= Took.elapsed() / 1000 + 2, qPrintable(Lines.join('|')));
        QVERIFY2(Lines.filter(QRegularExpression(
                                  "^[0-9.]+ (bytes|kB) of 20 kB, [0-9.]+ kB/s, piece [1-3] of 3$"))
                         .size() > 0,
                 qPrintable(Lines.join('|')));
        QCOMPARE(Line->text(QAccessible::Description),
                 QStringLiteral("Bytes done of the total, speed, time left and piece"));
    }

    void EveryTextReadsOnADarkPalette() {
        const QPalette Light = QApplication::palette();
        QApplication::setPalette(QPalette(QColor(0x42, 0x42, 0x45), QColor(0x22, 0x20, 0x20)));
        // The main and progress windows, made on the light palette, turn with it.
        QStringList Faults =
            ContrastFaults(MainForm) + ContrastFaults(ParvoxController->ProgressForm.get());
        const QList<QDialog*> Forms = {new TFormSplit(MainForm), new TFormJoin(MainForm),
                                       new TFormCompare(MainForm), new TFormChecksum(MainForm),
                                       new TFormAbout(MainForm)};
        for (QDialog* Form : Forms) {
            Form->show();
            Faults << ContrastFaults(Form);
        }
        qDeleteAll(Forms);
        OnNextModalOf<QMessageBox>([&](QMessageBox* Box) {
            Faults << ContrastFaults(Box);
            Box->accept();
        });
        TFormParvoxBase::ShowMessage("Splitting completed");
        QApplication::setPalette(Light);
        VERIFY_NO_FAULTS(Faults);
    }

    void MessageBoxKeepsItsTexts() {
        QString Name;
        QStringList Texts;
        OnNextModalOf<QMessageBox>([&](QMessageBox* Modal) {
            QAccessibleInterface* Box = Accessible(Modal);
            Name = Box->text(QAccessible::Name);
            Texts = NamesWithin(Box);
            Modal->accept();
        });
        TFormParvoxBase::ShowMessage("Splitting completed");
        QCOMPARE(Name, QStringLiteral("Parvox 2.3"));
        QVERIFY2(Texts.contains(QStringLiteral("Splitting completed")),
                 qPrintable(Texts.join('|')));
        QVERIFY2(Texts.contains(QStringLiteral("OK")), qPrintable(Texts.join('|')));
    }
};

QTEST_MAIN(AccessibilityTest)
#include "AccessibilityTest.moc"
