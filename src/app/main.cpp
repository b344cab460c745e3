#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/runningcopy.h"
#include "app/windowfront.h"
#include "core/program/commonoptions.h"
#include "core/settings/settingslocation.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    CommonOptions::identify("valmora-panel");

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
    // An empty name leaves the choice to the usual rules, made here once.
    SettingsLocation::setFilePath(commandLine.settingsFile());

    // Started again with the same file: the running copy shows its window.
    RunningCopy runningCopy(SettingsLocation::filePath());
    if (runningCopy.start() == RunningCopy::HandedOver)
        return 0;

    MainWindow window;
    QObject::connect(&runningCopy, &RunningCopy::showRequested, &window, [&window] { bringToFront(&window); });
    window.show();
    return app.exec();
}
