// Substitute for the hosting service's web API, for demos and end-to-end
// tests: serves GET /api.php over HTTPS on 127.0.0.1 for three simulated
// game servers (see demoservers.h for their keys).

#include "apihttpsserver.h"
#include "core/program/terminationsignals.h"
#include "gameserverprofile.h"
#include "hostingapi.h"
#include "moreservers.h"
#include "selfsignedcertificate.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSslCertificate>
#include <QSslKey>

#include <cstdio>
#include <optional>

namespace {

constexpr quint16 DefaultPort = 8443;
constexpr qint64 DefaultStartDelayMs = 3000;
constexpr qint64 MaxSpeed = 1'000'000; // a second of clock is then 11.6 simulated days

enum ExitCode { Success = 0, RuntimeFailure = 1, UsageError = 2 };

struct Settings
{
    quint16 port = DefaultPort;
    QString certificateFile;
    QString keyFile;
    QString generateDirectory;
    QString portFile;
    qint64 speed = 1; // simulated milliseconds per real one
    int moreServers = 0;
    HostingApi::Options api;
};

void complain(const QString &message)
{
    std::fprintf(stderr, "valmora-api-service: %s\n", message.toUtf8().constData());
}

std::optional<Settings> parseCommandLine(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local stand-in for the Valmora hosting web API (GET /api.php over HTTPS)."));
    parser.addHelpOption();
    const QCommandLineOption port(
        QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1, 0 for any free one (default %1).").arg(DefaultPort),
        QStringLiteral("N"));
    const QCommandLineOption cert(QStringLiteral("cert"), QStringLiteral("PEM certificate to serve with."),
                                  QStringLiteral("FILE"));
    const QCommandLineOption key(QStringLiteral("key"), QStringLiteral("PEM private key of the certificate."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption generate(QStringLiteral("generate-cert"),
                                      QStringLiteral("Create a self-signed certificate for localhost and 127.0.0.1, "
                                                     "write %1 and %2 into DIR and serve with them.")
                                          .arg(QLatin1String(SelfSignedCertificate::CertificateFileName),
                                               QLatin1String(SelfSignedCertificate::KeyFileName)),
                                      QStringLiteral("DIR"));
    const QCommandLineOption portFile(QStringLiteral("port-file"),
                                      QStringLiteral("Write the port into FILE once listening."),
                                      QStringLiteral("FILE"));
    const QCommandLineOption startDelay(
        QStringLiteral("start-delay-ms"),
        QStringLiteral("How long a server takes to start (default %1).").arg(DefaultStartDelayMs),
        QStringLiteral("MS"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Seed for a repeatable simulation."),
                                  QStringLiteral("N"));
    const QCommandLineOption speed(QStringLiteral("speed"),
                                   QStringLiteral("Run the simulated servers N times as fast as the clock, so that "
                                                  "players come and go sooner (default 1)."),
                                   QStringLiteral("N"));
    const QCommandLineOption more(QStringLiteral("more-servers"),
                                  QStringLiteral("Simulate N servers besides the demo's three, named \"Сервер 0001\" "
                                                 "and on, with the keys \"more-0001-key\" and on (default 0)."),
                                  QStringLiteral("N"));
    parser.addOptions({port, cert, key, generate, portFile, startDelay, seed, speed, more});
    parser.process(app);

    Settings settings;
    bool ok = true;
    if (parser.isSet(port)) {
        const uint value = parser.value(port).toUInt(&ok);
        if (!ok || value > 65535) {
            complain(QStringLiteral("--port needs a number from 0 to 65535"));
            return std::nullopt;
        }
        settings.port = quint16(value);
    }
    settings.certificateFile = parser.value(cert);
    settings.keyFile = parser.value(key);
    settings.generateDirectory = parser.value(generate);
    settings.portFile = parser.value(portFile);

    const bool givenFiles = parser.isSet(cert) || parser.isSet(key);
    if (givenFiles == parser.isSet(generate)
        || (givenFiles && (settings.certificateFile.isEmpty() || settings.keyFile.isEmpty()))) {
        complain(QStringLiteral("give either --cert and --key, or --generate-cert"));
        return std::nullopt;
    }

    settings.api.startDelayMs = DefaultStartDelayMs;
    if (parser.isSet(startDelay)) {
        settings.api.startDelayMs = parser.value(startDelay).toLongLong(&ok);
        if (!ok || settings.api.startDelayMs < 0) {
            complain(QStringLiteral("--start-delay-ms needs a number of 0 or more"));
            return std::nullopt;
        }
    }
    settings.api.seed = QRandomGenerator::system()->generate();
    if (parser.isSet(seed)) {
        settings.api.seed = parser.value(seed).toUInt(&ok);
        if (!ok) {
            complain(QStringLiteral("--seed needs a non-negative number"));
            return std::nullopt;
        }
    }
    if (parser.isSet(speed)) {
        settings.speed = parser.value(speed).toLongLong(&ok);
        if (!ok || settings.speed < 1 || settings.speed > MaxSpeed) {
            complain(QStringLiteral("--speed needs a number from 1 to %1").arg(MaxSpeed));
            return std::nullopt;
        }
    }
    if (parser.isSet(more)) {
        settings.moreServers = parser.value(more).toInt(&ok);
        if (!ok || settings.moreServers < 0 || settings.moreServers > MoreServers::mostServers) {
            complain(QStringLiteral("--more-servers needs a number from 0 to %1").arg(MoreServers::mostServers));
            return std::nullopt;
        }
    }
    return settings;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QSslKey loadKey(const QByteArray &pem)
{
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Ec, QSsl::Rsa, QSsl::Dsa}) {
        QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            return key;
    }
    return {};
}

bool writePortFile(const QString &path, quint16 port)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(port) + '\n') > 0 && file.commit();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("valmora-api-service"));

    std::optional<Settings> settings = parseCommandLine(app);
    if (!settings)
        return UsageError;

    if (!settings->generateDirectory.isEmpty()) {
        const SelfSignedCertificate generated = SelfSignedCertificate::generate();
        if (generated.isNull()) {
            complain(QStringLiteral("could not generate a certificate"));
            return RuntimeFailure;
        }
        const QString error = generated.writeTo(settings->generateDirectory);
        if (!error.isEmpty()) {
            complain(error);
            return RuntimeFailure;
        }
        const QDir dir(settings->generateDirectory);
        settings->certificateFile = dir.filePath(QLatin1String(SelfSignedCertificate::CertificateFileName));
        settings->keyFile = dir.filePath(QLatin1String(SelfSignedCertificate::KeyFileName));
    }

    const QList<QSslCertificate> certificates
        = QSslCertificate::fromData(readFile(settings->certificateFile), QSsl::Pem);
    const QSslKey key = loadKey(readFile(settings->keyFile));
    if (certificates.isEmpty() || key.isNull()) {
        complain(QStringLiteral("cannot read the certificate or its key"));
        return RuntimeFailure;
    }

    QElapsedTimer uptime;
    uptime.start();
    const qint64 speed = settings->speed;
    HostingApi api(demoServerProfiles() + moreServerProfiles(settings->moreServers), settings->api,
                   [&uptime, speed] { return uptime.elapsed() * speed; });

    // Watch for SIGINT/SIGTERM before anyone can learn the port.
    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &app, &QCoreApplication::quit);

    ApiHttpsServer server(api);
    const quint16 port = server.listenOnLoopback(certificates.first(), key, settings->port);
    if (port == 0) {
        complain(QStringLiteral("cannot listen on 127.0.0.1:%1").arg(settings->port));
        return RuntimeFailure;
    }
    if (!settings->portFile.isEmpty() && !writePortFile(settings->portFile, port)) {
        complain(QStringLiteral("cannot write %1").arg(settings->portFile));
        return RuntimeFailure;
    }

    std::printf("listening on https://127.0.0.1:%u\n", unsigned(port));
    std::fflush(stdout);
    return app.exec() == 0 ? Success : RuntimeFailure;
}
