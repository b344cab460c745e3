#include "commandline.h"
#include "mainwindow.h"
#include "settingslocation.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("valmora-panel"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine(arguments);
    if (commandLine.answersItself()) {
        // Answered without a display: a plain application object is enough.
        const QCoreApplication app(argc, argv);
        return commandLine.answer();
    }

    QApplication app(argc, argv);
    // An empty name leaves the choice to the usual rules, made at the first load.
    SettingsLocation::setFilePath(commandLine.settingsFile());
    MainWindow window;
    window.show();
    return app.exec();
}
