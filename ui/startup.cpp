// SPDX-FileCopyrightText: 2026 Quillfern
// SPDX-License-Identifier: GPL-3.0-or-later

// Order of start-up and shutdown; the command line.
#include "startup.h"

#include "QFMain.h"
#include "QFileDrops.h"
#include "classParvox.h"
#include "classParvoxController.h"
#include "txt.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>
#include <QTimer>
#include <QUrl>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>

namespace {

// Qt's own options, which QApplication takes from the command line itself:
// the parser knows them, so that they are neither files nor mistakes.
constexpr const char* QtOptionsWithValue[] = {
    "platform",    "platformpluginpath", "platformtheme",
    "plugin",      "qmljsdebugger",      "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",
    "display",     "geometry",           "style",
    "stylesheet"};
constexpr const char* QtFlags[] = {"reverse", "widgetcount"};

[[noreturn]] void Fail(const QByteArray& Message) {
    std::fprintf(stderr, "parvox: %s\n", Message.constData());
    std::fflush(nullptr);
    // Also from inside Qt's start, which nothing may return to.
    std::_Exit(EXIT_FAILURE);
}

QByteArray X11Missing(QByteArray Display) {
    if (Display.isEmpty())
        Display = qgetenv("DISPLAY");
    if (Display.isEmpty())
        return "no display to open windows on (DISPLAY is not set)";
    xcb_connection_t* Connection = xcb_connect(Display.constData(), nullptr);
    const bool Refused = xcb_connection_has_error(Connection) != 0;
    xcb_disconnect(Connection);
    return Refused ? "cannot open windows on the display " + Display + " (it does not answer)"
                   : QByteArray();
}

// Why no window can open, or empty. Qt aborts the process when its platform
// cannot start; what a user of a terminal meets is found here first. Platform
// and Display are those of the command line, when it names them.
QByteArray WindowSystemMissing(QString Platform, const QByteArray& Display) {
    if (Platform.isEmpty())
        Platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    const bool Wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (Platform.isEmpty()) {
        // Qt picks Wayland or X11 itself.
        if (Wayland)
            return {};
        Platform = QStringLiteral("xcb");
    }
    // Of a list of platforms, Qt takes the first that starts.
    QByteArray Missing;
    for (const QString& Name : Platform.split(';')) {
        const QString Kind = Name.section(':', 0, 0);
        if (Kind == QLatin1String("xcb"))
            Missing = X11Missing(Display);
        else if (Kind.startsWith(QLatin1String("wayland")))
            Missing = Wayland ? QByteArray()
                              : "no display to open windows on (WAYLAND_DISPLAY is not set)";
        else
            return {};
        if (Missing.isEmpty())
            return {};
    }
    return Missing;
}

// What Qt says while the QApplication starts: told once it has started, or
// the first of it in the one line that ends the process when it cannot.
struct TStartMessage {
    QtMsgType Type;
    QByteArray Category;
    QString Text;
};
QtMessageHandler QtHandler = nullptr;
std::vector<TStartMessage> StartMessages;
// Qt's threads may speak while it starts.
std::mutex StartMessagesLock;

void StartMessage(QtMsgType Type, const QMessageLogContext& Context, const QString& Message) {
    const std::lock_guard Lock(StartMessagesLock);
    if (Type == QtFatalMsg)
        Fail("the windows cannot open: " +
             (StartMessages.empty() ? Message : StartMessages.front().Text)
                 .section('\n', 0, 0)
                 .toLocal8Bit());
    StartMessages.push_back({Type, Context.category, Message});
}

// A name from the command line as a URL that keeps its bytes. A relative
// name is put after the current folder as it stands: the system, not the
// text, says where "link/.." leads.
QUrl UrlOf(const std::string& Name) {
    if (Name.find("://") != std::string::npos)
        return QUrl::fromEncoded(QByteArray::fromStdString(Name));
    std::error_code NoFolder;
    const std::string Folder = std::filesystem::current_path(NoFolder).native();
    const std::string Path = Name.starts_with('/') || NoFolder ? Name : Folder + '/' + Name;
    return QUrl::fromEncoded("file://" + QByteArray::fromStdString(Path).toPercentEncoding("/"));
}

// Whether D-Bus finds a session bus: the one that the variable names, or
// the user's own bus in the runtime folder, which D-Bus takes without it.
bool SessionBusThere() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QByteArray Runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat Bus {};
    return !Runtime.isEmpty() && stat((Runtime + "/bus").constData(), &Bus) == 0 &&
           S_ISSOCK(Bus.st_mode);
}

} // namespace

std::vector<std::string> ReadCommandLine(int Count, char* Arguments[]) {
    // Parsed under an application object of its own, which opens no window;
    // the usage line names the program as its users call it.
    int Parsing = 1;
    char Program[] = "parvox";
    char* ProgramOnly[] = {Program, nullptr};
    const QCoreApplication Application(Parsing, ProgramOnly);
    QCoreApplication::setApplicationVersion(QStringLiteral(PARVOX_VERSION));
    QCommandLineParser Parser;
    Parser.setApplicationDescription(QStringLiteral("Split, join, compare and checksum files."));
    Parser.addHelpOption();
    Parser.addVersionOption();
    Parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("A file opens Split with it, a first piece (name.001) Join; two files "
                       "open Compare with both."),
        QStringLiteral("[file [file]]"));
    // -odd is one unknown option, not o, d and d.
    Parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char* Name : QtOptionsWithValue) {
        QCommandLineOption Option(QString::fromLatin1(Name), QString(), QStringLiteral("value"));
        Option.setFlags(QCommandLineOption::HiddenFromHelp);
        Parser.addOption(Option);
    }
    for (const char* Name : QtFlags) {
        QCommandLineOption Option(QString::fromLatin1(Name));
        Option.setFlags(QCommandLineOption::HiddenFromHelp);
        Parser.addOption(Option);
    }
    // One character for each byte, so that the files come back byte for byte.
    QStringList Words;
    for (int Index = 0; Index < Count; ++Index)
        Words << QString::fromLatin1(Arguments[Index]);
    if (!Parser.parse(Words)) {
        const QStringList Unknown = Parser.unknownOptionNames();
        for (const QString& Word : Words.mid(1)) {
            if (Word == QLatin1String("--"))
                break;
            const QString Name = Word.mid(Word.startsWith(QLatin1String("--")) ? 2 : 1);
            if (Word.startsWith('-') && Unknown.contains(Name.section('=', 0, 0)))
                Fail(Parser.errorText().toLatin1() +
                     "\nA file whose name begins with a dash opens with: parvox -- " +
                     Word.toLatin1());
        }
        Fail(Parser.errorText().toLatin1());
    }
    // --help and --version answer and end the process.
    Parser.process(Words);
    if (const QByteArray Missing =
            WindowSystemMissing(Parser.value(QStringLiteral("platform")),
                                Parser.value(QStringLiteral("display")).toLatin1());
        !Missing.isEmpty())
        Fail(Missing);
    std::vector<std::string> Files;
    const QStringList Names = Parser.positionalArguments();
    for (const QString& Name : Names)
        Files.push_back(Name.toLatin1().toStdString());
    return Files;
}

std::unique_ptr<QApplication> CreateApplication(int& Count, char* Arguments[]) {
    // Without a session bus, D-Bus starts one on X (dbus-launch), which
    // outlives the program, at the first look for it: Qt's accessibility
    // looks as the windows come up, the run notices later. An address that
    // leads nowhere makes the one look that Qt keeps for the whole run fail;
    // the programs that Parvox starts get the environment as it was.
    const bool NoSessionBus = !SessionBusThere();
    if (NoSessionBus)
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    QtHandler = qInstallMessageHandler(StartMessage);
    auto Application = std::make_unique<QApplication>(Count, Arguments);
    if (NoSessionBus) {
        [[maybe_unused]] const bool Connected = QDBusConnection::sessionBus().isConnected();
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
    qInstallMessageHandler(QtHandler);
    const std::lock_guard Lock(StartMessagesLock);
    for (const TStartMessage& Message : StartMessages)
        QtHandler(Message.Type,
                  QMessageLogContext(nullptr, 0, nullptr, Message.Category.constData()),
                  Message.Text);
    StartMessages.clear();
    return Application;
}

void CreateEngines() {
    if (ParvoxApp == nullptr)
        ParvoxApp = new TParvox;
}

void StartUp(const std::vector<std::string>& Files) {
    CreateEngines();
    ParvoxController = new TParvoxController;
    MainForm = new TMainForm;
    MainForm->show();
    if (!Files.empty())
        QTimer::singleShot(0, MainForm, [Files] { OpenFiles(Files); });
}

void OpenFiles(const std::vector<std::string>& Names) {
    if (Names.empty())
        return;
    std::vector<std::string> Files;
    QStringList Refused;
    QStringList Shown;
    for (const std::string& Name : Names) {
        // Shown as well as Qt can; opened by its bytes.
        Shown << QString::fromStdString(Name);
        const QUrl Url = UrlOf(Name);
        const QString Refusal = TFileDrops::Refusal(Url);
        if (Refusal.isEmpty())
            Files.push_back(TFileDrops::LocalName(Url));
        else
            Refused << Shown.back() + ' ' + Refusal + '.';
    }
    if (Refused.isEmpty() && MainForm->TakeFiles(Files))
        return;
    if (Refused.isEmpty())
        Refused << QStringLiteral("Parvox opens one file, or two files to compare, not %1:")
                       .arg(Names.size())
                << Shown;
    TFormParvoxBase::ShowMessage(Refused.join('\n').toStdString());
}

void ShutDown() {
    delete ParvoxController;
    ParvoxController = nullptr;
    delete ParvoxApp;
    ParvoxApp = nullptr;
    ReleaseTexts();
    // Widgets must go before the QApplication does.
    delete MainForm;
    MainForm = nullptr;
}
