#pragma once

#include "dialogs.h"
#include "mainwindow.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

QT_BEGIN_NAMESPACE
// Failed comparisons of texts show the texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

using quorlink::qtface::MainWindow;
using MenuItem = quorlink::window::MenuItem;

namespace quorlink::qtface::testing {

// Answers the program's boxes and file dialogs without a modal loop and
// records every box shown.
class RecordingDialogs : public Dialogs
{
public:
    struct Box
    {
        QString kind; // "information" or "stop"
        QWidget* owner;
        QString caption;
        QString text;
    };

    void information(QWidget* owner, const QString& caption, const QString& text) override
    {
        boxes.push_back({QStringLiteral("information"), owner, caption, text});
    }
    void stop(QWidget* owner, const QString& caption, const QString& text) override
    {
        boxes.push_back({QStringLiteral("stop"), owner, caption, text});
    }
    std::optional<QString> openFileName(QWidget*) override { return next(openAnswers); }
    std::optional<QString> saveFileName(QWidget*) override { return next(saveAnswers); }

    std::vector<Box> boxes;
    std::deque<std::optional<QString>> openAnswers;
    std::deque<std::optional<QString>> saveAnswers;

private:
    static std::optional<QString> next(std::deque<std::optional<QString>>& answers)
    {
        if (answers.empty())
            return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// Each test gets its own config folder (XDG_CONFIG_HOME) and recorded dialogs.
class AppTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the settings file $XDG_CONFIG_HOME/Brindova/Quorlink.ini.
    void writeSettings(const QByteArray& ini);
    QString settingsText() const;
    // Starts the window as the program does, with the user's settings store,
    // looking for serial ports in no device tree (setDeviceTree gives one).
    std::unique_ptr<MainWindow> start();
    // Shows the window and makes it the active one, so shortcuts reach it.
    void showActive(MainWindow& form);
    QString path(const QString& name) const { return m_dir.filePath(name); }
    // Saves a picture of `window`, with `popup` (a list's open drop-down
    // part) drawn over it where it shows, as <QUORLINK_SHOTS>/<name>.png;
    // nothing when QUORLINK_SHOTS is unset (scripts/screenshot sets it).
    static void shoot(QWidget& window, QWidget* popup, const QString& name);
    // Starts this test program afresh as "--probe NAME ARGUMENTS..." (see
    // test_app_main.cpp) with HOME and XDG_CONFIG_HOME in the test's config
    // folder and `environment` added, and returns its "key=value" lines.
    std::map<std::string, QString> runProbe(const QStringList& nameAndArguments,
                                            const QStringList& environment = {});

    QTemporaryDir m_dir;
    QTemporaryDir m_config;
    RecordingDialogs m_dialogs;
};

} // namespace quorlink::qtface::testing
