#include "cloudservice.h"
#include "cloudstudy.h"
#include "dicomtext.h"
#include "servicelistener.h"
#include "serviceoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>

#include <csignal>
#include <cstdio>
#include <list>
#include <pthread.h>

namespace {

int usageError(const QString& message)
{
    std::fprintf(stderr, "cloud-service: %s\n", qPrintable(message));
    return 2;
}

bool readNumber(const QCommandLineParser& parser, const QString& option, int* value)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    *value = parser.value(option).toInt(&ok);
    return ok;
}

int seed(CloudService& service, const QCommandLineParser& parser)
{
    CloudStudy study;
    study.studyUid = parser.value(QStringLiteral("seed-study"));
    study.patientName = parser.value(QStringLiteral("name"));
    study.sex = parser.value(QStringLiteral("sex"));
    study.ageUnit = parser.value(QStringLiteral("age-unit"));
    study.abstractHistory = parser.value(QStringLiteral("history"));
    study.relevantResult = parser.value(QStringLiteral("result"));
    study.prediagnose = parser.value(QStringLiteral("diagnose"));
    if (study.studyUid.isEmpty())
        return usageError(QStringLiteral("--seed-study needs a study instance UID"));
    if (!readNumber(parser, QStringLiteral("age"), &study.age)
        || !readNumber(parser, QStringLiteral("check-item-id"), &study.checkItemId)
        || !readNumber(parser, QStringLiteral("position-id"), &study.studyPositionId))
        return usageError(QStringLiteral("--age, --check-item-id and --position-id take whole numbers"));
    QDateTime when = QDateTime::currentDateTime();
    if (parser.isSet(QStringLiteral("study-time"))) {
        when = QDateTime::fromString(parser.value(QStringLiteral("study-time")), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!when.isValid())
            return usageError(QStringLiteral("--study-time takes \"yyyy-MM-dd HH:mm:ss\""));
    }
    study.studyTime = when.toSecsSinceEpoch() * 1000;

    bool created = false;
    const QString serial = service.seedStudy(study, &created);
    if (serial.isEmpty()) {
        std::fprintf(stderr, "cloud-service: cannot register the study in %s\n", qPrintable(service.dataDir()));
        return 1;
    }
    if (!created)
        std::fprintf(stderr, "cloud-service: the study is already registered; its record is unchanged\n");
    std::printf("%s\n", qPrintable(serial));
    return 0;
}

// Empty certificate and key files: plain HTTP.
struct TlsFiles
{
    QString cert;
    QString key;
};

int serve(CloudService& service, const QList<ListenAddress>& addresses, const TlsFiles& tls,
          const sigset_t& stopSignals)
{
    std::list<ServiceListener> listeners;
    for (const ListenAddress& address : addresses) {
        if (tls.cert.isEmpty())
            listeners.emplace_back(service);
        else
            listeners.emplace_back(service, tls.cert, tls.key);
        ServiceListener& listener = listeners.back();
        if (!listener.isValid()) {
            std::fprintf(stderr, "cloud-service: cannot use the certificate %s with the key %s\n",
                         qPrintable(tls.cert), qPrintable(tls.key));
            return 1;
        }
        listener.logRequests();
        if (!listener.listen(address.host, address.port)) {
            std::fprintf(stderr, "cloud-service: cannot listen on %s:%d\n", qPrintable(address.host), address.port);
            return 1;
        }
        std::printf("listening on %s:%d\n", qPrintable(address.host), listener.port());
        std::fflush(stdout);
    }
    int received = 0;
    sigwait(&stopSignals, &received);
    std::fprintf(stderr, "cloud-service: stopping on signal %d\n", received);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    // Every thread started from here on inherits the blocked signals, so that
    // only sigwait below sees them and the servers are stopped in order.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A cloud service for examination records on loopback HTTP, or HTTPS with --tls-cert and --tls-key.\n"
        "Serves until SIGINT or SIGTERM; with --seed-study registers one study and exits."));
    parser.addHelpOption();
    const auto option = [&](const char* name, const char* help, const char* value = nullptr) {
        if (value)
            parser.addOption({QString::fromLatin1(name), QString::fromLatin1(help), QString::fromLatin1(value)});
        else
            parser.addOption({QString::fromLatin1(name), QString::fromLatin1(help)});
    };
    option("data", "Data folder (default ./cloud-data).", "DIR");
    option("listen", "Address to listen on; repeatable; port 0 picks a free port "
                     "(default 127.0.0.1:8082 and 127.0.0.2:8082).", "ADDR:PORT");
    option("tls-cert", "Serve HTTPS with this PEM certificate (chain); needs --tls-key.", "FILE");
    option("tls-key", "The PEM private key of --tls-cert.", "FILE");
    option("accounts", "JSON object {\"user\":\"password\"} or INI [accounts] user=password "
                       "(default: user demo, password demo).", "FILE");
    option("seed-study", "Register this study instance UID with a record, print its serial and exit.", "UID");
    option("name", "Seeded patient name.", "NAME");
    option("sex", "Seeded patient sex.", "SEX");
    option("age", "Seeded age.", "N");
    option("age-unit", "Seeded age unit (Y, M, D, H).", "UNIT");
    option("study-time", "Seeded study time, local (default now).", "yyyy-MM-dd HH:mm:ss");
    option("check-item-id", "Seeded examination item id.", "N");
    option("position-id", "Seeded body position id.", "N");
    option("history", "Seeded clinical symptoms.", "TEXT");
    option("result", "Seeded related results.", "TEXT");
    option("diagnose", "Seeded clinical diagnosis.", "TEXT");
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    QList<ListenAddress> addresses;
    const QStringList listen = parser.values(QStringLiteral("listen"));
    for (const QString& text : listen) {
        ListenAddress address;
        if (!parseListenAddress(text, &address))
            return usageError(QStringLiteral("--listen takes ADDR:PORT, not \"%1\"").arg(text));
        addresses.append(address);
    }
    if (addresses.isEmpty())
        addresses = {{QStringLiteral("127.0.0.1"), 8082}, {QStringLiteral("127.0.0.2"), 8082}};
    const TlsFiles tls{parser.value(QStringLiteral("tls-cert")), parser.value(QStringLiteral("tls-key"))};
    if (tls.cert.isEmpty() != tls.key.isEmpty())
        return usageError(QStringLiteral("--tls-cert and --tls-key go together"));

    quietDicomLogging();
    CloudService service(parser.isSet(QStringLiteral("data")) ? parser.value(QStringLiteral("data"))
                                                               : QStringLiteral("cloud-data"));
    if (!service.isReady()) {
        std::fprintf(stderr, "cloud-service: %s\n", qPrintable(service.errorString()));
        return 1;
    }
    if (parser.isSet(QStringLiteral("accounts"))) {
        std::map<QString, QString> accounts;
        QString error;
        if (!loadAccounts(parser.value(QStringLiteral("accounts")), &accounts, &error)) {
            std::fprintf(stderr, "cloud-service: %s\n", qPrintable(error));
            return 1;
        }
        service.setAccounts(std::move(accounts));
    }
    if (parser.isSet(QStringLiteral("seed-study")))
        return seed(service, parser);
    return serve(service, addresses, tls, stopSignals);
}
