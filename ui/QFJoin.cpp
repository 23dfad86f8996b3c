// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Join window.
#include "QFJoin.h"

#include "QMediumQuestion.h"
#include "QOpenDialog.h"
#include "QOutputFolder.h"
#include "QRunNotices.h"
#include "classJoinRecovery.h"
#include "classParvox.h"
#include "txt.h"
#include "ui_QFJoin.h"

namespace {

// What the labels showed when the window was last hidden, for its next opening.
QString SavedInputFileCaption = QStringLiteral("unknown");
QString SavedOutputFileCaption = QStringLiteral("unknown");

} // namespace

TFormJoin::TFormJoin(QWidget* Parent)
    : TFormParvoxBase(Parent), ui(std::make_unique<Ui::FormJoin>()) {
    ui->setupUi(this);
    // The recovery files stand for a set whose first piece is lost.
    OpenDialog1 =
        new TOpenDialog(this, QStringLiteral("001 split files|*.001|Recovery files|*.par2"));
    Bind(ui->ButtonStart, &QPushButton::clicked, &TFormJoin::ButtonStartClick);
    Bind(ui->ButtonClose, &QPushButton::clicked, &TFormJoin::ButtonCloseClick);
    Bind(ui->Button3, &QPushButton::clicked, &TFormJoin::ButtonInputFileClick);
    Bind(ui->LabelInputFile, &TClickLabel::clicked, &TFormJoin::ButtonInputFileClick);
    AcceptFileDrops<TFormJoin>({}, {&TFormJoin::InputFileChosen});
    TJoin& Join = *ParvoxApp->Join;
    Folder = AddOutputFolder(
        Join, ui->ButtonOutputFolder, ui->LabelOutputFolder, ui->Bevel3, ui->LabelExplanation,
        QStringLiteral("To join a set of files, please first open the .001 file using the 'Input "
                       "file' button. The other files (.002, .003, etc.) are found next to it; "
                       "the joined file goes into the output folder chosen above."),
        [this, &Join] {
            ui->LabelOutputFile->setText(QString::fromStdString(Join.JoinedFileName()));
        });
    // The pieces on another stick or disc are asked for while the join runs.
    Join.AskForPiece = (new TMediumQuestion(*this, Join))->Handler();
    FormCreate();
    ui->ButtonStart->setFocus();
}

TFormJoin::~TFormJoin() {
    // The engine outlives the window, unless the program ends with it open.
    if (ParvoxApp != nullptr)
        ParvoxApp->Join->AskForPiece = nullptr;
}

void TFormJoin::FormShow() {
    TFormParvoxBase::FormShow();
    ui->LabelInputFile->setText(SavedInputFileCaption);
    ui->LabelOutputFile->setText(SavedOutputFileCaption);
    Folder->Show();
}

void TFormJoin::FormHide() {
    SavedInputFileCaption = ui->LabelInputFile->text();
    SavedOutputFileCaption = ui->LabelOutputFile->text();
}

QString TFormJoin::Doing() const {
    return QStringLiteral("Joining %1")
        .arg(TRunNotices::FileName(ParvoxApp->Join->GetBaseFileName()));
}

bool TFormJoin::HandleShortcut(int Key, Qt::KeyboardModifiers Shift) {
    return TFormParvoxBase::HandleShortcut(Key, Shift) ||
           CommandKey<TFormJoin>(Key, {
                                          {Qt::Key_F, &TFormJoin::ButtonInputFileClick},
                                          {Qt::Key_S, &TFormJoin::ButtonStartClick},
                                          {Qt::Key_O, &TFormJoin::ButtonOutputFolderClick},
                                      });
}

void TFormJoin::ButtonOutputFolderClick() {
    Folder->Pick();
}

void TFormJoin::ButtonInputFileClick() {
    if (const std::optional<std::string> Picked =
            PickFile(QStringLiteral("Select the first input file")))
        InputFileChosen(*Picked);
}

void TFormJoin::InputFileChosen(const std::string& FileName) {
    TJoin& Join = *ParvoxApp->Join;
    // A pick that fails (a name without the first piece's extension, a medium
    // that cannot say whether the output is there) leaves the earlier choice,
    // labels and engine alike, in force.
    const std::string Earlier = Join.GetBaseFileName();
    const std::string EarlierFolder = Join.OutputFolder;
    bool Exists = false;
    std::string Output;
    try {
        // A new input's joined file goes beside its pieces until the user chooses otherwise.
        Join.OutputFolder.clear();
        if (const std::string Pieces = TJoinRecovery::PiecesOf(FileName); !Pieces.empty())
            Join.SetBaseFileName(Pieces);
        else
            Join.SetPieceFileName(1, FileName);
        Exists = Join.BaseFileExists();
        Output = Join.JoinedFileName();
    } catch (...) {
        Join.SetBaseFileName(Earlier);
        Join.OutputFolder = EarlierFolder;
        throw;
    }
    // The user hears of the changed output name before the labels show it.
    if (Exists)
        ShowMessage("The a file with the same name as the output file already exists.\r"
                    "Parvox has therefore appended \"" +
                    txtJoinedSuffix + "\" to the output file name.");
    ui->LabelInputFile->setText(QString::fromStdString(Join.PieceFileName(1)));
    ui->LabelOutputFile->setText(QString::fromStdString(Output));
    Folder->Show();
}

void TFormJoin::ButtonStartClick() {
    TJoin& Join = *ParvoxApp->Join;
    if (Join.BaseFileNameEmpty()) {
        ShowMessage("Please specify an input file first.");
        return;
    }
    if (!RunOperation("", [&Join] { Join.Execute(); }))
        return;
    const std::string Checked = Join.CheckSummary();
    ShowCompletion(Checked.empty() ? txtJoiningDone : txtJoiningDone + "\n" + Checked,
                   TRunNotices::JoinSummary(Join.GetBaseFileName(), Join.JoinedPieces()),
                   Join.OutputBaseName());
}
