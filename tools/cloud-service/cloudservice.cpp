#include "cloudservice.h"

#include "cloudstudy.h"
#include "dicomstudyinfo.h"
#include "studystore.h"

#include <httplib.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <cstdio>

namespace {

const char* const jsonType = "application/json; charset=utf-8";
const size_t maxUploadBytes = size_t(1) << 30;

// Examination items and body positions; their ids are their positions.
const char* const checkItemNames[] = {"CT平扫", "CT增强", "MR平扫", "MR增强", "DR摄片", "超声检查"};
const char* const positionNames[] = {"头部", "胸部", "腹部", "盆腔", "脊柱", "四肢"};

void reply(httplib::Response& response, int status, const QByteArray& body)
{
    response.status = status;
    response.set_content(body.constData(), static_cast<size_t>(body.size()), jsonType);
}

void fail(httplib::Response& response, int status, const QString& message)
{
    reply(response, status,
          QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}).toJson(QJsonDocument::Compact));
}

template <size_t N>
QByteArray dictionary(const char* const (&names)[N], const char* idKey, const char* nameKey)
{
    QJsonArray entries;
    for (size_t i = 0; i < N; ++i) {
        entries.append(QJsonObject{{QLatin1String(idKey), QString::number(i)},
                                   {QLatin1String(nameKey), QString::fromUtf8(names[i])}});
    }
    return QJsonDocument(entries).toJson(QJsonDocument::Compact);
}

QString sha1Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

// A UID names a folder or file as it is when it looks like one; anything else
// (an upload may carry "../x") is replaced by its hash.
QString pathComponent(const QString& uid)
{
    bool plain = !uid.isEmpty() && uid.size() <= 64 && uid.at(0).isDigit();
    for (const QChar c : uid)
        plain = plain && (c == QLatin1Char('.') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')));
    if (plain)
        return uid;
    return QStringLiteral("x") + sha1Hex(uid.toUtf8());
}

QString newSessionId()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex());
}

// A form field of a urlencoded body, a query or a multipart body.
std::string field(const httplib::Request& request, const char* name)
{
    if (request.has_param(name))
        return request.get_param_value(name);
    if (request.is_multipart_form_data() && request.has_file(name))
        return request.get_file_value(name).content;
    return std::string();
}

QString fromStd(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

} // namespace

std::string sessionIdFromCookie(const std::string& cookieHeader)
{
    static const char name[] = "JSESSIONID=";
    size_t start = 0;
    while (start <= cookieHeader.size()) {
        size_t end = cookieHeader.find(';', start);
        if (end == std::string::npos)
            end = cookieHeader.size();
        const size_t first = cookieHeader.find_first_not_of(" \t", start);
        if (first != std::string::npos && first < end && cookieHeader.compare(first, sizeof name - 1, name) == 0) {
            const size_t value = first + sizeof name - 1;
            const size_t last = cookieHeader.find_last_not_of(" \t", end - 1);
            return last == std::string::npos || last < value ? std::string()
                                                              : cookieHeader.substr(value, last + 1 - value);
        }
        start = end + 1;
    }
    return std::string();
}

CloudService::CloudService(const QString& dataDir) : folder(QDir(dataDir).absolutePath())
{
    accounts[QStringLiteral("demo")] = QStringLiteral("demo");
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("incoming")) || !dir.mkpath(QStringLiteral("studies")))
        error = QStringLiteral("cannot create the data folder %1").arg(folder);
    records = std::make_unique<StudyStore>(dir.filePath(QStringLiteral("cloud.sqlite")));
    if (error.isEmpty() && !records->isOpen())
        error = QStringLiteral("cannot open the database in %1: %2").arg(folder, records->errorString());
}

CloudService::~CloudService() = default;

bool CloudService::isReady() const
{
    return error.isEmpty();
}

QString CloudService::errorString() const
{
    return error;
}

void CloudService::setAccounts(std::map<QString, QString> list)
{
    std::lock_guard<std::mutex> lock(accountsMutex);
    accounts = std::move(list);
}

QString CloudService::seedStudy(const CloudStudy& study, bool* created)
{
    return records->registerStudy(study, created);
}

void CloudService::attach(httplib::Server& server)
{
    using Handler = void (CloudService::*)(const httplib::Request&, httplib::Response&);
    const auto guarded = [this](Handler handler) {
        return [this, handler](const httplib::Request& request, httplib::Response& response) {
            if (!hasLiveSession(request)) {
                fail(response, 401, QStringLiteral("not logged in: no live JSESSIONID session"));
                return;
            }
            (this->*handler)(request, response);
        };
    };
    server.set_payload_max_length(maxUploadBytes);
    server.Post("/kelva/login", [this](const httplib::Request& rq, httplib::Response& rs) { login(rq, rs); });
    server.Get("/kelva/individual/findCheckNum4Unique", guarded(&CloudService::findCheckNumber));
    server.Get("/kelva/individual/getStudyInfo\\.do", guarded(&CloudService::studyInfo));
    server.Get("/kelva/patientmanagerform/getCheckitem\\.do", guarded(&CloudService::checkItems));
    server.Get("/kelva/patientmanagerform/getPosition\\.do", guarded(&CloudService::positions));
    server.Post("/kelva/individual/modifyStudyInfo\\.do", guarded(&CloudService::modifyStudy));
    server.Post("/kelva/upload/uploadImage\\.do", guarded(&CloudService::uploadImage));
}

bool CloudService::hasLiveSession(const httplib::Request& request)
{
    const size_t count = request.get_header_value_count("Cookie");
    for (size_t i = 0; i < count; ++i) {
        const std::string id = sessionIdFromCookie(request.get_header_value("Cookie", i));
        if (!id.empty() && records->hasSession(fromStd(id)))
            return true;
    }
    return false;
}

void CloudService::login(const httplib::Request& request, httplib::Response& response)
{
    const QString user = fromStd(field(request, "user"));
    const QString password = fromStd(field(request, "password"));
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(accountsMutex);
        const auto account = accounts.find(user);
        known = account != accounts.end() && account->second == password;
    }
    if (!known) {
        fail(response, 401, QStringLiteral("wrong user name or password"));
        return;
    }
    const QString id = newSessionId();
    if (!records->addSession(id, user)) {
        fail(response, 500, QStringLiteral("cannot store the session"));
        return;
    }
    response.set_header("Set-Cookie", "JSESSIONID=" + id.toStdString() + "; Path=/");
    reply(response, 200,
          QJsonDocument(QJsonObject{{QStringLiteral("jsessionid"), id}}).toJson(QJsonDocument::Compact));
}

void CloudService::findCheckNumber(const httplib::Request& request, httplib::Response& response)
{
    const auto study = records->studyByUid(fromStd(request.get_param_value("studyinstanceuid")));
    reply(response, 200, study ? checkNumberReply(study->serial) : QByteArray("{}"));
}

void CloudService::studyInfo(const httplib::Request& request, httplib::Response& response)
{
    const auto study = records->studyBySerial(fromStd(request.get_param_value("checkserialnum")));
    reply(response, 200, study ? studyRecordReply(*study) : QByteArray("{}"));
}

void CloudService::checkItems(const httplib::Request&, httplib::Response& response)
{
    reply(response, 200, dictionary(checkItemNames, "checkitemid", "checkitem"));
}

void CloudService::positions(const httplib::Request&, httplib::Response& response)
{
    reply(response, 200, dictionary(positionNames, "positiontypeid", "positiontypename"));
}

void CloudService::modifyStudy(const httplib::Request& request, httplib::Response& response)
{
    CloudStudy edit;
    QString why;
    if (!readRecordBody(QByteArray::fromStdString(request.body), &edit, &why)) {
        fail(response, 400, why);
        return;
    }
    if (!records->updateStudy(edit)) {
        fail(response, 400, QStringLiteral("no study has the checkserialnum \"%1\"").arg(edit.serial));
        return;
    }
    reply(response, 200, QByteArray(R"({"result":"ok"})"));
}

void CloudService::uploadImage(const httplib::Request& request, httplib::Response& response)
{
    if (!request.is_multipart_form_data() || !request.has_file("file")) {
        fail(response, 400, QStringLiteral("expected multipart/form-data with the image in a part named \"file\""));
        return;
    }
    const std::string& content = request.files.find("file")->second.content;
    QTemporaryFile received(QDir(folder).filePath(QStringLiteral("incoming/upload-XXXXXX")));
    if (!received.open()
        || received.write(content.data(), static_cast<qint64>(content.size())) != static_cast<qint64>(content.size())
        || !received.flush()) {
        fail(response, 500, QStringLiteral("cannot keep the upload in %1").arg(folder));
        return;
    }
    DicomStudyInfo info;
    QString why;
    if (!readDicomStudyInfo(received.fileName(), &info, &why)) {
        fail(response, 400, why);
        return;
    }
    const QString sopKey = info.sopInstanceUid.isEmpty()
        ? sha1Hex(QByteArray::fromStdString(content))
        : info.sopInstanceUid;
    const QString relative =
        QStringLiteral("studies/%1/%2.dcm").arg(pathComponent(info.studyUid), pathComponent(sopKey));
    const QString target = QDir(folder).filePath(relative);
    received.close();
    const QByteArray from = QFile::encodeName(received.fileName()), to = QFile::encodeName(target);
    // rename(2) replaces an earlier copy of the same image in one step.
    if (!QDir().mkpath(QFileInfo(target).path()) || std::rename(from.constData(), to.constData()) != 0) {
        fail(response, 500, QStringLiteral("cannot store the image as %1").arg(target));
        return;
    }
    received.setAutoRemove(false);

    CloudStudy seed;
    seed.studyUid = info.studyUid;
    seed.patientName = info.patientName;
    seed.sex = info.sex;
    seed.age = info.age;
    seed.ageUnit = info.ageUnit.isEmpty() ? QStringLiteral("Y") : info.ageUnit;
    seed.studyTime = info.studyTime.value_or(QDateTime::currentSecsSinceEpoch() * 1000);
    const QString serial = records->registerImage(seed, sopKey, relative);
    if (serial.isEmpty()) {
        QFile::remove(target);
        fail(response, 500, QStringLiteral("cannot register the study %1").arg(info.studyUid));
        return;
    }
    reply(response, 200, checkNumberReply(serial));
}
