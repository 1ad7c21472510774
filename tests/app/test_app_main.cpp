// The widget tests' entry: the program's own application object, so that the
// error display is the one under test, on the offscreen platform.

#include "application.h"
#include "dialogs.h"
#include "test_app_support.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTest>

namespace quorlink::app::testing {

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

std::unique_ptr<TForm1> AppTest::start()
{
    return std::make_unique<TForm1>(settings::createUserSettingsStore());
}

void AppTest::showActive(TForm1& form)
{
    form.show();
    form.activateWindow();
    QApplication::setActiveWindow(&form);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
}

} // namespace quorlink::app::testing

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    quorlink::app::Application app(argc, argv);
    return RUN_ALL_TESTS();
}
