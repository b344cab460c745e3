#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>

class QSettings;

// Where the hosting API is reached and which certificates, beyond the
// system's, are trusted for it. Configured from the settings file.
struct ApiEndpoint
{
    static QString defaultHost();
    static constexpr quint16 defaultPort = 443;

    QString host = defaultHost();
    quint16 port = defaultPort;
    QList<QSslCertificate> caCertificates;

    // Accepts "name", "name:port", "[v6-address]" or "[v6-address]:port".
    // On a malformed entry returns a Russian description and keeps the
    // endpoint unchanged; returns an empty text on success.
    QString setHostEntry(const QString &entry);

    // Reads every PEM certificate in the file. Returns a Russian description
    // when the file cannot be read or holds no certificate.
    QString loadCaCertificates(const QString &path);

    // Takes "host" and "cacert" from the settings' current group (the
    // file's [Main]), where given. Returns what could not be used, one
    // Russian sentence each; the rest of the endpoint is set regardless.
    QStringList configure(const QSettings &settings);

    // The TLS settings every client of the API uses: Qt's defaults, every
    // certificate check on, trusting the system's authorities and those of
    // `cacert`.
    QSslConfiguration sslConfiguration() const;
    // The same trusting the endpoint's own certificates alone, for a first
    // try that spares reading the system's.
    QSslConfiguration sslConfigurationTrustingOwnOnly() const;
    // Qt's defaults trusting the system's authorities plus `extra`, for a
    // peer that a private service's certificates may vouch for as well.
    static QSslConfiguration trustingSystemAnd(const QList<QSslCertificate> &extra);
};
