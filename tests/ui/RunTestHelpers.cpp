// Helpers of the operation window tests.
#include "RunTestHelpers.h"

#include "classParvoxBase.h"
#include "classParvoxController.h"

#include <QFile>
#include <QFileInfo>
#include <QKeySequence>

std::shared_ptr<TSeenBox> StartAndAnswer(const QWidget* Form) {
    auto Seen = AnswerNextMessageBox();
    Button(Form, "ButtonStart")->click();
    return Seen;
}

void PressCloseKeysWithModifiers(QWidget* Form) {
    const Qt::KeyboardModifiers Held[] = {Qt::ShiftModifier, Qt::ControlModifier,
                                          Qt::ControlModifier | Qt::ShiftModifier};
    for (const Qt::KeyboardModifiers Shift : Held) {
        PressKey(Form, Qt::Key_C, Shift);
        PressKey(Form, Qt::Key_X, Shift);
    }
    // Alt with C is the Close button's own mnemonic; X has none.
    PressKey(Form, Qt::Key_X, Qt::AltModifier);
}

QStringList CloseKeyFaults(QWidget* Form) {
    QStringList Faults;
    PressCloseKeysWithModifiers(Form);
    if (!Form->isVisible())
        Faults << QStringLiteral("closed with a modifier key held");
    for (const Qt::Key Key : {Qt::Key_X, Qt::Key_C}) {
        Form->show();
        if (!QTest::qWaitForWindowExposed(Form))
            Faults << QStringLiteral("not shown before ") + QKeySequence(Key).toString();
        PressKey(Form, Key);
        if (Form->isVisible()) {
            Faults << QKeySequence(Key).toString() + QStringLiteral(" left it open");
            Form->hide();
        }
    }
    return Faults;
}

QByteArray PatternBytes(qsizetype Size) {
    QByteArray Data(Size, Qt::Uninitialized);
    quint32 State = 12345;
    for (qsizetype Index = 0; Index < Size; ++Index) {
        State = State * 1103515245U + 12345U;
        Data[Index] = static_cast<char>(State >> 24);
    }
    return Data;
}

void WriteBytes(const QString& Path, const QByteArray& Data) {
    QFile File(Path);
    if (!File.open(QIODevice::WriteOnly | QIODevice::Truncate) || File.write(Data) != Data.size())
        qFatal("cannot write %s", qPrintable(Path));
}

QByteArray ReadBytes(const QString& Path) {
    QFile File(Path);
    if (!File.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(Path));
    return File.readAll();
}

QString PieceName(const QString& Base, int Piece) {
    return Base + QStringLiteral(".%1").arg(Piece, 3, 10, QLatin1Char('0'));
}

QList<qint64> PieceSizes(const QString& Base) {
    QList<qint64> Sizes;
    for (int Piece = 1;; ++Piece) {
        const QFileInfo Info(PieceName(Base, Piece));
        if (!Info.exists())
            return Sizes;
        Sizes << Info.size();
    }
}

void ProbeDuringRun(TParvoxBase& Engine, const std::function<void()>& Probe) {
    auto Done = std::make_shared<bool>(false);
    Engine.OnProgress = [Done, Probe](const std::string& Status, long double Fraction) {
        ParvoxController->ShowProgress(Status, Fraction);
        if (Fraction > 0 && !*Done) {
            *Done = true;
            Probe();
        }
    };
}
