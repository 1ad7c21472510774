// The widget tests' entry: the program's own application object, so that the
// error display is the one under test, on the offscreen platform.
//
// Run as "test_app --probe NAME [ARGUMENT...]" it is instead a fresh program
// start for the tests that need one (arguments, locale, files Qt writes):
// it builds the application object from the ARGUMENTs as the program's main()
// does, prints what the probe NAME looks at, one "key=value" line each, and
// exits.

#include "application.h"
#include "dialogs.h"
#include "test_app_support.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace quorlink::qtface::testing {

void AppTest::SetUp()
{
    ASSERT_TRUE(m_dir.isValid());
    ASSERT_TRUE(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    // QSettings remembers the user folder from its first use; point it anew.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
    setDialogs(&m_dialogs);
}

void AppTest::TearDown()
{
    setDialogs(nullptr);
}

void AppTest::writeSettings(const QByteArray& ini)
{
    QDir().mkpath(m_config.filePath(QStringLiteral("Brindova")));
    QFile file(m_config.filePath(QStringLiteral("Brindova/Quorlink.ini")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(ini);
}

QString AppTest::settingsText() const
{
    QFile file(m_config.filePath(QStringLiteral("Brindova/Quorlink.ini")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

std::unique_ptr<MainWindow> AppTest::start()
{
    auto form = std::make_unique<MainWindow>(settings::createUserSettingsStore());
    // The machine's own serial ports stay out of the tests: none unless a
    // test gives a tree.
    form->form().setDeviceTree({{}, {}});
    return form;
}

void AppTest::shoot(QWidget& window, QWidget* popup, const QString& name)
{
    const QString folder = qEnvironmentVariable("QUORLINK_SHOTS");
    if (folder.isEmpty())
        return;
    QPixmap picture = window.grab();
    if (popup && popup->isVisible()) {
        QPainter painter(&picture);
        painter.drawPixmap(window.mapFromGlobal(popup->mapToGlobal(QPoint(0, 0))), popup->grab());
    }
    EXPECT_TRUE(picture.save(folder + u'/' + name + QStringLiteral(".png")));
}

void AppTest::showActive(MainWindow& form)
{
    form.show();
    form.activateWindow();
    QApplication::setActiveWindow(&form);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
}

std::map<std::string, QString> AppTest::runProbe(const QStringList& nameAndArguments,
                                                 const QStringList& environment)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), m_config.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
    for (const QString& entry : environment)
        env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                QStringList{QStringLiteral("--probe")} + nameAndArguments);
    EXPECT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();
    std::map<std::string, QString> values;
    for (const QString& line : QString::fromUtf8(child.readAllStandardOutput()).split(u'\n')) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0)
            values[line.left(equals).toStdString()] = line.mid(equals + 1);
    }
    return values;
}

} // namespace quorlink::qtface::testing

namespace {

void print(const char* key, const QString& value)
{
    std::printf("%s=%s\n", key, value.toUtf8().constData());
}

// The file dialog shown next: its filter descriptions and button texts.
void describeNextFileDialog(const char* prefix)
{
    QTimer::singleShot(0, [prefix] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (auto* filters = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
            QStringList items;
            for (int i = 0; i < filters->count(); ++i)
                items << u'[' + filters->itemText(i) + u']';
            print((std::string(prefix) + "filters").c_str(), items.join(QString()));
        }
        if (auto* buttons = dialog->findChild<QDialogButtonBox*>()) {
            QStringList texts;
            for (QAbstractButton* button : buttons->buttons())
                texts << button->text();
            print((std::string(prefix) + "buttons").c_str(), texts.join(u'|'));
        }
        dialog->reject();
    });
}

int probe(int argc, char** argv)
{
    // argv[0] stays the program's, the ARGUMENTs follow it.
    const std::string name = argv[2];
    std::vector<char*> args{argv[0]};
    for (int i = 3; i < argc; ++i)
        args.push_back(argv[i]);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    quorlink::qtface::Application app(count, args.data());

    if (name == "arguments") {
        MainWindow form(quorlink::settings::createUserSettingsStore());
        form.show();
        QCoreApplication::processEvents();
        print("direction", QGuiApplication::layoutDirection() == Qt::RightToLeft
                               ? QStringLiteral("right-to-left")
                               : QStringLiteral("left-to-right"));
        print("caption", form.windowHandle()->title());
        print("arguments", QCoreApplication::arguments().join(u' '));
        return 0;
    }
    if (name == "dialogs") {
        describeNextFileDialog("open-");
        quorlink::qtface::dialogs().openFileName(nullptr);
        describeNextFileDialog("save-");
        quorlink::qtface::dialogs().saveFileName(nullptr);
        quorlink::qtface::MemoPane pane;
        std::unique_ptr<QMenu> menu(pane.createStandardContextMenu());
        QStringList texts;
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                texts << action->text();
        }
        print("pane-menu", texts.join(u'|'));
        return 0;
    }
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--probe") == 0)
        return probe(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    quorlink::qtface::Application app(argc, argv);
    return RUN_ALL_TESTS();
}
