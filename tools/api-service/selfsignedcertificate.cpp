#include "selfsignedcertificate.h"

#include <QDir>
#include <QSaveFile>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace {

template<typename T, void (*Free)(T *)> struct Deleter
{
    void operator()(T *p) const { Free(p); }
};

using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;
using BigNumPtr = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;

constexpr long ValidForSeconds = 365L * 24 * 3600;
constexpr long BackdateSeconds = 3600; // tolerate a clock that is slightly behind

bool addExtension(X509 *certificate, int nid, const char *value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

bool setRandomSerial(X509 *certificate)
{
    BigNumPtr serial(BN_new());
    return serial && BN_rand(serial.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) == 1
        && BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate));
}

bool setSubjectAndIssuer(X509 *certificate)
{
    X509_NAME *name = X509_get_subject_name(certificate);
    const auto add = [name](const char *field, const char *value) {
        return X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char *>(value),
                                          -1, -1, 0)
            == 1;
    };
    return add("O", "Valmora API service, local test") && add("CN", "localhost")
        && X509_set_issuer_name(certificate, name) == 1;
}

QByteArray bioContents(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? QByteArray(data, int(size)) : QByteArray();
}

QByteArray certificateToPem(X509 *certificate)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), certificate) != 1)
        return {};
    return bioContents(bio.get());
}

QByteArray keyToPem(EVP_PKEY *key)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    return bioContents(bio.get());
}

QString writeFile(const QString &path, const QByteArray &contents, QFile::Permissions permissions)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() || !file.setPermissions(permissions)
        || !file.commit()) {
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    }
    return {};
}

} // namespace

SelfSignedCertificate SelfSignedCertificate::generate()
{
    KeyPtr key(EVP_EC_gen("P-256"));
    CertPtr certificate(X509_new());
    if (!key || !certificate)
        return {};

    X509 *x509 = certificate.get();
    const bool built = X509_set_version(x509, 2) == 1 // X.509 v3
        && setRandomSerial(x509) && X509_gmtime_adj(X509_getm_notBefore(x509), -BackdateSeconds)
        && X509_gmtime_adj(X509_getm_notAfter(x509), ValidForSeconds) && X509_set_pubkey(x509, key.get()) == 1
        && setSubjectAndIssuer(x509) && addExtension(x509, NID_basic_constraints, "critical,CA:TRUE")
        && addExtension(x509, NID_key_usage, "critical,digitalSignature,keyCertSign")
        && addExtension(x509, NID_ext_key_usage, "serverAuth") && addExtension(x509, NID_subject_key_identifier, "hash")
        && addExtension(x509, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1")
        && X509_sign(x509, key.get(), EVP_sha256()) > 0;
    if (!built)
        return {};

    SelfSignedCertificate result;
    result.certificatePem = certificateToPem(x509);
    result.keyPem = keyToPem(key.get());
    if (result.isNull())
        return {};
    return result;
}

QString SelfSignedCertificate::writeTo(const QString &directory) const
{
    if (!QDir().mkpath(directory))
        return QStringLiteral("cannot create %1").arg(directory);
    const QDir dir(directory);
    QString error = writeFile(dir.filePath(QLatin1String(KeyFileName)), keyPem, QFile::ReadOwner | QFile::WriteOwner);
    if (error.isEmpty()) {
        error = writeFile(dir.filePath(QLatin1String(CertificateFileName)), certificatePem,
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return error;
}
