#include "stringcipher.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtEndian>

namespace {

const char RecordVersion = 0x03;
const int HeaderSize = 2; // version and flags, stored in clear
const int MinRecordSize = HeaderSize + 1;

const quint8 FlagCompressed = 0x01;
const quint8 FlagChecksum = 0x02;
const quint8 FlagDigest = 0x04;

const int ChecksumSize = 2;
const int DigestSize = 20;
const int CompressionLevel = 9;

// qCompress prefixes the zlib stream with the uncompressed length (4 bytes).
const int CompressedLengthSize = 4;
// Deflate cannot expand data by more than 1032:1.
const qint64 MaxInflateRatio = 1032;

const char *const NoKeyWarning = "No key set.";
const char *const BadVersionWarning = "Invalid version or not a cyphertext.";

// The message is the text followed by one space, the way a single item
// written to the warning stream used to come out.
void warn(const char *text)
{
    qWarning("%s ", text);
}

QByteArray keyBytesOf(quint64 key)
{
    QByteArray bytes(8, '\0');
    for (int i = 0; i < 8; ++i)
        bytes[i] = char((key >> (8 * i)) & 0xFF);
    return bytes;
}

quint8 randomByte()
{
    return quint8(QRandomGenerator::global()->generate() & 0xFF);
}

QByteArray checksumField(const QByteArray &payload)
{
    QByteArray field(ChecksumSize, '\0');
    qToBigEndian<quint16>(qChecksum(payload, Qt::ChecksumIso3309), field.data());
    return field;
}

QByteArray digestField(const QByteArray &payload)
{
    return QCryptographicHash::hash(payload, QCryptographicHash::Sha1);
}

// Each enciphered byte feeds into the next one.
void chainForward(QByteArray &body, const QByteArray &keyBytes)
{
    quint8 previous = 0;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const quint8 enciphered = quint8(body.at(i)) ^ quint8(keyBytes.at(i % keyBytes.size())) ^ previous;
        body[i] = char(enciphered);
        previous = enciphered;
    }
}

void chainBackward(QByteArray &body, const QByteArray &keyBytes)
{
    quint8 previous = 0;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const quint8 enciphered = quint8(body.at(i));
        body[i] = char(enciphered ^ quint8(keyBytes.at(i % keyBytes.size())) ^ previous);
        previous = enciphered;
    }
}

// Checks the integrity field at the front of `rest` against the payload
// behind it and removes the field. With both flags the checksum rules.
bool stripIntegrityField(quint8 flags, QByteArray &rest)
{
    if (flags & FlagChecksum) {
        if (rest.size() < ChecksumSize)
            return false;
        const QByteArray stored = rest.left(ChecksumSize);
        rest.remove(0, ChecksumSize);
        return stored == checksumField(rest);
    }
    if (flags & FlagDigest) {
        if (rest.size() < DigestSize)
            return false;
        const QByteArray stored = rest.left(DigestSize);
        rest.remove(0, DigestSize);
        return stored == digestField(rest);
    }
    return true;
}

// qUncompress allocates the length stated in the header before inflating,
// so a forged header could ask for gigabytes. Refuse lengths that no
// stream of this size can produce; qCompress output always passes.
QByteArray uncompressPayload(const QByteArray &payload)
{
    if (payload.size() < CompressedLengthSize)
        return QByteArray();
    const quint32 statedLength = qFromBigEndian<quint32>(payload.constData());
    if (statedLength > MaxInflateRatio * payload.size())
        return QByteArray();
    return qUncompress(payload);
}

} // namespace

StringCipher::StringCipher()
    : key(0)
    , compressionPolicy(CompressionWhenShorter)
    , integrityPolicy(IntegrityChecksum)
    , errorState(ErrorNone)
{ }

StringCipher::StringCipher(quint64 key)
    : StringCipher()
{
    assignKey(key);
}

void StringCipher::assignKey(quint64 key)
{
    this->key = key;
    keyBytes = keyBytesOf(key);
}

void StringCipher::setCompressionPolicy(CompressionPolicy policy)
{
    compressionPolicy = policy;
}

StringCipher::CompressionPolicy StringCipher::getCompressionPolicy() const
{
    return compressionPolicy;
}

void StringCipher::setIntegrityPolicy(IntegrityPolicy policy)
{
    integrityPolicy = policy;
}

StringCipher::IntegrityPolicy StringCipher::getIntegrityPolicy() const
{
    return integrityPolicy;
}

StringCipher::Error StringCipher::lastError() const
{
    return errorState;
}

QByteArray StringCipher::encipherBytes(const QByteArray &plain)
{
    if (keyBytes.isEmpty()) {
        warn(NoKeyWarning);
        errorState = ErrorNoKeySet;
        return QByteArray();
    }

    quint8 flags = 0;
    QByteArray payload = plain;
    if (compressionPolicy != CompressionNever) {
        const QByteArray compressed = qCompress(plain, CompressionLevel);
        if (compressionPolicy == CompressionAlways || compressed.size() < plain.size()) {
            payload = compressed;
            flags |= FlagCompressed;
        }
    }

    QByteArray body(1, char(randomByte()));
    switch (integrityPolicy) {
    case IntegrityChecksum:
        flags |= FlagChecksum;
        body += checksumField(payload);
        break;
    case IntegrityDigest:
        flags |= FlagDigest;
        body += digestField(payload);
        break;
    case IntegrityNone:
        break;
    }
    body += payload;
    chainForward(body, keyBytes);

    QByteArray record;
    record.reserve(HeaderSize + body.size());
    record.append(RecordVersion);
    record.append(char(flags));
    record += body;
    errorState = ErrorNone;
    return record;
}

QByteArray StringCipher::encipherTextToBytes(const QString &plain)
{
    return encipherBytes(plain.toUtf8());
}

QString StringCipher::encipherBytesToText(const QByteArray &plain)
{
    return QString::fromLatin1(encipherBytes(plain).toBase64());
}

QString StringCipher::encipherText(const QString &plain)
{
    return encipherBytesToText(plain.toUtf8());
}

QByteArray StringCipher::decipherBytes(const QByteArray &record)
{
    if (keyBytes.isEmpty()) {
        warn(NoKeyWarning);
        errorState = ErrorNoKeySet;
        return QByteArray();
    }
    if (record.size() < MinRecordSize)
        return QByteArray();
    if (record.at(0) != RecordVersion) {
        errorState = ErrorUnknownVersion;
        warn(BadVersionWarning);
        return QByteArray();
    }

    const quint8 flags = quint8(record.at(1));
    QByteArray rest = record.mid(HeaderSize);
    chainBackward(rest, keyBytes);
    rest.remove(0, 1); // the random byte

    if (!stripIntegrityField(flags, rest)) {
        errorState = ErrorIntegrityFailed;
        return QByteArray();
    }
    if (flags & FlagCompressed)
        rest = uncompressPayload(rest);

    errorState = ErrorNone;
    return rest;
}

QByteArray StringCipher::decipherTextToBytes(const QString &record)
{
    // Characters outside the Base64 alphabet are skipped by the decoder.
    return decipherBytes(QByteArray::fromBase64(record.toLatin1()));
}

QString StringCipher::decipherBytesToText(const QByteArray &record)
{
    return QString::fromUtf8(decipherBytes(record));
}

QString StringCipher::decipherText(const QString &record)
{
    return QString::fromUtf8(decipherTextToBytes(record));
}
