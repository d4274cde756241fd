#include "tlstestserver.h"

#include "testcertificateauthority.h"

#include <QFile>

#include <openssl/ssl.h>

namespace {

int countHello(SSL*, int*, void* counter)
{
    ++*static_cast<std::atomic<int>*>(counter);
    return SSL_CLIENT_HELLO_SUCCESS;
}

std::unique_ptr<httplib::Server> tlsServer(const IssuedCertificate& certificate, std::atomic<int>* counter)
{
    auto server = std::make_unique<httplib::SSLServer>(QFile::encodeName(certificate.certFile).constData(),
                                                       QFile::encodeName(certificate.keyFile).constData());
    // Set before the server listens: connections take their settings from the context.
    if (server->is_valid())
        SSL_CTX_set_client_hello_cb(server->ssl_context(), countHello, counter);
    return server;
}

} // namespace

TlsTestServer::TlsTestServer(const IssuedCertificate& certificate)
    : TlsTestServer(certificate, std::make_shared<std::atomic<int>>(0))
{
}

TlsTestServer::TlsTestServer(const IssuedCertificate& certificate, std::shared_ptr<std::atomic<int>> counter)
    : TestServer(tlsServer(certificate, counter.get()), "https"), hellos(std::move(counter))
{
}
