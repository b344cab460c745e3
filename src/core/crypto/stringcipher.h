#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Enciphers texts and byte strings into self-describing records under a
// 64-bit key, and reads such records back.
//
// Record: version 0x03, a flags byte, then the body: a random byte, an
// optional integrity field (CRC-16 checksum or SHA-1 digest of the payload)
// and the payload (plaintext, possibly qCompress'ed). The body is chained
// with the key bytes so that every enciphered byte depends on those before.
// Text forms are the record in Base64; plaintext texts travel as UTF-8.
//
// Every failure yields an empty result; lastError() tells what happened.
class StringCipher
{
public:
    enum CompressionPolicy { CompressionWhenShorter = 0, CompressionAlways = 1, CompressionNever = 2 };

    enum IntegrityPolicy { IntegrityNone = 0, IntegrityChecksum = 1, IntegrityDigest = 2 };

    enum Error { ErrorNone = 0, ErrorNoKeySet = 1, ErrorUnknownVersion = 2, ErrorIntegrityFailed = 3 };

    StringCipher();
    explicit StringCipher(quint64 key);

    void assignKey(quint64 key);

    void setCompressionPolicy(CompressionPolicy policy);
    CompressionPolicy getCompressionPolicy() const;
    void setIntegrityPolicy(IntegrityPolicy policy);
    IntegrityPolicy getIntegrityPolicy() const;

    // Outcome of the last encipher or decipher call.
    Error lastError() const;

    QByteArray encipherBytes(const QByteArray &plain);
    QByteArray encipherTextToBytes(const QString &plain);
    QString encipherBytesToText(const QByteArray &plain);
    QString encipherText(const QString &plain);

    QByteArray decipherBytes(const QByteArray &record);
    QByteArray decipherTextToBytes(const QString &record);
    QString decipherBytesToText(const QByteArray &record);
    QString decipherText(const QString &record);

private:
    quint64 key;
    QByteArray keyBytes;
    CompressionPolicy compressionPolicy;
    IntegrityPolicy integrityPolicy;
    Error errorState;
};
