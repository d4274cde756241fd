#ifndef TESTCERTIFICATEAUTHORITY_H
#define TESTCERTIFICATEAUTHORITY_H

#include <QString>
#include <QTemporaryDir>

#include <memory>

// A server's certificate and private key as PEM files.
struct IssuedCertificate
{
    QString certFile;
    QString keyFile;
};

// A throwaway certificate authority, made with OpenSSL when the object is
// created, that issues server certificates. Its certificate and everything it
// issues are PEM files in a temporary folder that goes with the object.
class TestCertificateAuthority
{
public:
    explicit TestCertificateAuthority(const QString& name = QStringLiteral("Test Hospital CA"));
    ~TestCertificateAuthority();

    TestCertificateAuthority(const TestCertificateAuthority&) = delete;
    TestCertificateAuthority& operator=(const TestCertificateAuthority&) = delete;

    // The authority's certificate: what a client trusts.
    QString caFile() const;

    // A server certificate for @p host, an IP address or a DNS name, valid
    // from an hour ago for a day; or one that expired a day ago. Ends the run
    // when OpenSSL fails.
    IssuedCertificate issue(const QString& host = QStringLiteral("127.0.0.1"), bool expired = false);

private:
    struct Keys;
    QTemporaryDir dir;
    std::unique_ptr<Keys> keys;
    int issued = 0;
};

#endif
