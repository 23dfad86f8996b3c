// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The application shell driven as a user drives it: start-up and shutdown,
// captions and sizes, the command keys, the closing question, the error
// display, the progress window, the guard that keeps a window still while
// its operation runs, the ways to stop a run, files dropped on the windows
// and files named on the command line.
#include "QFAbout.h"
#include "QFChecksum.h"
#include "QFCompare.h"
#include "QFJoin.h"
#include "QFMain.h"
#include "QFProgress.h"
#include "QFSplit.h"
#include "QProgressEstimate.h"
#include "QSessionEnd.h"
#include "RunTestHelpers.h"
#include "UiTestHelpers.h"
#include "classParvox.h"
#include "classParvoxController.h"
#include "classParvoxErrors.h"
#include "startup.h"
#include "txt.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A window of the test's own on the real window base, with a Start button
// that splits a file through the run guard, a button whose handler throws
// and a text box.
class TTestWindow : public TFormParvoxBase {
public:
    explicit TTestWindow(QWidget* Parent) : TFormParvoxBase(Parent) {
        resize(300, 200);
        ButtonStart = new QPushButton(QStringLiteral("&Start"), this);
        ButtonStart->setObjectName(QStringLiteral("ButtonStart"));
        ButtonStart->setGeometry(10, 10, 80, 30);
        ButtonFail = new QPushButton(QStringLiteral("&Fail"), this);
        ButtonFail->setGeometry(100, 10, 80, 30);
        Edit = new QLineEdit(this);
        Edit->setGeometry(10, 50, 100, 20);
        ButtonClose = new QPushButton(QStringLiteral("&Close"), this);
        ButtonClose->setObjectName(QStringLiteral("ButtonClose"));
        ButtonClose->setGeometry(100, 120, 97, 33);
        Bind(ButtonStart, &QPushButton::clicked, &TTestWindow::ButtonStartClick);
        Bind(ButtonFail, &QPushButton::clicked, &TTestWindow::ButtonFailClick);
        FormCreate();
    }

    void ButtonStartClick() {
        ++Starts;
        if (RunOperation("Working...", [] { ParvoxApp->Split->Execute(); }))
            ++Completed;
    }
    void ButtonFailClick() {
        ++Failures;
        throw EParvoxError("Empty basefile name");
    }
    bool HandleShortcut(int Key, Qt::KeyboardModifiers Shift) override {
        if (TFormParvoxBase::HandleShortcut(Key, Shift))
            return true;
        if (Key != Qt::Key_S)
            return false;
        ButtonStartClick();
        return true;
    }

    QPushButton* ButtonStart;
    QPushButton* ButtonFail;
    QPushButton* ButtonClose;
    QLineEdit* Edit;
    int Starts = 0;
    int Completed = 0;
    int Failures = 0;
};

// Whether the closing question comes up when Action runs, answered with Answer.
bool AsksToClose(const std::function<void()>& Action, QMessageBox::StandardButton Answer) {
    auto Box = AnswerNextMessageBox(Answer);
    Action();
    const bool Asked = WaitFor([&] { return Box->Seen; }, 2000);
    CancelPendingAnswers();
    return Asked && Box->Text == QStringLiteral("Are you sure you want to close Parvox?") &&
           Box->Title == QStringLiteral("Parvox 2.3") && Box->Buttons.size() == 2;
}

// Where the X server has Window's top-left corner, which is not always where Qt believes it.
QPoint ServerPosition(const QWidget& Window) {
    xcb_connection_t* X = qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const xcb_window_t Root = xcb_setup_roots_iterator(xcb_get_setup(X)).data->root;
    auto* Reply = xcb_translate_coordinates_reply(
        X, xcb_translate_coordinates(X, Window.internalWinId(), Root, 0, 0), nullptr);
    const QPoint Position(Reply->dst_x, Reply->dst_y);
    std::free(Reply);
    return Position;
}

// A window manager that took a hidden window on late may leave it anywhere,
// as here in the corner of the screen, unknown to Qt until its next events.
void MoveBehindQt(const QWidget& Window) {
    xcb_connection_t* X = qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const uint32_t Corner[] = {0, 0};
    if (Window.internalWinId() != 0)
        xcb_configure_window(X, Window.internalWinId(), XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y,
                             Corner);
    xcb_flush(X);
}

// Engines that report as a slow medium lets them: a run lasts seconds.
void ReportSlowly() {
    ParvoxApp->SetProgressHandler([](const std::string&, long double) { QThread::usleep(100); });
}

// Sets every engine to work on Film, a file of 8 MiB, or its pieces.
void WorkOn(const QString& Film) {
    WriteBytes(Film, PatternBytes(8 << 20));
    for (const int Piece : {1, 2})
        WriteBytes(PieceName(Film + QStringLiteral("-set"), Piece), PatternBytes(4 << 20));
    const std::string Name = Film.toStdString();
    ParvoxApp->Split->SetBaseFileName(Name);
    ParvoxApp->Join->SetPieceFileName(1, Name + "-set.001");
    ParvoxApp->Checksum->FileName = ParvoxApp->Compare->FileName1 = ParvoxApp->Compare->FileName2 =
        Name;
    ParvoxApp->Checksum->FileSelected = ParvoxApp->Compare->File1Selected =
        ParvoxApp->Compare->File2Selected = true;
}

// Closes the next modal window that opens and adds to Seen what it showed:
// a message box's text, or a window's class and the files that it names.
void RecordNextModal(QStringList& Seen) {
    OnNextModalOf<QDialog>([&Seen](QDialog* Opened) {
        const auto* Box = qobject_cast<QMessageBox*>(Opened);
        QString Shown = Box ? Box->text() : Opened->metaObject()->className();
        for (const char* Name : {"LabelInputFile", "LabelFile1", "LabelFile2"})
            if (!Box && Opened->findChild<QLabel*>(Name) != nullptr)
                Shown += ' ' + LabelText(Opened, Name);
        Seen << Shown;
        Opened->done(QDialog::Rejected);
    });
}

} // namespace

class ShellTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // Closing the main window in a test must not end the test program.
        QApplication::setQuitOnLastWindowClosed(false);
        QVERIFY(txtSplittingDone.empty());
        CreateEngines();
        QVERIFY(ParvoxApp != nullptr);
        QVERIFY(ParvoxController == nullptr);
        QVERIFY(MainForm == nullptr);
        StartUp();
        QVERIFY(QTest::qWaitForWindowExposed(MainForm));
    }

    void cleanupTestCase() {
        bool EnginesOutliveController = false;
        QObject::connect(ParvoxController->ProgressForm.get(), &QObject::destroyed,
                         [&] { EnginesOutliveController = ParvoxApp != nullptr; });
        ShutDown();
        QVERIFY(EnginesOutliveController);
        QVERIFY(ParvoxApp == nullptr);
        QVERIFY(ParvoxController == nullptr);
        QVERIFY(txtSplittingDone.empty());
    }

    void init() {
        if (!MainForm->isVisible()) {
            MainForm->show();
            QVERIFY(QTest::qWaitForWindowExposed(MainForm));
        }
        MainForm->activateWindow();
        QVERIFY(WaitFor([] { return QApplication::activeWindow() == MainForm; }));
    }

    void startUpLoadsTextsAndTitles() {
        QCOMPARE(QString::fromStdString(txtSplittingDone), QStringLiteral("Splitting completed"));
        QCOMPARE(MainForm->windowTitle(), QStringLiteral("Parvox 2.3 for Linux"));
        QCOMPARE(TFormParvoxBase::ApplicationTitle(), QStringLiteral("Parvox 2.3"));
        QCOMPARE(MainForm->size(), QSize(510, 370));
        QVERIFY(
            !MainForm->findChild<QLabel*>(QStringLiteral("ImageLogoQuillfern"))->pixmap().isNull());
        QVERIFY(!ParvoxController->ProgressForm->isVisible());
        QVERIFY(ParvoxApp->Split && ParvoxApp->Join && ParvoxApp->Checksum && ParvoxApp->Compare);
    }

    void aboutWindowOpensOnAAndClosesOnCAndX() {
        for (const Qt::Key CloseKey : {Qt::Key_C, Qt::Key_X}) {
            QString Caption, Version;
            QSize Size;
            bool ClosedByKey = false;
            OnNextModalOf<TFormAbout>([&](TFormAbout* About) {
                Caption = About->windowTitle();
                Size = About->size();
                Version = About->findChild<QLabel*>(QStringLiteral("LabelVersion"))->text();
                // Modifiers keep it open; the plain key closes it, without a question.
                PressKey(About, CloseKey, Qt::ControlModifier);
                PressKey(About, CloseKey, Qt::ShiftModifier);
                const bool StillOpen = About->isVisible();
                PressKey(About, CloseKey);
                ClosedByKey = StillOpen && !About->isVisible();
            });
            PressKey(MainForm, Qt::Key_A, Qt::ShiftModifier);
            QCOMPARE(Caption, QStringLiteral("Parvox 2.3"));
            QCOMPARE(Size, QSize(491, 322));
            QCOMPARE(Version, QStringLiteral("Version 2.3 for Linux"));
            QVERIFY(ClosedByKey);
            QVERIFY(MainForm->isVisible());
            QVERIFY(WaitFor([] { return QApplication::activeWindow() == MainForm; }));
        }
    }

    void linksOpenNothing() {
        const auto WindowsBefore = QApplication::topLevelWidgets().size();
        for (const char* Name : {"LabelParvoxURL", "LabelQuillfernURL", "ImageLogoQuillfern"}) {
            auto* Link = MainForm->findChild<QLabel*>(QString::fromLatin1(Name));
            QVERIFY(Link != nullptr);
            QTest::mouseClick(Link, Qt::LeftButton);
        }
        QTest::qWait(50);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QCOMPARE(QApplication::topLevelWidgets().size(), WindowsBefore);
    }

    void everyWayOfClosingAsksFirst() {
        auto* Exit = MainForm->findChild<QPushButton*>(QStringLiteral("ButtonExit"));
        const std::vector<std::pair<const char*, std::function<void()>>> Ways{
            {"Exit button", [Exit] { Exit->click(); }},
            {"C", [] { PressKey(MainForm, Qt::Key_C); }},
            {"X", [] { PressKey(MainForm, Qt::Key_X); }},
            {"Alt+X mnemonic",
             [] {
                 MainForm->activateWindow();
                 QVERIFY(WaitFor([] { return QApplication::activeWindow() == MainForm; }));
                 PressKey(MainForm, Qt::Key_X, Qt::AltModifier);
             }},
            {"Escape", [] { PressKey(MainForm, Qt::Key_Escape); }},
            {"window system", [] { MainForm->windowHandle()->close(); }},
        };
        for (const auto& [Name, Way] : Ways) {
            QVERIFY2(AsksToClose(Way, QMessageBox::No), Name);
            QVERIFY2(MainForm->isVisible(), Name);
        }
        QVERIFY(AsksToClose([] { PressKey(MainForm, Qt::Key_C); }, QMessageBox::Yes));
        QVERIFY(WaitFor([] { return !MainForm->isVisible(); }));
    }

    void modifiersKeepCAndXFromClosing() {
        for (const auto Modifier : {Qt::ControlModifier, Qt::ShiftModifier, Qt::AltModifier})
            for (const Qt::Key Key : {Qt::Key_C, Qt::Key_X}) {
                if (Modifier == Qt::AltModifier && Key == Qt::Key_X)
                    continue; // the Exit button's mnemonic
                auto Box = AnswerNextMessageBox(QMessageBox::No);
                PressKey(MainForm, Key, Modifier);
                QTest::qWait(150);
                QVERIFY(!Box->Seen);
                CancelPendingAnswers();
            }
        QVERIFY(MainForm->isVisible());
    }

    void keysReachTextBoxesAfterThePreview() {
        TTestWindow Window(MainForm);
        Window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Window));
        QCOMPARE(Window.windowTitle(), QStringLiteral("Parvox 2.3"));
        QCOMPARE(Window.size(), QSize(100 + 97 + 15, 120 + 33 + 25));
        Window.Edit->setFocus();
        PressKey(&Window, Qt::Key_C, Qt::ShiftModifier);
        PressKey(&Window, Qt::Key_X, Qt::ControlModifier);
        QVERIFY(Window.isVisible());
        QCOMPARE(Window.Edit->text().toUpper(), QStringLiteral("C"));
        PressKey(&Window, Qt::Key_X);
        QVERIFY(!Window.isVisible());
    }

    // A command letter acts once: the focused list does not search its items
    // for it as well. A closed list takes no other letter either, which
    // would change its choice unseen; an open one does. A window without a
    // list gets one for the test.
    void lettersActOnce_data() {
        for (const char* Column : {"Window", "List", "Letter", "After"})
            QTest::addColumn<QString>(Column);
        for (const QStringList& Row :
             std::initializer_list<QStringList>{{"Main", "", "A", "Parvox"},
                                                {"About", "", "X", "Parvox"},
                                                {"Split", "ComboMedium", "F", "CD (700 MB)"},
                                                {"Split", "ComboMedium", "S", "CD (700 MB)"},
                                                {"Split", "ComboUnits", "M", "Kbytes"},
                                                {"Split", "ComboMedium", "D", "CD (700 MB)"},
                                                {"Split", "open ComboMedium", "D", "DVD (4.7 GB)"},
                                                {"Join", "", "O", "Parvox"},
                                                {"Compare", "", "1", "Parvox"},
                                                {"Checksum", "", "F", "Parvox"}})
            QTest::newRow(qPrintable(Row.join(' '))) << Row[0] << Row[1] << Row[2] << Row[3];
    }

    void lettersActOnce() {
        QFETCH(QString, Window);
        QFETCH(QString, List);
        QFETCH(QString, Letter);
        const QMap<QString, std::function<std::unique_ptr<TFormParvoxBase>()>> Windows = {
            {"Split", OpenWindow<TFormSplit>},
            {"Join", OpenWindow<TFormJoin>},
            {"Compare", OpenWindow<TFormCompare>},
            {"Checksum", OpenWindow<TFormChecksum>},
            {"About", OpenWindow<TFormAbout>}};
        ParvoxApp->Split->SetBaseFileName("");
        const auto Opened = Windows.contains(Window) ? Windows[Window]() : nullptr;
        TFormParvoxBase* Form = Opened ? Opened.get() : MainForm;
        auto* Choices = List.isEmpty() ? new QComboBox(Form)
                                       : Form->findChild<QComboBox*>(List.section(' ', -1));
        const std::unique_ptr<QComboBox> Probe(List.isEmpty() ? Choices : nullptr);
        if (Probe) {
            Probe->addItems({"Parvox", Letter + " probe"});
            Probe->show();
        }
        Choices->setCurrentText(List == "ComboUnits" ? "Kbytes"
                                : List.isEmpty()     ? "Parvox"
                                                     : "CD (700 MB)");
        Choices->setFocus();
        // The command's window or message closes as it opens.
        QStringList Seen;
        RecordNextModal(Seen);
        const auto Key = Qt::Key(QKeySequence(Letter)[0].key());
        if (List.startsWith("open ")) {
            Choices->showPopup();
            QTest::keyClick(Choices->view(), Key);
            QTest::keyClick(Choices->view(), Qt::Key_Return);
        } else {
            PressKey(Form, Key);
        }
        CancelPendingAnswers();
        QTEST(Choices->currentText(), "After");
        if (Opened)
            Form->close();
    }

    void errorDisplayAppendsAFullStopByTheRule() {
        QCOMPARE(TFormParvoxBase::ErrorDisplayText("Empty basefile name"), "Empty basefile name.");
        QCOMPARE(TFormParvoxBase::ErrorDisplayText("I/O error 13"), "I/O error 13.");
        QCOMPARE(TFormParvoxBase::ErrorDisplayText("Please specify an input file first."),
                 "Please specify an input file first.");
        QCOMPARE(TFormParvoxBase::ErrorDisplayText("ends in a blank "), "ends in a blank ");
        QCOMPARE(TFormParvoxBase::ErrorDisplayText("(in brackets)"), "(in brackets)");
        QCOMPARE(TFormParvoxBase::ErrorDisplayText("a path/"), "a path/.");
        QCOMPARE(TFormParvoxBase::ErrorDisplayText("comma,"), "comma,");
        QCOMPARE(TFormParvoxBase::ErrorDisplayText(""), "");
    }

    void aThrowingHandlerLeavesTheWindowUsable() {
        TTestWindow Window(MainForm);
        Window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Window));
        for (int Round = 1; Round <= 2; ++Round) {
            auto Box = AnswerNextMessageBox(QMessageBox::Ok);
            Window.ButtonFail->click();
            QVERIFY(WaitFor([&] { return Box->Seen; }));
            QCOMPARE(Box->Text, QStringLiteral("Empty basefile name."));
            QCOMPARE(Box->Title, QString());
            QCOMPARE(Box->Icon, QMessageBox::Critical);
            QCOMPARE(Box->Buttons.size(), 1);
            QCOMPARE(Window.Failures, Round);
            QVERIFY(Window.isVisible());
        }
    }

    // Segments: seconds at a speed in bytes a second, sampled twice a
    // second from 0 bytes at 0 s; "storing" for the last phase. Piece 2 of 7.
    void progressLineSaysWhatIsKnown_data() {
        QTest::addColumn<QString>("Segments");
        QTest::addColumn<qint64>("Total");
        QTest::addColumn<QString>("Line");
        const qint64 Film = 6'000'000'000;
        QTest::newRow("start") << "" << Film << "0 bytes of 6.0 GB, piece 2 of 7";
        QTest::newRow("no time left yet")
            << "3@25000000" << Film << "75 MB of 6.0 GB, 25 MB/s, piece 2 of 7";
        QTest::newRow("steady") << "10@25000000" << Film
                                << "250 MB of 6.0 GB, 25 MB/s, about 4 minutes left, piece 2 of 7";
        QTest::newRow("slowing")
            << "10@25000000 10@5000000" << Film
            << "300 MB of 6.0 GB, 5.0 MB/s, about 20 minutes left, piece 2 of 7";
        QTest::newRow("stalled") << "5@25000000 5@0" << Film
                                 << "125 MB of 6.0 GB, stalled, piece 2 of 7";
        QTest::newRow("3 s after a stall of 12 s")
            << "10@25000000 12@0 3@25000000" << Film
            << "325 MB of 6.0 GB, 25 MB/s, about 4 minutes left, piece 2 of 7";
        QTest::newRow("just past a boundary")
            << "20@1000000" << qint64(157'000'000)
            << "20 MB of 157 MB, 1.0 MB/s, about 3 minutes left, piece 2 of 7";
        QTest::newRow("well past it")
            << "25@1000000" << qint64(157'000'000)
            << "25 MB of 157 MB, 1.0 MB/s, about 2 minutes left, piece 2 of 7";
        QTest::newRow("storing") << "10@25000000 storing" << Film
                                 << "Finishing writes to the drive...";
        QTest::newRow("pieces from several media")
            << "/media/anna/DVD2 10@25000000" << Film
            << "250 MB of 6.0 GB, 25 MB/s, about 4 minutes left, piece 2 of 7, from "
               "/media/anna/DVD2";
    }

    void progressLineSaysWhatIsKnown() {
        QFETCH(QString, Segments);
        QFETCH(qint64, Total);
        TProgressEstimate Estimate;
        TProgressEstimate::TSample Sample{.Total = Total, .Piece = 2, .Pieces = 7};
        QString Line = Estimate.Line(Sample);
        for (const QString& Segment : Segments.split(' ', Qt::SkipEmptyParts)) {
            if (Segment.startsWith('/')) {
                Sample.From = Segment;
                continue;
            }
            Sample.Storing = Segment == QStringLiteral("storing");
            const QStringList Parts = Segment.split('@');
            for (int Half = 0; Half < (Sample.Storing ? 1 : 2 * Parts[0].toInt()); ++Half) {
                Sample.Seconds += Sample.Storing ? 0.0 : 0.5;
                Sample.Done += Sample.Storing ? 0 : Parts.value(1).toLongLong() / 2;
                Line = Estimate.Line(Sample);
            }
        }
        QTEST(Line, "Line");
    }

    void progressWindowRoundsHalfToEvenAndClamps() {
        QCOMPARE(TFormProgress::FractionToPosition(0.125L), 12);
        QCOMPARE(TFormProgress::FractionToPosition(0.375L), 38);
        QCOMPARE(TFormProgress::FractionToPosition(0.5L), 50);
        QCOMPARE(TFormProgress::FractionToPosition(1.004L), 100);
        QCOMPARE(TFormProgress::FractionToPosition(1.006L), 100);
        QCOMPARE(TFormProgress::FractionToPosition(6144.0L / 6000.0L), 100);
        QCOMPARE(TFormProgress::FractionToPosition(-0.2L), 0);
        QCOMPARE(TFormProgress::FractionToPosition(1e30L), 100);
    }

    void progressWindowShowsWithoutTakingTheKeyboard() {
        TTestWindow Window(MainForm);
        Window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Window));
        Window.activateWindow();
        Window.Edit->setFocus();
        QVERIFY(WaitFor([&] { return QApplication::focusWidget() == Window.Edit; }));
        TFormProgress& Progress = *ParvoxController->ProgressForm;
        ParvoxController->ShowProgress("", 0.5L);
        QVERIFY(Progress.isVisible());
        QCOMPARE(Progress.Status(), QStringLiteral("Working..."));
        QCOMPARE(Progress.Position(), 50);
        QCOMPARE(Progress.size(), QSize(378, 122));
        QCOMPARE(Progress.windowTitle(), QStringLiteral("Parvox 2.3"));
        QTest::qWait(50);
        QCOMPARE(QApplication::focusWidget(), Window.Edit);
        // Where no bytes move, the line says what the run waits for; the
        // recovery data's phases say what they work on, with their bytes.
        TProgressCounts Counts;
        Counts.Total = 3'000'000;
        Counts.Done = 1'000'000;
        Counts.Pieces = 7;
        const struct {
            TProgressCounts::TPhase Phase;
            const char* Subject;
            const char* Line;
        } Phases[] = {
            {TProgressCounts::Removing, "", "Removing the earlier pieces..."},
            {TProgressCounts::Checking, "", "Checking the pieces..."},
            {TProgressCounts::Recovering, "", "Computing recovery data... 1.0 MB of 3.0 MB"},
            {TProgressCounts::Recovering, "pass 2 of 3",
             "Computing recovery data, pass 2 of 3... 1.0 MB of 3.0 MB"},
            {TProgressCounts::Rebuilding, "film.mkv.003",
             "Rebuilding film.mkv.003... 1.0 MB of 3.0 MB"},
            {TProgressCounts::Verifying, "", "Checking the joined file... 1.0 MB of 3.0 MB"},
        };
        for (const auto& Row : Phases) {
            Progress.BeginRun();
            Counts.Phase = Row.Phase;
            Counts.SetSubject(Row.Subject);
            Progress.ShowCounts(Counts);
            QCOMPARE(Progress.Line(), QString::fromLatin1(Row.Line));
        }
        ParvoxController->ShowProgress("Copying a rather long status text that wraps", 1.006L);
        QCOMPARE(Progress.Status(), QStringLiteral("Copying a rather long status text that wraps"));
        QCOMPARE(Progress.Position(), 100);
        ParvoxController->HideProgress();
        QVERIFY(!Progress.isVisible());
    }

    void runGuardRefusesStartAndCloseDuringARun() {
        QTemporaryDir Dir;
        const QString Input = Dir.filePath(QStringLiteral("big.bin"));
        WriteBytes(Input, QByteArray(600 * 1024, 'p'));
        ParvoxApp->Split->SetBaseFileName(Input.toStdString());
        ParvoxApp->Split->SplitSize = 100;

        TTestWindow Window(MainForm);
        Window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Window));
        Window.Edit->setFocus();
        {
            TRunGuardProbe Run(*ParvoxApp->Split, &Window, [&Window] { Window.ButtonStartClick(); },
                               {}, {});
            PressKey(&Window, Qt::Key_S);
            VERIFY_NO_FAULTS(Run.Faults());
            QCOMPARE(Run.Reports, 600);
        }
        QCOMPARE(Window.Completed, 1);
        QVERIFY(!ProgressVisible());
        QVERIFY(!ParvoxController->OperationRunning());
        // All comes back once the run is over.
        VERIFY_NO_FAULTS(ControlFaults(&Window, true));
        QVERIFY(WaitFor([&] { return QApplication::focusWidget() == Window.Edit; }));
        PressKey(&Window, Qt::Key_S);
        QCOMPARE(Window.Completed, 2);
        PressKey(&Window, Qt::Key_C);
        QVERIFY(!Window.isVisible());
    }

    // Each way of stopping ends the run at once, with no message and no
    // output left; the window comes back as after a run, or closes when
    // that was what the user asked.
    void stopsARunQuietly_data() {
        QTest::addColumn<int>("OpenKey");
        QTest::addColumn<QString>("Way");
        QTest::newRow("split, Stop button") << int(Qt::Key_S) << QStringLiteral("button");
        QTest::newRow("join, Escape") << int(Qt::Key_J) << QStringLiteral("Escape");
        QTest::newRow("compare, Escape in the progress window")
            << int(Qt::Key_O) << QStringLiteral("progress Escape");
        QTest::newRow("checksum, close box") << int(Qt::Key_K) << QStringLiteral("close");
        // No to the main window's question lets the run go on, in sight.
        QTest::newRow("split, No to closing, then Stop")
            << int(Qt::Key_S) << QStringLiteral("No, then button");
    }

    void stopsARunQuietly() {
        QFETCH(int, OpenKey);
        QFETCH(QString, Way);
        QTemporaryDir Dir;
        WorkOn(Dir.filePath(QStringLiteral("film")));
        const QStringList Before = QDir(Dir.path()).entryList(QDir::Files);
        QStringList Faults;
        OnNextModalOf<TFormParvoxBase>([&](QWidget* Form) {
            ReportSlowly();
            QElapsedTimer Asked;
            auto Box = std::make_shared<TSeenBox>();
            QTimer::singleShot(300, [&] {
                Asked.start();
                TFormProgress* Progress = ParvoxController->ProgressForm.get();
                // Through the window system, which drops input to a window
                // that a modal window blocks.
                const auto* Stop = Control<QPushButton>(Progress, "ButtonStop");
                if (Way.startsWith(QStringLiteral("No"))) {
                    CancelPendingAnswers();
                    if (!AsksToClose([] { MainForm->close(); }, QMessageBox::No))
                        Faults << QStringLiteral("no closing question");
                    Box = AnswerNextMessageBox();
                    if (!Progress->isVisible() || !ParvoxController->OperationRunning())
                        Faults << QStringLiteral("the run went out of sight after No");
                    Asked.start();
                }
                if (Way.endsWith(QStringLiteral("button")))
                    QTest::mouseClick(Progress->windowHandle(), Qt::LeftButton, {},
                                      Stop->geometry().center());
                else if (Way == QStringLiteral("Escape"))
                    PressKey(Form, Qt::Key_Escape);
                else if (Way == QStringLiteral("progress Escape"))
                    QTest::keyClick(Progress->windowHandle(), Qt::Key_Escape);
                else
                    Form->close();
            });
            Box = AnswerNextMessageBox();
            PressKey(Form, Qt::Key_S);
            if (!Asked.isValid() || Asked.elapsed() > 500)
                Faults << QStringLiteral("the run did not end at the request");
            if (WaitFor([&] { return Box->Seen; }, 300))
                Faults << QStringLiteral("a box: ") + Box->Text;
            CancelPendingAnswers();
            if (ProgressVisible() || ParvoxController->OperationRunning())
                Faults << QStringLiteral("the run is still on");
            if (Way != QStringLiteral("close")) {
                Faults << ControlFaults(Form, true);
                PressKey(Form, Qt::Key_C);
            }
        });
        PressKey(MainForm, static_cast<Qt::Key>(OpenKey));
        VERIFY_NO_FAULTS(Faults);
        QCOMPARE(QDir(Dir.path()).entryList(QDir::Files), Before);
    }

    // A signal ignored when the program started (nohup) stays ignored, and a
    // second SIGTERM ends the program at once, whatever it still cleans up.
    void sessionSignals() {
        const pid_t Child = ::fork();
        if (Child == 0) {
            ::signal(SIGHUP, SIG_IGN);
            const TSessionEnd Session([](int) {});
            struct sigaction Hangup {};
            ::sigaction(SIGHUP, nullptr, &Hangup);
            if (Hangup.sa_handler != SIG_IGN)
                ::_exit(2);
            ::raise(SIGTERM);
            ::raise(SIGTERM);
            ::_exit(0);
        }
        int Status = 0;
        ::waitpid(Child, &Status, 0);
        QVERIFY2(WIFSIGNALED(Status), qPrintable(QString::number(WEXITSTATUS(Status))));
        QCOMPARE(WTERMSIG(Status), SIGTERM);
    }

    void filesDropped_data() {
        QTest::addColumn<QWidget*>("Window");
        QTest::addColumn<QString>("Where");
        QTest::addColumn<QStringList>("Dropped");
        QTest::addColumn<QStringList>("Changes");
        // The windows stay open, with the main window, until the program ends.
        QWidget* Split = OpenWindow<TFormSplit>().release();
        QWidget* Join = OpenWindow<TFormJoin>().release();
        QWidget* Compare = OpenWindow<TFormCompare>().release();
        QWidget* Checksum = OpenWindow<TFormChecksum>().release();
        // Dropped: files in %1, or addresses (none: a text); Changes: none when refused.
        const auto Row = [](const char* Name, QWidget* Window, const char* Where,
                            const char* Dropped, const char* Changes) {
            QTest::newRow(Name) << Window << QString(Where)
                                << QString(Dropped).split(' ', Qt::SkipEmptyParts)
                                << QString(Changes).split('|', Qt::SkipEmptyParts);
        };
        Row("split", Split, "EditSplitFileSize", "a.bin",
            "LabelInputFile=%1/a.bin|LabelOutputFolder=%1|"
            "LabelCount=1 bytes: 1 piece, the whole file");
        Row("split, a folder", Split, "Label3", ".", "");
        Row("split, a folder on its row", Split, "LabelOutputFolder", "sub",
            "LabelExplanation=To split a file, please first open the input file with the 'Input "
            "file' button. After pressing 'Start', the output (split) files will be put into the "
            "output folder chosen above, not next to the input file.|LabelOutputFolder=%1/sub");
        Row("join", Join, "Label3", "p.001",
            "LabelInputFile=%1/p.001|LabelOutputFile=%1/p|LabelOutputFolder=%1");
        Row("join, not a first piece", Join, "Button3", "a.bin",
            "Invalid file name, should have extension .001.");
        Row("join, a link to nothing", Join, "Label3", "dangling", "");
        Row("compare, row 2", Compare, "Button1", "b.bin", "LabelFile2=%1/b.bin");
        Row("compare, two", Compare, "Label1", "b.bin a.bin",
            "LabelFile1=%1/b.bin|LabelFile2=%1/a.bin");
        Row("compare, one on no row", Compare, "Label1", "a.bin", "");
        Row("compare, three", Compare, "LabelFile1", "a.bin b.bin a.bin", "");
        Row("checksum", Checksum, "Label1", "b.bin", "LabelFileName=%1/b.bin");
        Row("checksum, remote", Checksum, "Label1", "https://example.org/b.bin", "");
        Row("main", MainForm, "TitleLabel", "a.bin", "TFormSplit %1/a.bin");
        Row("main, first piece", MainForm, "ButtonJoin", "p.001", "TFormJoin %1/p.001");
        Row("main, two", MainForm, "ButtonExit", "b.bin a.bin", "TFormCompare %1/b.bin %1/a.bin");
        Row("main, text", MainForm, "TitleLabel", "", "");
    }

    // Each drag goes to the window as the window system hands it to Qt:
    // first while an operation runs, which must refuse it.
    void filesDropped() {
        QFETCH(QWidget*, Window);
        QFETCH(QString, Where);
        QFETCH(QStringList, Dropped);
        QFETCH(QStringList, Changes);
        QTemporaryDir Dir;
        for (const char* Name : {"a.bin", "b.bin", "p.001"})
            WriteBytes(Dir.filePath(Name), "x");
        QDir(Dir.path()).mkdir(QStringLiteral("sub"));
        QFile::link(Dir.filePath("missing"), Dir.filePath("dangling"));
        QList<QUrl> Urls;
        for (const QString& Item : Dropped)
            Urls << (Item.contains(':') ? QUrl(Item) : QUrl::fromLocalFile(Dir.filePath(Item)));
        QMimeData Data;
        Data.setUrls(Urls);
        const QWidget* Target = Control<QWidget>(Window, qPrintable(Where));
        const QPoint At = Target->mapTo(Window, Target->rect().center());
        const auto DragAndDrop = [&] {
            QDragEnterEvent Enter(At, Qt::CopyAction | Qt::MoveAction, &Data, Qt::LeftButton, {});
            QDragMoveEvent Move(At, Enter.possibleActions(), &Data, Qt::LeftButton, {});
            QDropEvent Drop(At, Enter.possibleActions(), &Data, Qt::LeftButton, {});
            for (QEvent* Event : std::initializer_list<QEvent*>{&Enter, &Move, &Drop})
                QApplication::sendEvent(Window->windowHandle(), Event);
            QTest::qWait(50);
            return Enter.isAccepted() && Move.isAccepted();
        };
        const auto Labels = [](const QWidget* Form) {
            QStringList Texts;
            for (const QLabel* Label : Form->findChildren<QLabel*>())
                Texts << Label->objectName() + '=' + Label->text();
            return Texts;
        };
        const QStringList Before = Labels(Window);
        QStringList Seen;
        RecordNextModal(Seen);
        QVERIFY(ParvoxController->BeginOperation());
        const bool TakenInARun = DragAndDrop();
        ParvoxController->EndOperation();
        QVERIFY(!TakenInARun && Seen.isEmpty() && Labels(Window) == Before);
        const bool Taken = DragAndDrop();
        CancelPendingAnswers();
        for (const QString& Label : Labels(Window))
            if (!Before.contains(Label))
                Seen << Label;
        QCOMPARE(Seen, Changes.replaceInStrings(QStringLiteral("%1"), Dir.path()));
        QCOMPARE(Taken, !Changes.isEmpty());
    }

    // Names relative to the current folder, and what opens or the message;
    // a name is opened by its bytes, shown as well as Qt can, and "link/.."
    // leads where the system says (sub, not the current folder).
    void commandLineFiles_data() {
        QTest::addColumn<QByteArray>("Arguments");
        QTest::addColumn<QString>("Opened");
        QTest::newRow("first piece") << QByteArray("p.001") << "TFormJoin %1/p.001";
        QTest::newRow("two") << QByteArray("b.bin p.001") << "TFormCompare %1/b.bin %1/p.001";
        QTest::newRow("refused") << QByteArray("b.bin . missing https://example.org/b.bin")
                                 << ". is a folder.\nmissing does not exist.\nhttps://example.org/"
                                    "b.bin is not a file on this machine.";
        QTest::newRow("three") << QByteArray("b.bin b.bin p.001")
                               << "Parvox opens one file, or two files to compare, not 3:\nb.bin\n"
                                  "b.bin\np.001";
        QTest::newRow("not UTF-8") << QByteArray("caf\xe9.bin") << "TFormSplit %1/caf\uFFFD.bin";
        QTest::newRow("link/..") << QByteArray("link/../film.bin")
                                 << "TFormSplit %1/link/../film.bin";
    }

    void commandLineFiles() {
        QFETCH(QByteArray, Arguments);
        QFETCH(QString, Opened);
        QTemporaryDir Dir;
        const std::string Path = QFile::encodeName(Dir.path()).toStdString();
        QVERIFY(QDir(Dir.path()).mkpath(QStringLiteral("sub/inner")));
        QVERIFY(QFile::link(QStringLiteral("sub/inner"), Dir.filePath("link")));
        for (const char* Name : {"b.bin", "p.001", "caf\xe9.bin", "sub/film.bin"})
            QVERIFY(std::ofstream(Path + '/' + Name) << 'x');
        const QString Folder = QDir::currentPath();
        QDir::setCurrent(Dir.path());
        QStringList Seen;
        RecordNextModal(Seen);
        std::vector<std::string> Names;
        for (const QByteArray& Name : Arguments.split(' '))
            Names.push_back(Name.toStdString());
        OpenFiles(Names);
        CancelPendingAnswers();
        QDir::setCurrent(Folder);
        // QTemporaryDir cannot remove a name that is not UTF-8.
        std::filesystem::remove(Path + "/caf\xe9.bin");
        QCOMPARE(Seen.join('|'), Opened.replace("%1", Dir.path()));
        if (Opened.startsWith(QLatin1String("TFormSplit")))
            QCOMPARE(ParvoxApp->Split->GetBaseFileName(), Path + '/' + Arguments.toStdString());
    }

    void runGuardAndProgressPlaceComeBackAfterAFailedRun() {
        ParvoxApp->Split->SetBaseFileName("/nonexistent/parvox/input");
        ParvoxApp->Split->SplitSize = 1;
        TTestWindow Window(MainForm);
        Window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Window));
        auto Box = AnswerNextMessageBox(QMessageBox::Ok);
        Window.ButtonStart->click();
        QVERIFY(WaitFor([&] { return Box->Seen; }));
        QCOMPARE(Box->Text,
                 QStringLiteral(
                     "File not found.\nNo such file or directory: /nonexistent/parvox/input."));
        QCOMPARE(Window.Completed, 0);
        QVERIFY(!ParvoxController->ProgressForm->isVisible());
        QVERIFY(!ParvoxController->OperationRunning());
        QVERIFY(Window.ButtonStart->isEnabled());

        // The next run shows the progress window centred, wherever the failed one left it.
        TFormProgress& Progress = *ParvoxController->ProgressForm;
        MoveBehindQt(Progress);
        ParvoxController->ShowProgress("", 0.0L);
        const QPoint Place = ServerPosition(Progress);
        ParvoxController->HideProgress();
        QRect Centred(QPoint(), Progress.size());
        Centred.moveCenter(Progress.screen()->availableGeometry().center());
        QCOMPARE(Place, Centred.topLeft());
        PressKey(&Window, Qt::Key_X);
        QVERIFY(!Window.isVisible());
    }
};

QTEST_MAIN(ShellTest)
#include "ShellTest.moc"
