// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Split window.
#include "QFSplit.h"

#include "QOpenDialog.h"
#include "QRunNotices.h"
#include "classParvox.h"
#include "txt.h"
#include "ui_QFSplit.h"

#include <QKeyEvent>

#include <functional>
#include <unistd.h>
#include <utility>

namespace {

// What the window showed when it was last hidden, for its next opening.
int SavedUnitsIndex = 0;
QString SavedInputFileCaption = QStringLiteral("unknown");
QString SavedSplitSizeText = QStringLiteral("1400");

// Hands every character typed into a control to a key filter of the window,
// which refuses it by replacing it with the null character. Enter and Escape
// type characters too, so the filter decides on them, and the dialog never
// sees them as its default button or as a close. Keys that type nothing pass
// untouched: arrows and Delete, which edit, and Tab, the next control.
class TKeyPressFilter final : public QObject {
public:
    TKeyPressFilter(QObject* Parent, std::function<void(QChar&)> Handler)
        : QObject(Parent), KeyPress(std::move(Handler)) {}

protected:
    bool eventFilter(QObject* /*Watched*/, QEvent* Event) override {
        if (Event->type() != QEvent::KeyPress)
            return false;
        const auto* Key = static_cast<const QKeyEvent*>(Event);
        switch (Key->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Delete:
            return false;
        default:
            break;
        }
        if (Key->text().isEmpty())
            return false;
        QChar Typed = Key->text().front();
        KeyPress(Typed);
        return Typed.isNull();
    }

private:
    std::function<void(QChar&)> KeyPress;
};

// One bell character to the terminal, if the program has one; a beep that
// cannot be written is simply not heard.
void Beep() {
    static constexpr char Bell = '\a';
    int Terminal = -1;
    if (isatty(STDERR_FILENO) != 0)
        Terminal = STDERR_FILENO;
    else if (isatty(STDOUT_FILENO) != 0)
        Terminal = STDOUT_FILENO;
    if (Terminal >= 0) {
        [[maybe_unused]] const ssize_t Written = write(Terminal, &Bell, 1);
    }
}

} // namespace

TFormSplit::TFormSplit(QWidget* Parent)
    : TFormParvoxBase(Parent), ui(std::make_unique<Ui::FormSplit>()) {
    ui->setupUi(this);
    OpenDialog1 =
        new TOpenDialog(this, QStringLiteral("All files|*|Applications|*.exe; *.com; *.dll|"
                                             "Text files|*.txt; *.doc; *.rtf|"
                                             "Archives|*.zip; *.arj; *.lha; *.arc"));
    Bind(ui->ButtonStart, &QPushButton::clicked, &TFormSplit::ButtonStartClick);
    Bind(ui->ButtonClose, &QPushButton::clicked, &TFormSplit::ButtonCloseClick);
    Bind(ui->ButtonInputFile, &QPushButton::clicked, &TFormSplit::ButtonInputFileClick);
    Bind(ui->LabelInputFile, &TClickLabel::clicked, &TFormSplit::ButtonInputFileClick);
    AcceptFileDrops<TFormSplit>({}, {&TFormSplit::InputFileChosen});
    ui->EditSplitFileSize->installEventFilter(
        new TKeyPressFilter(this, [this](QChar& Key) { EditSplitFileSizeKeyPress(Key); }));
    FormCreate();
    ui->EditSplitFileSize->setFocus();
}

TFormSplit::~TFormSplit() = default;

void TFormSplit::FormShow() {
    TFormParvoxBase::FormShow();
    ui->LabelInputFile->setText(SavedInputFileCaption);
    ui->EditSplitFileSize->setText(SavedSplitSizeText);
    ui->EditSplitFileSize->resize(ui->EditSplitFileSize->width(), ui->ComboUnits->height());
    ui->ComboUnits->setCurrentIndex(SavedUnitsIndex);
}

void TFormSplit::FormHide() {
    SavedUnitsIndex = ui->ComboUnits->currentIndex();
    SavedInputFileCaption = ui->LabelInputFile->text();
    SavedSplitSizeText = ui->EditSplitFileSize->text();
}

bool TFormSplit::HandleShortcut(int Key, Qt::KeyboardModifiers Shift) {
    return TFormParvoxBase::HandleShortcut(Key, Shift) ||
           CommandKey<TFormSplit>(Key, {
                                           {Qt::Key_F, &TFormSplit::ButtonInputFileClick},
                                           {Qt::Key_S, &TFormSplit::ButtonStartClick},
                                           {Qt::Key_Z, &TFormSplit::FocusSplitFileSize},
                                       });
}

void TFormSplit::FocusSplitFileSize() {
    ui->EditSplitFileSize->setFocus();
}

void TFormSplit::ButtonInputFileClick() {
    if (const std::optional<std::string> Picked = PickFile())
        InputFileChosen(*Picked);
}

void TFormSplit::InputFileChosen(const std::string& FileName) {
    TSplit& Split = *ParvoxApp->Split;
    Split.SetBaseFileName(FileName);
    ui->LabelInputFile->setText(QString::fromStdString(Split.GetBaseFileName()));
}

std::optional<int64_t> TFormSplit::GetSplitFileSize() {
    bool Number = false;
    const int64_t Value = ui->EditSplitFileSize->text().toLongLong(&Number);
    if (!Number || Value == 0) {
        ShowMessage("Invalid split file size.");
        return std::nullopt;
    }
    switch (ui->ComboUnits->currentIndex()) {
    case -1:
        ShowMessage("Please select the split file size units first.");
        return std::nullopt;
    case 1:
        // A megabyte here is 1000 blocks.
        return Value * 1000;
    default:
        return Value;
    }
}

void TFormSplit::ButtonStartClick() {
    const std::optional<int64_t> Size = GetSplitFileSize();
    if (!Size)
        return;
    TSplit& Split = *ParvoxApp->Split;
    if (Split.BaseFileNameEmpty()) {
        ShowMessage(txtNoSourceFile);
        return;
    }
    // The size goes to the engine only once the run is granted, so a refused
    // start never changes the piece size under a split in progress.
    if (!RunOperation("Working...", [&Split, Size] {
            Split.SplitSize = *Size;
            Split.Execute();
        }))
        return;
    ShowCompletion(txtSplittingDone,
                   TRunNotices::SplitSummary(Split.GetBaseFileName(), Split.PieceCount()),
                   Split.GetBaseFileName());
}

void TFormSplit::EditSplitFileSizeKeyPress(QChar& Key) {
    if ((Key >= QLatin1Char('0') && Key <= QLatin1Char('9')) || Key == QLatin1Char('\b'))
        return;
    Key = QChar();
    Beep();
}
