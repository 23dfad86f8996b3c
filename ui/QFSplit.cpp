// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Split window.
#include "QFSplit.h"

#include "QOpenDialog.h"
#include "QOutputFolder.h"
#include "QRunNotices.h"
#include "classParvox.h"
#include "txt.h"
#include "ui_QFSplit.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSettings>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

// The input file's label when the window was last hidden, for its next
// opening. The size, its unit, the medium and the checksum file's choice are
// kept in the settings, across starts of the program.
QString SavedInputFileCaption = QStringLiteral("unknown");
const QString SizeKey = QStringLiteral("Split/Size");
const QString UnitKey = QStringLiteral("Split/Unit");
const QString MediumKey = QStringLiteral("Split/Medium");
const QString ChecksumFileKey = QStringLiteral("Split/WriteChecksumFile");
const QString RecoveryKey = QStringLiteral("Split/Recovery");

// The recovery data of each item of its list; the first is none.
std::optional<TRecoveryEncoder::TAmount> RecoveryOf(int Item) {
    switch (Item) {
    case 1:
        return TRecoveryEncoder::TAmount{5, false};
    case 2:
        return TRecoveryEncoder::TAmount{10, false};
    case 3:
        return TRecoveryEncoder::TAmount{0, true};
    default:
        return std::nullopt;
    }
}

// A Kbyte is one block of 1024 bytes, a Mbyte 1000 blocks.
constexpr int64_t BytesPerUnit[] = {BlockSize, 1000 * BlockSize};
// The size box holds six digits.
constexpr int64_t LargestValue = 999'999;

// A medium and the largest piece that it takes. Discs keep 2 MiB for their
// file system (the smaller of the two kinds of writable disc). A message of
// 20 MB passes the common mail services; an attachment goes in base64, 78
// bytes of it for 57 of the file with the line ends, beside 64 KiB for the
// rest of the message.
struct TMedium {
    const char* Name;
    int64_t Bytes;
};
constexpr int64_t DiscFileSystem = 2 * 1024 * 1024;
const TMedium Media[] = {
    {"Size of my own", 0},
    {"FAT32 stick (files below 4 GiB)", 4'294'967'295},
    {"CD (700 MB)", 737'280'000 - DiscFileSystem},
    {"DVD (4.7 GB)", 4'700'372'992 - DiscFileSystem},
    {"DVD dual layer (8.5 GB)", 8'543'666'176 - DiscFileSystem},
    {"Blu-ray (25 GB)", 25'025'314'816 - DiscFileSystem},
    {"E-mail attachment (20 MB message)", (20'000'000 - 65'536) * 57 / 78},
};

// A piece size as the size box and its unit show it: in Kbytes where six
// digits hold it, otherwise in Mbytes. Rounded down to fit a medium, or up
// to make no more pieces than asked for.
struct TShownSize {
    int64_t Value;
    int Unit;
};
TShownSize ShownSize(int64_t Bytes, bool RoundUp) {
    const auto In = [Bytes, RoundUp](int64_t Unit) {
        return RoundUp ? (Bytes + Unit - 1) / Unit : Bytes / Unit;
    };
    const int64_t Kbytes = In(BytesPerUnit[0]);
    if (Kbytes <= LargestValue)
        return {std::max<int64_t>(Kbytes, 1), 0};
    return {std::min(In(BytesPerUnit[1]), LargestValue), 1};
}

// Sizes in the user's locale, in powers of 1000 (kB, MB, GB).
QString DataSize(int64_t Bytes) {
    return QLocale().formattedDataSize(Bytes, 1, QLocale::DataSizeSIFormat);
}

// What the recovery data of Amount adds to a split of a file of FileSize
// bytes into pieces of PieceBytes named from Base: " + 520 MB of recovery data".
QString RecoveryLine(const std::string& Base, int64_t FileSize, int64_t PieceBytes,
                     const TRecoveryEncoder::TAmount& Amount) {
    try {
        const auto Plan =
            TSplit::PlanRecovery(BareName(Base), FileSize, PieceBytes / BlockSize, Amount);
        return QStringLiteral(" + %1 of recovery data")
            .arg(DataSize(Plan ? Plan->OutputBytes() : 0));
    } catch (const std::exception& Refused) {
        return QStringLiteral(". ") + QString::fromStdString(Refused.what());
    }
}

// The line under the size: the file's size and the pieces that it makes.
QString CountLine(const std::optional<int64_t>& FileSize, int64_t PieceBytes) {
    if (PieceBytes <= 0)
        return QStringLiteral("Type the size of a piece, or pick a medium.");
    if (!FileSize)
        return QStringLiteral("Pieces of %1; open the input file to see how many.")
            .arg(DataSize(PieceBytes));
    const QLocale Locale;
    const int64_t Count = TSplit::PiecesFor(*FileSize, PieceBytes / BlockSize);
    const int64_t Last = *FileSize - (Count - 1) * PieceBytes;
    const QString Whole = DataSize(*FileSize);
    if (Count == 1)
        return QStringLiteral("%1: 1 piece, the whole file").arg(Whole);
    if (Last == PieceBytes)
        return QStringLiteral("%1: %2 pieces of %3")
            .arg(Whole, Locale.toString(Count), DataSize(PieceBytes));
    return QStringLiteral("%1: %2 pieces, %3 of %4 and one of %5")
        .arg(Whole, Locale.toString(Count),
             Count == 2 ? QStringLiteral("one") : Locale.toString(Count - 1), DataSize(PieceBytes),
             DataSize(Last));
}

std::optional<int64_t> FileSizeOf(const std::string& Name) {
    std::error_code Error;
    const auto Size = std::filesystem::file_size(Name, Error);
    if (Error)
        return std::nullopt;
    return static_cast<int64_t>(Size);
}

// Hands every character typed into a control to a key filter of the window,
// which refuses it by replacing it with the null character. Enter and Escape
// type characters too, so the filter decides on them, and the dialog never
// sees them as its default button or as a close. Keys that type nothing pass
// untouched: arrows and Delete, which edit, and Tab, the next control; so do
// the editing keys (select all, copy, paste, ...), which type a control
// character. The size box's validator keeps a pasted text to digits.
class TKeyPressFilter final : public QObject {
public:
    TKeyPressFilter(QObject* Parent, std::function<void(QChar&)> Handler)
        : QObject(Parent), KeyPress(std::move(Handler)) {}

protected:
    bool eventFilter(QObject* /*Watched*/, QEvent* Event) override {
        if (Event->type() != QEvent::KeyPress)
            return false;
        const auto* Key = static_cast<const QKeyEvent*>(Event);
        for (const QKeySequence::StandardKey Editing :
             {QKeySequence::SelectAll, QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste,
              QKeySequence::Undo, QKeySequence::Redo})
            if (Key->matches(Editing))
                return false;
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
    Folder = AddOutputFolder(
        *ParvoxApp->Split, ui->ButtonOutputFolder, ui->LabelOutputFolder, ui->Bevel2,
        ui->LabelExplanation,
        QStringLiteral("To split a file, please first open the input file with the 'Input file' "
                       "button. After pressing 'Start', the output (split) files will be put "
                       "into the output folder chosen above, not next to the input file."));
    for (const TMedium& Medium : Media)
        ui->ComboMedium->addItem(QString::fromLatin1(Medium.Name));
    Bind(ui->ComboRecovery, &QComboBox::currentIndexChanged, &TFormSplit::UpdateCount);
    ui->EditSplitFileSize->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]*")), ui->EditSplitFileSize));
    for (QWidget* Digits :
         {static_cast<QWidget*>(ui->EditSplitFileSize), static_cast<QWidget*>(ui->SpinPieces)})
        Digits->installEventFilter(
            new TKeyPressFilter(this, [this](QChar& Key) { EditSplitFileSizeKeyPress(Key); }));
    Bind(ui->EditSplitFileSize, &QLineEdit::textChanged, &TFormSplit::UpdateCount);
    Bind(ui->ComboUnits, &QComboBox::currentIndexChanged, &TFormSplit::UpdateCount);
    Bind(ui->SpinPieces, &QSpinBox::editingFinished, &TFormSplit::UpdateCount);
    connect(ui->ComboMedium, &QComboBox::currentIndexChanged, this,
            [this](int Index) { Guarded([this, Index] { ComboMediumChange(Index); }); });
    connect(ui->SpinPieces, &QSpinBox::valueChanged, this,
            [this](int Pieces) { Guarded([this, Pieces] { SpinPiecesChange(Pieces); }); });
    FormCreate();
    ui->EditSplitFileSize->setFocus();
}

TFormSplit::~TFormSplit() = default;

void TFormSplit::FormShow() {
    TFormParvoxBase::FormShow();
    const QSettings Settings;
    const TSplit& Split = *ParvoxApp->Split;
    InputSize = Split.BaseFileNameEmpty() ? std::nullopt : FileSizeOf(Split.GetBaseFileName());
    ui->LabelInputFile->setText(SavedInputFileCaption);
    Folder->Show();
    {
        const QSignalBlocker QuietMedium(ui->ComboMedium);
        ui->ComboMedium->setCurrentIndex(Settings.value(MediumKey, 0).toInt());
    }
    ShowSize(Settings.value(SizeKey, QStringLiteral("1400")).toString(),
             Settings.value(UnitKey, 0).toInt());
    ui->EditSplitFileSize->resize(ui->EditSplitFileSize->width(), ui->ComboUnits->height());
    ui->CheckChecksumFile->setChecked(Settings.value(ChecksumFileKey, true).toBool());
    {
        const QSignalBlocker QuietRecovery(ui->ComboRecovery);
        ui->ComboRecovery->setCurrentIndex(
            std::clamp(Settings.value(RecoveryKey, 0).toInt(), 0, ui->ComboRecovery->count() - 1));
    }
    UpdateCount();
}

void TFormSplit::FormHide() {
    QSettings Settings;
    Settings.setValue(SizeKey, ui->EditSplitFileSize->text());
    Settings.setValue(UnitKey, ui->ComboUnits->currentIndex());
    Settings.setValue(MediumKey, ui->ComboMedium->currentIndex());
    Settings.setValue(ChecksumFileKey, ui->CheckChecksumFile->isChecked());
    Settings.setValue(RecoveryKey, ui->ComboRecovery->currentIndex());
    SavedInputFileCaption = ui->LabelInputFile->text();
}

QString TFormSplit::Doing() const {
    return QStringLiteral("Splitting %1")
        .arg(TRunNotices::FileName(ParvoxApp->Split->GetBaseFileName()));
}

bool TFormSplit::HandleShortcut(int Key, Qt::KeyboardModifiers Shift) {
    return TFormParvoxBase::HandleShortcut(Key, Shift) ||
           CommandKey<TFormSplit>(Key, {
                                           {Qt::Key_F, &TFormSplit::ButtonInputFileClick},
                                           {Qt::Key_S, &TFormSplit::ButtonStartClick},
                                           {Qt::Key_Z, &TFormSplit::FocusSplitFileSize},
                                           {Qt::Key_O, &TFormSplit::ButtonOutputFolderClick},
                                           {Qt::Key_M, &TFormSplit::FocusMedium},
                                           {Qt::Key_P, &TFormSplit::FocusPieces},
                                           {Qt::Key_W, &TFormSplit::ToggleChecksumFile},
                                           {Qt::Key_R, &TFormSplit::FocusRecovery},
                                       });
}

void TFormSplit::FocusSplitFileSize() {
    ui->EditSplitFileSize->setFocus();
    ui->EditSplitFileSize->selectAll();
}

void TFormSplit::FocusMedium() {
    ui->ComboMedium->setFocus();
}

void TFormSplit::FocusPieces() {
    ui->SpinPieces->setFocus();
    ui->SpinPieces->selectAll();
}

void TFormSplit::ToggleChecksumFile() {
    ui->CheckChecksumFile->toggle();
}

void TFormSplit::FocusRecovery() {
    ui->ComboRecovery->setFocus();
}

void TFormSplit::ButtonOutputFolderClick() {
    Folder->Pick();
}

void TFormSplit::ShowSize(const QString& Value, int Unit) {
    {
        const QSignalBlocker QuietSize(ui->EditSplitFileSize);
        const QSignalBlocker QuietUnit(ui->ComboUnits);
        ui->EditSplitFileSize->setText(Value);
        ui->ComboUnits->setCurrentIndex(Unit);
    }
    UpdateCount();
}

void TFormSplit::ComboMediumChange(int Index) {
    if (Index <= 0 || Index >= static_cast<int>(std::size(Media)))
        return;
    const TShownSize Fits = ShownSize(Media[Index].Bytes, false);
    ShowSize(QString::number(Fits.Value), Fits.Unit);
}

void TFormSplit::SpinPiecesChange(int Pieces) {
    if (!InputSize || Pieces <= 0)
        return;
    const TShownSize Makes = ShownSize((*InputSize + Pieces - 1) / Pieces, true);
    TypingPieces = true;
    ShowSize(QString::number(Makes.Value), Makes.Unit);
    TypingPieces = false;
}

void TFormSplit::UpdateCount() {
    bool Number = false;
    const int64_t Value = ui->EditSplitFileSize->text().toLongLong(&Number);
    const int Unit = ui->ComboUnits->currentIndex();
    const int64_t PieceBytes = Number && Value > 0 && Unit >= 0 ? Value * BytesPerUnit[Unit] : 0;
    QString Line = CountLine(InputSize, PieceBytes);
    if (const auto Recovery = RecoveryOf(ui->ComboRecovery->currentIndex());
        Recovery && InputSize && PieceBytes > 0)
        Line += RecoveryLine(ParvoxApp->Split->PiecesBaseName(), *InputSize, PieceBytes, *Recovery);
    ui->LabelCount->setText(Line);
    const int Medium = ui->ComboMedium->currentIndex();
    if (Medium > 0 && Medium < static_cast<int>(std::size(Media))) {
        const TShownSize Fits = ShownSize(Media[Medium].Bytes, false);
        if (Fits.Value != Value || Fits.Unit != Unit) {
            const QSignalBlocker QuietMedium(ui->ComboMedium);
            ui->ComboMedium->setCurrentIndex(0);
        }
    }
    if (!TypingPieces) {
        const QSignalBlocker QuietPieces(ui->SpinPieces);
        const int64_t Count =
            InputSize && PieceBytes > 0 ? TSplit::PiecesFor(*InputSize, PieceBytes / BlockSize) : 0;
        ui->SpinPieces->setValue(
            static_cast<int>(std::min<int64_t>(Count, ui->SpinPieces->maximum())));
    }
}

void TFormSplit::ButtonInputFileClick() {
    if (const std::optional<std::string> Picked = PickFile())
        InputFileChosen(*Picked);
}

void TFormSplit::InputFileChosen(const std::string& FileName) {
    TSplit& Split = *ParvoxApp->Split;
    Split.SetBaseFileName(FileName);
    ui->LabelInputFile->setText(QString::fromStdString(Split.GetBaseFileName()));
    Folder->Reset();
    InputSize = FileSizeOf(FileName);
    UpdateCount();
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
    if (ManyPiecesRefused(*Size))
        return;
    bool Checksum = ui->CheckChecksumFile->isChecked();
    int Recovery = ui->ComboRecovery->currentIndex();
    if (!OutputsSettled(Checksum, Recovery))
        return;
    // The settings go to the engine only once the run is granted, so a
    // refused start never changes them under a split in progress.
    if (!RunOperation("Working...", [&Split, Size, Checksum, Recovery] {
            Split.SplitSize = *Size;
            Split.WriteChecksumFile = Checksum;
            Split.Recovery = RecoveryOf(Recovery);
            Split.Execute();
        }))
        return;
    // What the run made, as it counted it: the pieces are not looked up again.
    const TSplit::TMade& Made = Split.Made();
    const QLocale Locale;
    const QString Pieces = Made.Pieces == 1
                               ? QStringLiteral("1 piece")
                               : QStringLiteral("%1 pieces").arg(Locale.toString(Made.Pieces));
    QStringList Outputs{Pieces};
    if (!Made.ChecksumFile.empty())
        Outputs << QString::fromStdString(Made.ChecksumFile);
    if (Made.RecoveryFiles > 0)
        Outputs << QStringLiteral("%1 recovery files").arg(Locale.toString(Made.RecoveryFiles));
    const QString Last = Outputs.takeLast();
    const QString Line =
        QStringLiteral("%1 in %2.")
            .arg(Outputs.isEmpty() ? Last : Outputs.join(QStringLiteral(", ")) + " and " + Last,
                 QString::fromStdString(Made.Folder));
    ShowCompletion(txtSplittingDone + '\n' + Line.toStdString(),
                   TRunNotices::SplitSummary(Split.GetBaseFileName(), Made.Pieces),
                   Split.PiecesBaseName());
}

bool TFormSplit::OutputsSettled(bool& Checksum, int& Recovery) {
    TSplit& Split = *ParvoxApp->Split;
    const QString Input = QFileInfo(QString::fromStdString(Split.GetBaseFileName())).fileName();
    for (;;) {
        const std::string Sums = Checksum ? Split.ForeignChecksumFile() : std::string();
        const std::string Data = Recovery > 0 ? Split.ForeignRecoveryFile() : std::string();
        if (Sums.empty() && Data.empty())
            return true;
        const QFileInfo File(QString::fromStdString(Sums.empty() ? Data : Sums));
        QString Question;
        QString Without;
        if (!Sums.empty() && !Data.empty()) {
            Question = QStringLiteral("%1 and %2 are in %3, and they are not the checksum file and "
                                      "the recovery data of an earlier split of %4: Parvox leaves "
                                      "them as they are. Split without a checksum file and "
                                      "recovery data, or into another folder?")
                           .arg(File.fileName(), QFileInfo(QString::fromStdString(Data)).fileName(),
                                File.path(), Input);
            Without = QStringLiteral("Split &without them");
        } else {
            Question =
                QStringLiteral("%1 is in %2, and it is not the %3 of an earlier split of %4: "
                               "Parvox leaves it as it is. Split without %5, or into another "
                               "folder?")
                    .arg(File.fileName(), File.path(),
                         Sums.empty() ? QStringLiteral("recovery data")
                                      : QStringLiteral("checksum file"),
                         Input,
                         Sums.empty() ? QStringLiteral("recovery data")
                                      : QStringLiteral("a checksum file"));
            Without = Sums.empty() ? QStringLiteral("Split &without recovery data")
                                   : QStringLiteral("Split &without checksum file");
        }
        QMessageBox Box(QMessageBox::Question, ApplicationTitle(), Question, QMessageBox::Cancel,
                        this);
        const QPushButton* Alone = Box.addButton(Without, QMessageBox::AcceptRole);
        const QPushButton* Elsewhere =
            Box.addButton(QStringLiteral("&Other folder..."), QMessageBox::ActionRole);
        Box.setDefaultButton(QMessageBox::Cancel);
        Box.exec();
        if (Box.clickedButton() == Alone) {
            Checksum = Checksum && Sums.empty();
            Recovery = Data.empty() ? Recovery : 0;
        } else if (Box.clickedButton() == Elsewhere) {
            const std::string Before = Split.PiecesBaseName();
            Folder->Pick();
            if (Split.PiecesBaseName() == Before)
                return false;
        } else {
            return false;
        }
    }
}

bool TFormSplit::ManyPiecesRefused(int64_t SizeInBlocks) {
    // A slip of the finger (Kbytes for Mbytes) would fill a folder with pieces.
    constexpr int64_t Many = 100;
    const std::optional<int64_t> FileSize = FileSizeOf(ParvoxApp->Split->GetBaseFileName());
    if (!FileSize)
        return false;
    const int64_t Count = TSplit::PiecesFor(*FileSize, SizeInBlocks);
    if (Count < Many)
        return false;
    QMessageBox Box(
        QMessageBox::Question, ApplicationTitle(),
        QStringLiteral("This makes %1 pieces. Split anyway?").arg(QLocale().toString(Count)),
        QMessageBox::Yes | QMessageBox::No, this);
    Box.setDefaultButton(QMessageBox::No);
    return Box.exec() != QMessageBox::Yes;
}

void TFormSplit::EditSplitFileSizeKeyPress(QChar& Key) {
    if ((Key >= QLatin1Char('0') && Key <= QLatin1Char('9')) || Key == QLatin1Char('\b'))
        return;
    Key = QChar();
    Beep();
}
