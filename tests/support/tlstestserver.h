#ifndef TLSTESTSERVER_H
#define TLSTESTSERVER_H

#include "testserver.h"

#include <atomic>
#include <memory>

struct IssuedCertificate;

// A TestServer that speaks HTTPS with the given certificate. It also counts
// the TLS handshakes that clients begin, which a request refused for its
// certificate never gets past.
class TlsTestServer : public TestServer
{
public:
    explicit TlsTestServer(const IssuedCertificate& certificate);

    // ClientHello messages received so far.
    int handshakes() const { return *hellos; }

private:
    TlsTestServer(const IssuedCertificate& certificate, std::shared_ptr<std::atomic<int>> counter);

    std::shared_ptr<std::atomic<int>> hellos;
};

#endif
