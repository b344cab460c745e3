// Feeds any bytes to the cipher as a stored record and as a record's text
// form.

#include "core/crypto/stringcipher.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// The key under which the records of the seed corpus were made, so that
// they pass the integrity check and lead the fuzzer into the payload.
const quint64 FuzzKey = Q_UINT64_C(0x0123456789abcdef);

// Re-enciphering huge payloads (deflate can blow a 4 KiB record up a
// thousandfold) would only slow the search down.
const qsizetype MaxRoundTripSize = 64 * 1024;

void ignoreMessages(QtMsgType, const QMessageLogContext &, const QString &)
{
    // The cipher and qUncompress warn about bad input on every other run.
}

// Whatever deciphered must come back unchanged from a fresh record.
void checkRoundTrip(StringCipher &cipher, const QByteArray &plain)
{
    if (cipher.lastError() != StringCipher::ErrorNone || plain.size() > MaxRoundTripSize)
        return;
    if (cipher.decipherBytes(cipher.encipherBytes(plain)) != plain)
        std::abort();
}

void checkRoundTrip(StringCipher &cipher, const QString &plain)
{
    if (cipher.lastError() != StringCipher::ErrorNone || plain.size() > MaxRoundTripSize)
        return;
    if (cipher.decipherText(cipher.encipherText(plain)) != plain)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(ignoreMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    StringCipher cipher(FuzzKey);

    checkRoundTrip(cipher, cipher.decipherBytes(bytes));
    checkRoundTrip(cipher, cipher.decipherText(QString::fromUtf8(bytes)));
    // The same bytes read as UTF-16, to reach characters outside Latin-1.
    const QString wide(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2);
    checkRoundTrip(cipher, cipher.decipherText(wide));
    return 0;
}
