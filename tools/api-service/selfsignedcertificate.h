#pragma once

#include <QByteArray>
#include <QString>

// A throw-away TLS identity for serving on loopback: a self-signed
// certificate for DNS:localhost and IP:127.0.0.1 with a fresh P-256 key,
// valid for a year.
struct SelfSignedCertificate
{
    static constexpr char CertificateFileName[] = "cert.pem";
    static constexpr char KeyFileName[] = "key.pem";

    QByteArray certificatePem;
    QByteArray keyPem;

    // Empty PEM texts mean the generation failed.
    static SelfSignedCertificate generate();

    bool isNull() const { return certificatePem.isEmpty() || keyPem.isEmpty(); }

    // Writes CertificateFileName and KeyFileName (readable by the owner
    // only) into `directory`, creating it if need be. Returns an error text,
    // empty on success.
    QString writeTo(const QString &directory) const;
};
