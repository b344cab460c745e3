// The floor of a command-line query: a Qt Core and Network program that
// makes one HTTPS GET and prints the reply's HTTP status, trusting the
// service's own certificate, with every check on; the least any client of
// a private service does.
//
//   valmora-bench-ctl-floor URL CA-FILE [--system-authorities]
//
// With --system-authorities it reads the system's authorities too and
// trusts them as well, as the window does.
//
// Exits 0 on a reply with status 200, 1 otherwise, 2 on a bad command line.

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>

#include <cstdio>

int main(int argc, char *argv[])
{
    const QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const bool withSystem = arguments.size() == 4 && arguments.at(3) == QLatin1String("--system-authorities");
    if (arguments.size() != 3 && !withSystem) {
        std::fprintf(stderr, "usage: valmora-bench-ctl-floor URL CA-FILE [--system-authorities]\n");
        return 2;
    }

    QList<QSslCertificate> authorities = QSslCertificate::fromPath(arguments.at(2));
    if (withSystem)
        authorities += QSslConfiguration::systemCaCertificates();
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(authorities);
    QNetworkRequest request(QUrl::fromEncoded(arguments.at(1).toLatin1()));
    request.setSslConfiguration(tls);
    // HTTP/1.1, as the program asks for it.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);

    QNetworkAccessManager manager;
    QNetworkReply *reply = manager.get(request);
    QObject::connect(reply, &QNetworkReply::finished, &app, [reply] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        std::printf("status=%d bytes=%lld\n", status, static_cast<long long>(reply->readAll().size()));
        QCoreApplication::exit(status == 200 ? 0 : 1);
    });
    return QCoreApplication::exec();
}
