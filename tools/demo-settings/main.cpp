// Writes a setting.ini that lists the demo servers of the stand-in hosting
// service, with their keys enciphered for this machine, and points the
// control panel at the service.

#include "demosettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("valmora-demo-settings"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Adds the demo servers and the service's address and certificate to a setting.ini."));
    parser.addHelpOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("The service as \"name:port\"."),
                                  QStringLiteral("HOST"));
    const QCommandLineOption cacert(QStringLiteral("cacert"),
                                    QStringLiteral("PEM certificate the service serves with."), QStringLiteral("FILE"));
    parser.addOptions({host, cacert});
    parser.addPositionalArgument(QStringLiteral("setting.ini"),
                                 QStringLiteral("The settings file to write or update."));
    parser.process(app);

    const QStringList files = parser.positionalArguments();
    if (files.size() != 1 || parser.value(host).isEmpty() || parser.value(cacert).isEmpty()) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }

    const QString error = DemoSettings::write(files.first(), parser.value(host), parser.value(cacert));
    if (!error.isEmpty()) {
        std::fprintf(stderr, "valmora-demo-settings: %s\n", error.toUtf8().constData());
        return 1;
    }
    return 0;
}
