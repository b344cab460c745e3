#include "core/crypto/stringcipher.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QtTest>

#include <optional>

namespace {

const quint64 Key = 0x0123456789ABCDEFULL;
const char *const NoKeyWarning = "No key set. ";
const char *const BadVersionWarning = "Invalid version or not a cyphertext. ";

// CRC-16/X-25 bit by bit, written from the standard rather than from Qt.
quint16 crcX25(const QByteArray &data)
{
    quint16 crc = 0xFFFF;
    for (char ch : data) {
        crc ^= quint8(ch);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0x8408) : quint16(crc >> 1);
    }
    return quint16(~crc);
}

QByteArray crcField(const QByteArray &payload)
{
    const quint16 crc = crcX25(payload);
    QByteArray field;
    field += char(crc >> 8);
    field += char(crc & 0xFF);
    return field;
}

QByteArray sha1(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1);
}

quint8 keyByte(quint64 key, qsizetype i)
{
    return quint8(key >> (8 * (i % 8)));
}

// Version, flags, then random byte + field + payload chained with the key.
QByteArray handRecord(quint64 key, quint8 flags, quint8 random, const QByteArray &field, const QByteArray &payload)
{
    const QByteArray body = char(random) + field + payload;
    QByteArray record;
    record += char(0x03);
    record += char(flags);
    quint8 previous = 0;
    for (qsizetype i = 0; i < body.size(); ++i) {
        previous = quint8(body.at(i)) ^ keyByte(key, i) ^ previous;
        record += char(previous);
    }
    return record;
}

// Reads a checksummed record; nothing when it does not check out.
std::optional<QByteArray> handRead(quint64 key, const QByteArray &record)
{
    QByteArray body;
    quint8 previous = 0;
    for (qsizetype i = 2; i < record.size(); ++i) {
        body += char(quint8(record.at(i)) ^ keyByte(key, i - 2) ^ previous);
        previous = quint8(record.at(i));
    }
    const QByteArray payload = body.mid(3);
    if (record.at(0) != 0x03 || !(record.at(1) & 0x02) || body.mid(1, 2) != crcField(payload))
        return std::nullopt;
    return (record.at(1) & 0x01) ? qUncompress(payload) : payload;
}

// Records warnings word for word while alive (QTest::ignoreMessage would
// forgive a missing trailing space).
class WarningCapture
{
public:
    WarningCapture()
        : previous(qInstallMessageHandler(&WarningCapture::handle))
    {
        warnings().clear();
    }
    ~WarningCapture() { qInstallMessageHandler(previous); }

    static QStringList &warnings()
    {
        static QStringList list;
        return list;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext & /*context*/, const QString &message)
    {
        if (type == QtWarningMsg)
            warnings() << message;
    }

    QtMessageHandler previous;
};

} // namespace

class TestStringCipher : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("cyrillic") << QStringLiteral("Ключ сервера №1").toUtf8();
        QTest::newRow("long repetitive") << QByteArray("abc123").repeated(500);
        QTest::newRow("binary with zeros") << QByteArray("\0\x01\0\xff\0", 5);
        QByteArray allBytes;
        for (int b = 0; b < 256; ++b)
            allBytes += char(b);
        QTest::newRow("all byte values") << allBytes;
        // Compresses close to deflate's best ratio.
        QTest::newRow("4 MiB of zeros") << QByteArray(4 << 20, '\0');
    }

    void roundTrip()
    {
        QFETCH(QByteArray, plain);
        StringCipher cipher(Key);
        for (auto compression :
             {StringCipher::CompressionWhenShorter, StringCipher::CompressionAlways, StringCipher::CompressionNever}) {
            for (auto integrity :
                 {StringCipher::IntegrityNone, StringCipher::IntegrityChecksum, StringCipher::IntegrityDigest}) {
                cipher.setCompressionPolicy(compression);
                cipher.setIntegrityPolicy(integrity);
                QCOMPARE(cipher.decipherBytes(cipher.encipherBytes(plain)), plain);
                QCOMPARE(cipher.lastError(), StringCipher::ErrorNone);
            }
        }
        QCOMPARE(cipher.decipherTextToBytes(cipher.encipherBytesToText(plain)), plain);
    }

    void textRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("cyrillic") << QStringLiteral("Привет, мир! Ёё");
        QTest::newRow("outside the BMP") << QStringLiteral("ключ 🔑 𝄞");
        QTest::newRow("embedded NUL") << QString::fromUtf8("a\0b", 3);
        QTest::newRow("long repetitive") << QStringLiteral("сервер ").repeated(300);
    }

    void textRoundTrip()
    {
        QFETCH(QString, text);
        StringCipher cipher(Key);
        QCOMPARE(cipher.decipherText(cipher.encipherText(text)), text);
        QCOMPARE(cipher.decipherBytesToText(cipher.encipherTextToBytes(text)), text);
        // A fresh object under the same key reads it too.
        QCOMPARE(StringCipher(Key).decipherText(cipher.encipherText(text)), text);
    }

    void recordShapes_data()
    {
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("integrity");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("size");

        const QByteArray repetitive = QByteArray("ab").repeated(1000);
        QTest::newRow("empty") << 0 << 1 << QByteArray() << 0x02 << 5;
        QTest::newRow("short text") << 0 << 1 << QByteArray("api-key-42") << 0x02 << 3 + 2 + 10;
        // qCompress gives exactly 15 bytes for it: not shorter, so stored plain.
        QTest::newRow("compresses to same length") << 0 << 1 << QByteArray(15, 'a') << 0x02 << 3 + 2 + 15;
        QTest::newRow("long repetitive") << 0 << 1 << repetitive << 0x03 << -1;
        QTest::newRow("never compress") << 2 << 1 << repetitive << 0x02 << 3 + 2 + 2000;
        QTest::newRow("always compress empty") << 1 << 1 << QByteArray() << 0x03 << 3 + 2 + 4;
        QTest::newRow("digest") << 0 << 2 << QByteArray("abc") << 0x04 << 3 + 20 + 3;
        QTest::newRow("no integrity") << 0 << 0 << QByteArray("abc") << 0x00 << 3 + 3;
    }

    void recordShapes()
    {
        QFETCH(int, compression);
        QFETCH(int, integrity);
        QFETCH(QByteArray, plain);
        QFETCH(int, flags);
        QFETCH(int, size);

        StringCipher cipher(Key);
        cipher.setCompressionPolicy(StringCipher::CompressionPolicy(compression));
        cipher.setIntegrityPolicy(StringCipher::IntegrityPolicy(integrity));
        const QByteArray record = cipher.encipherBytes(plain);
        QCOMPARE(int(record.at(0)), 0x03);
        QCOMPARE(int(quint8(record.at(1))), flags);
        if (size >= 0)
            QCOMPARE(record.size(), size);
        if (compression == StringCipher::CompressionWhenShorter && (flags & 0x01))
            QVERIFY(record.size() < plain.size());
    }

    void randomByteChangesWholeBody()
    {
        StringCipher cipher(Key);
        QCOMPARE(cipher.encipherText(QString()).size(), 8);

        const QByteArray first = cipher.encipherBytes("same plaintext");
        QByteArray second;
        do {
            second = cipher.encipherBytes("same plaintext");
        } while (second.at(2) == first.at(2));
        QCOMPARE(second.left(2), first.left(2));
        for (qsizetype i = 2; i < first.size(); ++i)
            QVERIFY2(first.at(i) != second.at(i), qPrintable(QString::number(i)));
    }

    void knownAnswer()
    {
        QCOMPARE(crcX25("123456789"), quint16(0x906E)); // the standard's check value

        StringCipher cipher(Key);
        // 03 02, then random 00 and CRC 0000 chained: EF, CD^EF, AB^22.
        QCOMPARE(handRecord(Key, 0x02, 0x00, crcField(QByteArray()), QByteArray()).toBase64(), QByteArray("AwLvIok="));
        QCOMPARE(cipher.decipherText("AwLvIok="), QString());
        QCOMPARE(cipher.lastError(), StringCipher::ErrorNone);

        const QByteArray apiKey = QStringLiteral("Ключ-API 7f3a09c1").toUtf8();
        QCOMPARE(cipher.decipherBytes(handRecord(Key, 0x02, 0x5A, crcField(apiKey), apiKey)), apiKey);
        const QByteArray packed = qCompress(QByteArray("map ").repeated(200), 9);
        QCOMPARE(cipher.decipherBytes(handRecord(Key, 0x03, 0xA5, crcField(packed), packed)),
                 QByteArray("map ").repeated(200));

        for (const QByteArray &plain : {apiKey, QByteArray("map ").repeated(200)}) {
            const std::optional<QByteArray> read = handRead(Key, cipher.encipherBytes(plain));
            QVERIFY(read.has_value());
            QCOMPARE(*read, plain);
        }
    }

    void missingKey()
    {
        StringCipher cipher;
        const QString record = StringCipher(Key).encipherText("x");
        {
            WarningCapture capture;
            QVERIFY(cipher.encipherText("x").isEmpty());
            QCOMPARE(cipher.lastError(), StringCipher::ErrorNoKeySet);
            QVERIFY(cipher.decipherText(record).isEmpty());
            QCOMPARE(cipher.lastError(), StringCipher::ErrorNoKeySet);
            QCOMPARE(capture.warnings(), QStringList({NoKeyWarning, NoKeyWarning}));
        }

        // Zero is a key like any other once assigned.
        cipher.assignKey(0);
        QCOMPARE(cipher.decipherText(cipher.encipherText("x")), QStringLiteral("x"));
        QCOMPARE(cipher.lastError(), StringCipher::ErrorNone);
    }

    void shortRecordsKeepErrorState()
    {
        StringCipher cipher(Key);
        QTest::ignoreMessage(QtWarningMsg, BadVersionWarning);
        cipher.decipherBytes("\x04\x02\x01");
        WarningCapture capture;
        for (const QByteArray &record : {QByteArray(), QByteArray("\x03"), QByteArray("\x03\x02")}) {
            QVERIFY(cipher.decipherBytes(record).isEmpty());
            QCOMPARE(cipher.lastError(), StringCipher::ErrorUnknownVersion);
        }
        cipher.decipherText(cipher.encipherText("ok"));
        QVERIFY(cipher.decipherTextToBytes("AwI=").isEmpty());
        QCOMPARE(cipher.lastError(), StringCipher::ErrorNone);
        QVERIFY(capture.warnings().isEmpty());
    }

    void badVersion_data()
    {
        QTest::addColumn<QString>("text");
        const QByteArray good = StringCipher(Key).encipherBytes("key");
        for (int version : {0x00, 0x02, 0x04, 0x83}) {
            QTest::addRow("version %02x", version) << QString::fromLatin1((char(version) + good.mid(1)).toBase64());
        }
        QTest::newRow("plain API key") << QStringLiteral("abcdef123456");
    }

    void badVersion()
    {
        QFETCH(QString, text);
        StringCipher cipher(Key);
        WarningCapture capture;
        QVERIFY(cipher.decipherText(text).isEmpty());
        QCOMPARE(cipher.lastError(), StringCipher::ErrorUnknownVersion);
        QCOMPARE(capture.warnings(), QStringList(BadVersionWarning));
    }

    void integrityFieldTooShort()
    {
        WarningCapture capture;
        StringCipher cipher(Key);
        const QByteArray records[] = {
            handRecord(Key, 0x02, 0x10, QByteArray(), QByteArray()),
            handRecord(Key, 0x02, 0x10, QByteArray(1, '\x7f'), QByteArray()),
            handRecord(Key, 0x04, 0x10, sha1("").left(19), QByteArray()),
        };
        for (const QByteArray &record : records) {
            QVERIFY(cipher.decipherBytes(record).isEmpty());
            QCOMPARE(cipher.lastError(), StringCipher::ErrorIntegrityFailed);
        }
        QVERIFY(capture.warnings().isEmpty());
    }

    void flagsTheWriterNeverSets_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QByteArray>("plain");

        const QByteArray text = QStringLiteral("токен 9b1c").toUtf8();
        const QByteArray packed = qCompress(text.repeated(50), 9);
        QTest::newRow("digest") << handRecord(Key, 0x04, 0x33, sha1(text), text) << text;
        QTest::newRow("no integrity") << handRecord(Key, 0x00, 0x33, {}, text) << text;
        QTest::newRow("high bits, checksum") << handRecord(Key, 0xFA, 0x33, crcField(text), text) << text;
        QTest::newRow("high bits only") << handRecord(Key, 0x80, 0x33, {}, text) << text;
        QTest::newRow("checksum and digest") << handRecord(Key, 0x06, 0x33, crcField(text), text) << text;
        QTest::newRow("compressed, digest") << handRecord(Key, 0x05, 0x33, sha1(packed), packed) << text.repeated(50);
        QTest::newRow("compressed, no integrity") << handRecord(Key, 0x01, 0x33, {}, packed) << text.repeated(50);
    }

    void flagsTheWriterNeverSets()
    {
        QFETCH(QByteArray, record);
        QFETCH(QByteArray, plain);
        StringCipher cipher(Key);
        QCOMPARE(cipher.decipherBytes(record), plain);
        QCOMPARE(cipher.lastError(), StringCipher::ErrorNone);
    }

    void tamperingAndWrongKeysFail()
    {
        const QByteArray payload("secret-api-key");
        const QByteArray record = handRecord(Key, 0x02, 0x11, crcField(payload), payload);
        StringCipher cipher(Key);
        for (qsizetype i = 2; i < record.size(); ++i) {
            for (quint8 delta : {0x01, 0x80, 0xFF}) {
                QByteArray tampered = record;
                tampered[i] = char(tampered.at(i) ^ delta);
                QVERIFY2(cipher.decipherBytes(tampered).isEmpty(), qPrintable(QString::number(i)));
                QCOMPARE(cipher.lastError(), StringCipher::ErrorIntegrityFailed);
            }
        }
        QVERIFY(cipher.decipherBytes(record.chopped(1)).isEmpty());
        QCOMPARE(cipher.lastError(), StringCipher::ErrorIntegrityFailed);

        // Under the digest a chance pass is out of the question.
        cipher.setIntegrityPolicy(StringCipher::IntegrityDigest);
        for (quint64 otherKey : {Key ^ 1, Key ^ (quint64(1) << 63), quint64(0)}) {
            StringCipher other(otherKey);
            QVERIFY(other.decipherBytes(record).isEmpty());
            QCOMPARE(other.lastError(), StringCipher::ErrorIntegrityFailed);
            QVERIFY(other.decipherText(cipher.encipherText("secret")).isEmpty());
            QCOMPARE(other.lastError(), StringCipher::ErrorIntegrityFailed);
        }
    }

    void malformedInputGivesEmpty()
    {
        StringCipher cipher(Key);
        // Only the first text has Base64 characters; they decode to a non-record.
        QTest::ignoreMessage(QtWarningMsg, BadVersionWarning);
        for (const QString &text : {QStringLiteral("не base64 вообще!"), QStringLiteral("%%%%====="),
                                    QString(10000, QLatin1Char('?')), QStringLiteral("\u0000\uffff")}) {
            QVERIFY(cipher.decipherText(text).isEmpty());
        }

        // A compressed payload whose length header claims about 4 GiB.
        QByteArray lying = qCompress("hello", 9);
        qToBigEndian<quint32>(0xFFFFFFF0u, lying.data());
        QVERIFY(cipher.decipherBytes(handRecord(Key, 0x01, 0, {}, lying)).isEmpty());
        QCOMPARE(cipher.lastError(), StringCipher::ErrorNone);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^qUncompress"));
        const QByteArray garbage("\0\0\0\x10not a zlib stream", 21);
        const QByteArray badStream = handRecord(Key, 0x03, 0, crcField(garbage), garbage);
        QVERIFY(cipher.decipherBytes(badStream).isEmpty());
        QVERIFY(cipher.decipherBytes(handRecord(Key, 0x01, 0, {}, "\x01\x02")).isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestStringCipher)
#include "tst_stringcipher.moc"
