#include "DriverInstaller.h"
#include "MainWindow.h"
#include "ScriptedUpdater.h"
#include "TempResources.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QStringList g_messages;

void collectMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtCriticalMsg)
        g_messages << text;
}

// Puts a stand-in PnPutil.exe first on PATH that writes its arguments, one per
// line, to a file.
class StandInTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedPath = qgetenv("PATH");
        const QString tool = bin.filePath("PnPutil.exe");
        QFile script(tool);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + record() + "'\n").toUtf8());
        script.close();
        QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", bin.path().toUtf8() + ":" + savedPath);
    }
    void TearDown() override { qputenv("PATH", savedPath); }

    QString record() const { return bin.filePath("arguments.txt"); }
    QStringList recordedArguments() const
    {
        QFile file(record());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir bin;
    QByteArray savedPath;
};

TEST_F(StandInTool, PackageFollowsTheInterfaceType)
{
    const struct {
        InterfaceType type;
        const char* package;
    } cases[] = {{InterfaceType::Usb, "/app/Resources/driver/usb/Lumavex_STM32-based_device.inf"},
                 {InterfaceType::Uart, "/app/Resources/driver/uart/silabser.inf"},
                 {InterfaceType::McubootSerial, "/app/Resources/driver/uart/silabser.inf"}};
    for (const auto& c : cases) {
        QFile::remove(record());
        DriverInstaller::install("/app", c.type);
        EXPECT_EQ(recordedArguments(), (QStringList{"/add-driver", c.package, "/install"})) << int(c.type);
    }
}

TEST_F(StandInTool, TheWindowInstallsTheDriverWhenItIsBuilt)
{
    TempResources resources("");
    MainWindow window(resources.dir(), &resources.settings(), resources.filePath("dfu-util-static"),
                      InterfaceType::Usb, new ScriptedUpdater);
    EXPECT_EQ(recordedArguments(),
              (QStringList{"/add-driver",
                           QCoreApplication::applicationDirPath() +
                               "/Resources/driver/usb/Lumavex_STM32-based_device.inf",
                           "/install"}));
}

TEST(DriverInstaller, MissingToolLogsBothErrorsAndCarriesOn)
{
    const QByteArray savedPath = qgetenv("PATH");
    QTemporaryDir empty;
    qputenv("PATH", empty.path().toUtf8());
    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectMessages);
    DriverInstaller::install("/app", InterfaceType::Uart);
    qInstallMessageHandler(previous);
    qputenv("PATH", savedPath);
    ASSERT_EQ(g_messages.size(), 2);
    EXPECT_TRUE(g_messages[0].startsWith("Error in waitForStarted(): ")) << g_messages[0].toStdString();
    EXPECT_TRUE(g_messages[1].startsWith("Error in waitForFinished(): ")) << g_messages[1].toStdString();
}

} // namespace
