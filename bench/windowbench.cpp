// windowbench: the window's own code paths under a clock, on whatever Qt
// platform is set (scripts/bench uses offscreen).
//
//   windowbench run DEVICE SOURCE
//       loads SOURCE as Ctrl+O does, runs Odeslat1Click against DEVICE at
//       115200 Bd with a 1000 ms reply time-out, and prints
//       "lines N replies N seconds S rate R peak_kb P growth_kb G": the
//       process's peak memory and how far it grew over the memory it had
//       when the run started
//   windowbench panes SOURCE RESULT LINES
//       loads SOURCE as Ctrl+O does, times the line-count update of one
//       edit, fills the received pane with LINES replies and saves it to
//       RESULT as Ctrl+S does; prints one "name value" pair per line
//   windowbench document SOURCE
//       the floor of a load: the text of SOURCE (UTF-8) given to a bare
//       QTextDocument with the plain-text layout and no undo, no widget;
//       prints "document_load_s S"
//
// Each mode uses a settings folder of its own (XDG_CONFIG_HOME), never the
// user's.

#include "mainwindow.h"
#include "application.h"
#include "dialogs.h"
#include "settings/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QPlainTextDocumentLayout>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Answers the file dialogs with fixed names; boxes are printed, not shown.
class FixedDialogs : public quorlink::qtface::Dialogs
{
public:
    void information(QWidget*, const QString& caption, const QString& text) override
    {
        std::fprintf(stderr, "windowbench: box %s: %s\n", qPrintable(caption), qPrintable(text));
    }
    void stop(QWidget*, const QString& caption, const QString& text) override
    {
        std::fprintf(stderr, "windowbench: error %s: %s\n", qPrintable(caption), qPrintable(text));
        failed = true;
    }
    std::optional<QString> openFileName(QWidget*) override { return openName; }
    std::optional<QString> saveFileName(QWidget*) override { return saveName; }

    QString openName;
    QString saveName;
    bool failed = false;
};

// A value of /proc/self/status in kB (VmRSS, VmHWM).
long statusKb(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string name;
    while (in >> name) {
        long value = 0;
        if (name == std::string(key) + ":" && in >> value)
            return value;
        in.ignore(1 << 16, '\n');
    }
    return -1;
}

void writeSettings(const QTemporaryDir& config, const QString& device)
{
    QDir(config.path()).mkpath(QStringLiteral("Brindova"));
    QFile ini(config.filePath(QStringLiteral("Brindova/Quorlink.ini")));
    ini.open(QIODevice::WriteOnly);
    QByteArray text = "[General]\nTimeOut=1000\nBaudRateIndex=16\n";
    if (!device.isEmpty())
        text += "ComPortIndex=1\n[Ports]\nCOM1=\"" + device.toUtf8() + "\"\n";
    ini.write(text);
}

int run(FixedDialogs& dialogs, const QString& source)
{
    quorlink::qtface::MainWindow form(quorlink::settings::createUserSettingsStore());
    form.show();
    QCoreApplication::processEvents();
    if (!form.action(quorlink::window::MenuItem::Odeslat1)->isEnabled()) {
        std::fprintf(stderr, "windowbench: the port did not open\n");
        return 1;
    }
    dialogs.openName = source;
    form.form().Otevtzdroj1Click();
    QCoreApplication::processEvents();
    const int lines = form.Memo1->lineCount();

    const long rssBefore = statusKb("VmRSS");
    const auto start = Clock::now();
    // As F6 does: the run paced to the screen.
    form.action(quorlink::window::MenuItem::Odeslat1)->trigger();

    const double elapsed = seconds(Clock::now() - start);
    const int replies = form.Memo2->lineCount();
    const long peak = statusKb("VmHWM");
    std::printf("lines %d replies %d seconds %.3f rate %.1f peak_kb %ld growth_kb %ld\n", lines,
                replies, elapsed, lines / elapsed, peak, peak - rssBefore);
    return replies == lines ? 0 : 1;
}

int panes(FixedDialogs& dialogs, const QString& source, const QString& result, int lines)
{
    quorlink::qtface::MainWindow form(quorlink::settings::createUserSettingsStore());
    form.show();
    QCoreApplication::processEvents();

    // Loading, through the handler of Ctrl+O; the window then shows it.
    const long rssBefore = statusKb("VmRSS");
    dialogs.openName = source;
    auto start = Clock::now();
    form.form().Otevtzdroj1Click();
    QCoreApplication::processEvents();
    const double loadSeconds = seconds(Clock::now() - start);
    std::printf("load_s %.3f\n", loadSeconds);
    std::printf("load_lines %d\n", form.Memo1->lineCount());
    const long peak = statusKb("VmHWM");
    std::printf("load_peak_kb %ld\n", peak);
    std::printf("load_peak_growth_kb %ld\n", peak - rssBefore);

    // One edit in the middle of the pane: the editor's own work and the
    // line-count update that follows it (Memo1Change), timed apart.
    QTextCursor cursor(form.Memo1->document()->findBlockByNumber(form.Memo1->lineCount() / 2));
    start = Clock::now();
    cursor.insertText(QStringLiteral("x"));
    const double editSeconds = seconds(Clock::now() - start);
    std::vector<double> updates;
    for (int i = 0; i < 101; ++i) {
        start = Clock::now();
        form.form().Memo1Change();
        updates.push_back(seconds(Clock::now() - start));
    }
    std::nth_element(updates.begin(), updates.begin() + 50, updates.end());
    std::printf("edit_with_update_ms %.3f\n", editSeconds * 1e3);
    std::printf("linecount_update_ms %.6f\n", updates[50] * 1e3);
    form.Memo1->clear();
    QCoreApplication::processEvents();

    // Saving, through the handler of Ctrl+S.
    const std::u16string reply = u"+1.234567E+00 V DC";
    start = Clock::now();
    for (int i = 0; i < lines; ++i)
        form.Memo2->appendLine(reply);
    std::printf("append_us %.2f\n", seconds(Clock::now() - start) * 1e6 / lines);
    dialogs.saveName = result;
    start = Clock::now();
    form.form().Uloitvsledek1Click();
    std::printf("save_s %.3f\n", seconds(Clock::now() - start));
    std::printf("save_lines %d\n", form.Memo2->lineCount());
    return dialogs.failed ? 1 : 0;
}

// What Qt's text document alone needs to take in the text the window loads:
// no code page, no editor, no view. The window cannot load faster.
int document(const QString& source)
{
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "windowbench: cannot read %s\n", qPrintable(source));
        return 1;
    }
    const QString text = QString::fromUtf8(file.readAll());
    QTextDocument doc;
    doc.setUndoRedoEnabled(false);
    doc.setDocumentLayout(new QPlainTextDocumentLayout(&doc));
    const auto start = Clock::now();
    doc.setPlainText(text);
    std::printf("document_load_s %.3f\n", seconds(Clock::now() - start));
    std::printf("document_blocks %d\n", doc.blockCount());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const bool runMode = args.size() == 3 && args[0] == "run";
    const bool panesMode = args.size() == 4 && args[0] == "panes";
    const bool documentMode = args.size() == 2 && args[0] == "document";
    if (!runMode && !panesMode && !documentMode) {
        std::fprintf(stderr, "usage: windowbench run DEVICE SOURCE\n"
                             "       windowbench panes SOURCE RESULT LINES\n"
                             "       windowbench document SOURCE\n");
        return 2;
    }
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    writeSettings(config, runMode ? QString::fromStdString(args[1]) : QString());

    quorlink::qtface::Application app(argc, argv);
    FixedDialogs dialogs;
    quorlink::qtface::setDialogs(&dialogs);
    int status = 0;
    if (documentMode)
        status = document(QString::fromStdString(args[1]));
    else if (runMode)
        status = run(dialogs, QString::fromStdString(args[2]));
    else
        status = panes(dialogs, QString::fromStdString(args[1]), QString::fromStdString(args[2]),
                       std::atoi(args[3].c_str()));
    quorlink::qtface::setDialogs(nullptr);
    return status;
}
