#include "testcertificateauthority.h"

#include <QRegularExpression>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace {

struct Free
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(X509* cert) const { X509_free(cert); }
    void operator()(X509_EXTENSION* extension) const { X509_EXTENSION_free(extension); }
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Key = std::unique_ptr<EVP_PKEY, Free>;
using Cert = std::unique_ptr<X509, Free>;

void check(bool ok, const char* what)
{
    if (!ok)
        qFatal("OpenSSL cannot %s", what);
}

Key newKey()
{
    Key key(EVP_EC_gen("P-256"));
    check(key != nullptr, "make a key");
    return key;
}

// A v3 certificate for @p subject's key, signed by @p issuerKey; @p issuer is
// null for a self-signed one. Valid from @p fromSeconds to @p toSeconds from now.
Cert newCertificate(const QString& commonName, EVP_PKEY* subjectKey, X509* issuer, EVP_PKEY* issuerKey, long serial,
                    long fromSeconds, long toSeconds, const QStringList& extensions)
{
    Cert cert(X509_new());
    check(cert && X509_set_version(cert.get(), 2) && ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial)
              && X509_gmtime_adj(X509_getm_notBefore(cert.get()), fromSeconds)
              && X509_gmtime_adj(X509_getm_notAfter(cert.get()), toSeconds)
              && X509_set_pubkey(cert.get(), subjectKey),
          "fill a certificate");
    X509_NAME* name = X509_get_subject_name(cert.get());
    const QByteArray cn = commonName.toUtf8();
    check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(cn.constData()),
                                     -1, -1, 0),
          "name a certificate");
    check(X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : name), "name an issuer");

    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer ? issuer : cert.get(), cert.get(), nullptr, nullptr, 0);
    for (const QString& line : extensions) {
        const QByteArray nameAndValue = line.toLatin1();
        const int eq = nameAndValue.indexOf('=');
        const std::unique_ptr<X509_EXTENSION, Free> extension(X509V3_EXT_nconf(
            nullptr, &context, nameAndValue.left(eq).constData(), nameAndValue.mid(eq + 1).constData()));
        check(extension && X509_add_ext(cert.get(), extension.get(), -1), "add an extension");
    }
    check(X509_sign(cert.get(), issuerKey, EVP_sha256()) > 0, "sign a certificate");
    return cert;
}

void writePem(const QString& path, X509* cert, EVP_PKEY* key)
{
    const std::unique_ptr<BIO, Free> bio(BIO_new_file(path.toLocal8Bit().constData(), "w"));
    check(bio && (!cert || PEM_write_bio_X509(bio.get(), cert))
              && (!key || PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr)),
          "write a PEM file");
}

constexpr long hour = 3600;
constexpr long day = 24 * hour;

} // namespace

struct TestCertificateAuthority::Keys
{
    Key key = newKey();
    Cert cert;
};

TestCertificateAuthority::TestCertificateAuthority(const QString& name) : keys(std::make_unique<Keys>())
{
    check(dir.isValid(), "have a folder");
    keys->cert = newCertificate(name, keys->key.get(), nullptr, keys->key.get(), 1, -hour, day,
                                {"basicConstraints=critical,CA:TRUE", "keyUsage=critical,keyCertSign,cRLSign",
                                 "subjectKeyIdentifier=hash"});
    writePem(caFile(), keys->cert.get(), nullptr);
}

TestCertificateAuthority::~TestCertificateAuthority() = default;

QString TestCertificateAuthority::caFile() const
{
    return dir.filePath(QStringLiteral("ca.pem"));
}

IssuedCertificate TestCertificateAuthority::issue(const QString& host, bool expired)
{
    ++issued;
    const Key key = newKey();
    const bool address = QRegularExpression(QStringLiteral("^[0-9.]+$|:")).match(host).hasMatch();
    const QString altName = address ? QStringLiteral("IP:") : QStringLiteral("DNS:");
    const Cert cert = newCertificate(host, key.get(), keys->cert.get(), keys->key.get(), 1 + issued,
                                     expired ? -2 * day : -hour, expired ? -day : day,
                                     {"basicConstraints=critical,CA:FALSE", "keyUsage=critical,digitalSignature",
                                      "extendedKeyUsage=serverAuth", "subjectAltName=" + altName + host,
                                      "authorityKeyIdentifier=keyid"});
    const IssuedCertificate files{dir.filePath(QStringLiteral("server%1.pem").arg(issued)),
                                  dir.filePath(QStringLiteral("server%1.key").arg(issued))};
    writePem(files.certFile, cert.get(), nullptr);
    writePem(files.keyFile, nullptr, key.get());
    return files;
}
