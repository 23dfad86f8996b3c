// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// The base of every window but the progress window: the caption from the
// application title, the fit around the Close button, single-letter command
// keys seen before the focused control, the guard that hands any escaped
// exception to the error display, the run guard that keeps a window still
// while its operation runs and stops the run on Escape or a close, the
// completion message that opens the result's folder, and the parts of a
// window that take dropped files.
#pragma once

#include <QDialog>
#include <QList>

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class TClickLabel;
class TFileDrops;
class TOpenDialog;
class TOutputFolder;
class TParvoxBase;

class TFormParvoxBase : public QDialog {
    Q_OBJECT

public:
    explicit TFormParvoxBase(QWidget* Parent = nullptr);
    ~TFormParvoxBase() override;

    // The caption of every window created after it is set, and of the message boxes.
    [[nodiscard]] static QString ApplicationTitle();
    static void SetApplicationTitle(const QString& Title);

    // The program's standard message: the text, OK, no icon, the title as caption.
    static void ShowMessage(const std::string& Text);
    // The standard message at the end of a successful run, once the desktop
    // has been told Summary, what the run made; while the user works in
    // another program it takes no keyboard from it. With a ResultFile the
    // box offers to open the folder that holds it, OK staying the default;
    // a folder that nothing opens is named in a box, its path to copy.
    static void ShowCompletion(const std::string& Text, const QString& Summary,
                               const std::string& ResultFile = std::string());
    // The error display: a critical box with an empty caption, which takes
    // no keyboard from another program, as the completion does.
    static void ShowError(const std::string& Message);
    // The message as the error display shows it: with a full stop appended
    // unless it is empty or ends in a character up to the full stop (". )").
    [[nodiscard]] static std::string ErrorDisplayText(const std::string& Message);

    // Centres a window on the screen that it is on.
    static void CenterOnScreen(QWidget& Window);
    // Raises a window above the others and makes it the active one.
    static void BringToFront(QWidget& Window);

    // Closes the window, as every other way of closing does.
    void ButtonCloseClick();
    // Escape: stops the window's run, or closes the window when none runs.
    void reject() override;

    // Hands Files to the window as a drop of them that no part of the window
    // claims for itself does: each goes to what the window does with a file
    // picked in its file dialog. Returns false, doing nothing, while an
    // operation runs or when the window takes no such drop.
    bool TakeFiles(const std::vector<std::string>& Files);

protected:
    // Takes the caption from the application title and the colours from the
    // palette; derived windows call it once their layout is set up, and a
    // window's own version calls this first.
    virtual void FormCreate();
    virtual void FormShow();
    virtual void FormHide() {}
    virtual void FormCloseQuery(bool& CanClose);
    // What a run of the window does, as the notice of its failure names it:
    // "Splitting film.mkv".
    [[nodiscard]] virtual QString Doing() const { return ApplicationTitle(); }
    // A single-letter command of the window: C or X without modifiers close it.
    // Returns whether the key was a command and has been acted on.
    virtual bool HandleShortcut(int Key, Qt::KeyboardModifiers Shift);

    // Runs the handler that Commands gives for Key, if any; returns whether there was one.
    template <typename TForm>
    bool CommandKey(int Key, std::initializer_list<std::pair<int, void (TForm::*)()>> Commands) {
        for (const auto& [CommandKey, Handler] : Commands)
            if (CommandKey == Key) {
                (static_cast<TForm*>(this)->*Handler)();
                return true;
            }
        return false;
    }
    // Runs a handler; an exception that escapes it goes to the error display
    // and the window goes on, since no exception may unwind through Qt.
    static void Guarded(const std::function<void()>& Handler);
    // Connects a signal to a handler of the window, run through Guarded.
    template <typename TSender, typename TSignal, typename TForm>
    void Bind(TSender* Sender, TSignal Signal, void (TForm::*Handler)()) {
        auto* Form = static_cast<TForm*>(this);
        connect(Sender, Signal, this,
                [Form, Handler] { Guarded([Form, Handler] { (Form->*Handler)(); }); });
    }
    // Lets files be dropped on Area, or anywhere on the window when Area is
    // empty: as many as Chosen names, dropped together, each going to its
    // handler in the order that the drag gives them. Several areas may be
    // given; a drop goes to the first one that takes it.
    template <typename TForm>
    void AcceptFileDrops(std::initializer_list<QWidget*> Area,
                         std::initializer_list<void (TForm::*)(const std::string&)> Chosen) {
        auto* Form = static_cast<TForm*>(this);
        AddFileDrops(Area, Chosen.size(),
                     [Form, Handlers = std::vector(Chosen)](const std::vector<std::string>& Files) {
                         for (std::size_t Index = 0; Index < Files.size(); ++Index)
                             (Form->*Handlers[Index])(Files[Index]);
                     });
    }
    // Lets Count files be dropped anywhere on the window, all going to Handler together.
    template <typename TForm>
    void AcceptFileDrops(std::size_t Count,
                         void (TForm::*Handler)(const std::vector<std::string>&)) {
        auto* Form = static_cast<TForm*>(this);
        AddFileDrops({}, Count, [Form, Handler](const std::vector<std::string>& Files) {
            (Form->*Handler)(Files);
        });
    }
    // Makes the output folder row (TOutputFolder) of Engine: Button and a
    // click on Path open the folder dialog, and a folder dropped on Button,
    // Path or Frame is taken.
    TOutputFolder* AddOutputFolder(TParvoxBase& Engine, QPushButton* Button, TClickLabel* Path,
                                   QWidget* Frame, QLabel* Explanation, const QString& Chosen,
                                   std::function<void()> Changed = {});
    // Runs OpenDialog1, under Title when one is given; the full path of the
    // picked file, or nothing when the user cancelled.
    [[nodiscard]] std::optional<std::string> PickFile(const QString& Title = QString());
    // Runs an engine operation on a thread of its own with the progress
    // window up; the operation touches no window. While it runs the
    // window's buttons, file labels and inputs are disabled and its keys
    // refused, while Escape and a close stop it; all comes back when it ends,
    // after a failure too. Returns whether it ran to its end: false when an
    // operation was already on and nothing ran, or when the user stopped it.
    // An exception of the operation goes on to the caller.
    bool RunOperation(const std::string& Status, const std::function<void()>& Operation);

    // The file-open dialog of a window that picks files; the window owns it.
    TOpenDialog* OpenDialog1 = nullptr;
    // Whether the window system places the window, rather than the window
    // centring itself on the screen when shown.
    bool PlacedByWindowSystem = false;

    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    friend class TKeyPreview;

    // Whether the key was a command of the window and has been acted on.
    bool FormKeyDown(int Key, Qt::KeyboardModifiers Shift);
    void SetControlsEnabled(bool Enabled);
    // Handler runs through Guarded; it takes folders instead when Folders is set.
    void AddFileDrops(const QList<QWidget*>& Area, std::size_t Count,
                      std::function<void(const std::vector<std::string>&)> Handler,
                      bool Folders = false);

    TFileDrops* Drops = nullptr;
};
