#include "cloudpaientinfoform.h"
#include "ui_cloudpaientinfoform.h"

#include "checknumreply.h"
#include "cloudrequest.h"
#include "dictionary.h"
#include "formconfig.h"
#include "httpuploadfile.h"
#include "recordbody.h"
#include "uploadstudyprogressform.h"
#include "zoxmessageboxform.h"

#include <QCalendarWidget>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QSaveFile>
#include <QSqlQuery>
#include <QTextCodec>
#include <QTextStream>
#include <QVariant>

#include <iterator>

namespace {

// What the most recent form read from the two dictionary files.
QString& checkItemJsonText()
{
    static QString text;
    return text;
}

QString& positionJsonText()
{
    static QString text;
    return text;
}

QString checkItemFilePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../config/cloudCheckItem.json");
}

QString positionFilePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../config/cloudPositionItem.json");
}

// The whole file decoded as GBK; false when it cannot be opened for reading.
bool readGbkFile(const QString& path, QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    file.close();
    const QTextCodec* gbk = QTextCodec::codecForName("GBK");
    text = gbk ? gbk->toUnicode(bytes) : QString::fromLatin1(bytes);
    return true;
}

// Truncates and rewrites the file in the locale's encoding; a file that
// cannot be opened keeps what it had.
void writeLocaleFile(const QString& path, const QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QTextStream out(&file);
    out << text;
}

QByteArray upToNul(const QByteArray& bytes)
{
    const int nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

QString utf8UpToNul(const std::string& bytes)
{
    return QString::fromUtf8(upToNul(QByteArray::fromStdString(bytes)));
}

QString utf8Text(const std::string& bytes)
{
    return QString::fromUtf8(bytes.data(), int(bytes.size()));
}

std::string utf8Bytes(const QString& text)
{
    return text.toUtf8().toStdString();
}

QStringList toStringList(const QVector<QString>& texts)
{
    return QStringList(QList<QString>(texts.begin(), texts.end()));
}

// A record's id names the entry at that position; an id outside the list
// leaves the box without selection.
void showEntry(QComboBox* box, const QStringList& names, int id)
{
    const QString name = nameForId(names, id);
    if (name.isNull())
        box->setCurrentIndex(-1);
    else
        box->setCurrentText(name);
}

} // namespace

CloudPaientInfoForm::CloudPaientInfoForm(QWidget* parent)
    : CloudPatientHost(parent),
      ui(new Ui::CloudPaientInfoForm),
      hintTitle(QStringLiteral("System Hint"))
{
    ui->setupUi(this);
    readConfig();

    dragging = false;
    ui->checkCalendarWidget->hide();
    connect(ui->datePushButton, SIGNAL(clicked()), ui->checkCalendarWidget, SLOT(show()));
    ui->checkCalendarWidget->setSelectionMode(QCalendarWidget::SingleSelection);
    connect(ui->checkCalendarWidget, SIGNAL(clicked(const QDate&)), this, SLOT(setdate()));

    recordKeys = QStringList{
        QStringLiteral("patientname"),     QStringLiteral("sex"),
        QStringLiteral("age"),             QStringLiteral("ageunit"),
        QStringLiteral("studytime"),       QStringLiteral("studypositionid"),
        QStringLiteral("checkitemid"),     QStringLiteral("abstracthistory"),
        QStringLiteral("relevantresult"),  QStringLiteral("prediagnose"),
        QStringLiteral("checkserialnum"),
    };
    for (int i = 0; i < recordKeys.size(); ++i)
        recordValues << QStringLiteral(" ");

    ui->sexComboBox->addItems({QStringLiteral("F"), QStringLiteral("M"), QStringLiteral("O")});
    ageUnits = QStringList{QStringLiteral("Y"), QStringLiteral("M"), QStringLiteral("D"),
                           QStringLiteral("H"), QStringLiteral("Unclear")};
    ui->ageUnitComboBox->addItems(ageUnits);
    for (int age = 1; age < maxAge; ++age)
        ui->ageComboBox->addItem(QString::number(age));

    requiredTexts = QStringList{QString(), QString()};
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);

    // Without both dictionary files the form stays usable but half set up.
    if (!readDictionaryFiles())
        return;
    loadCheckItems(checkItemJsonText());
    loadPositions(positionJsonText());

    if (calendarSwitchedOff(QCoreApplication::applicationDirPath()))
        ui->datePushButton->setEnabled(false);
    defaultAgeToOne();
}

CloudPaientInfoForm::~CloudPaientInfoForm()
{
    delete ui;
}

void CloudPaientInfoForm::readConfig()
{
    const CloudData data = readCloudData(QCoreApplication::applicationDirPath());
    CloudEndpoints endpoints = defaultEndpoints();
    readEndpoints(data, endpoints);
    positionUrl = endpoints.positionUrl;
    checkItemUrl = endpoints.checkItemUrl;
    modifyUrl = endpoints.modifyUrl;
    checkNumUrl = endpoints.checkNumUrl;
    studyInfoUrl = endpoints.studyInfoUrl;
    requestTimeout = data.requestTimeout;
    caFile = QFile::encodeName(data.caFile).toStdString();

    // The form's own requests go through the same proxy as the uploads.
    const HttpUploadFile* client = HttpUploadFile::instance();
    proxyUrl = utf8Bytes(client->getProxyURL());
    const QString proxyUser = client->getProxyUser();
    if (!proxyUser.isEmpty())
        proxyUserPwd = utf8Bytes(proxyUser + QLatin1Char(':') + client->getProxyPassword());
    proxyKind = utf8Bytes(client->getProxyType());
}

bool CloudPaientInfoForm::readDictionaryFiles()
{
    if (!readGbkFile(checkItemFilePath(), checkItemJsonText())) {
        showWarning(QStringLiteral("cloudCheckItem.json read error!"));
        return false;
    }
    if (!readGbkFile(positionFilePath(), positionJsonText())) {
        showWarning(QStringLiteral("cloudPositionItem.json read error!"));
        return false;
    }
    return true;
}

void CloudPaientInfoForm::defaultAgeToOne()
{
    if (ui->ageComboBox->currentText().toInt() == 0)
        ui->ageComboBox->setCurrentText(QStringLiteral("1"));
}

int CloudPaientInfoForm::showWarning(const QString& text) const
{
    return zoxMessageBoxForm::warning(nullptr, hintTitle, text, 1, 1);
}

void CloudPaientInfoForm::loadCheckItems(QString json)
{
    const Dictionary items = parseCheckItems(json);
    if (!items.valid) {
        showWarning(QStringLiteral("CheckItem Json transform error!"));
        return;
    }
    // A further load adds its entries behind those already held, in the lists
    // and the box alike, so that both keep the same order.
    checkItemIds += items.ids;
    checkItemNames += items.names;
    checkItemCount = checkItemNames.size();
    ui->checkItemComboBox->addItems(items.names);
}

void CloudPaientInfoForm::loadPositions(QString json)
{
    Dictionary positions = parsePositions(json);
    if (!positions.valid) {
        showWarning(QStringLiteral("PositionType Json transform error!"));
        return;
    }
    positionCount = positions.names.size();
    ui->studyPositionComboBox->addItems(positions.names);
    // Moved, not copied: ten thousand entries otherwise cost as many reference counts.
    positionIds = QVector<QString>(std::make_move_iterator(positions.ids.begin()),
                                   std::make_move_iterator(positions.ids.end()));
    positionNames = QVector<QString>(std::make_move_iterator(positions.names.begin()),
                                     std::make_move_iterator(positions.names.end()));
}

void CloudPaientInfoForm::setStudyUid(QString uid)
{
    studyUid = uid;
}

void CloudPaientInfoForm::setSessionId(QByteArray id)
{
    sessionId = id.toStdString();
}

void CloudPaientInfoForm::setPatientName(QString name)
{
    patientName = name;
}

void CloudPaientInfoForm::setJoinedText(QString first, QString second)
{
    joinedFirst = first;
    joinedSecond = second;
    joinedText = first + QLatin1Char(' ') + second;
}

void CloudPaientInfoForm::setTextPair(QString first, QString second)
{
    pairFirst = first;
    pairSecond = second;
}

void CloudPaientInfoForm::setExtraText(QString text)
{
    extraText = text;
}

void CloudPaientInfoForm::setStudyKey(qint64 key)
{
    studyKey = key;
}

void CloudPaientInfoForm::openStudy(QByteArray session, QString uid)
{
    HttpUploadFile::instance()->setJsessionid(session);
    setSessionId(session);
    setStudyUid(uid);

    checkNumReply = queryCheckNum(checkNumUrl, uid);
    QString reply = utf8Text(checkNumReply);
    const CheckNumReply kind = classifyCheckNumReply(reply);

    // Every call adds a connection; a finished upload then reaches
    // onCheckNum once per call made on this form.
    connect(UploadStudyProgressForm::getInstance(), SIGNAL(sCheckNum(QByteArray)),
            this, SLOT(onCheckNum(QByteArray)));

    if (kind == CheckNumReply::NotInCloud) {
        const int answer = showWarning(QStringLiteral(
            "The information did not exist in Cloud, you have to upload the images to edit the information!"));
        if (answer != 1)
            return;
        uploadStudyImages();
        // Whatever this second lookup says goes on; "{}" again leaves the
        // record to the upload's own reply.
        checkNumReply = queryCheckNum(checkNumUrl, uid);
        reply = utf8Text(checkNumReply);
    } else if (kind == CheckNumReply::Error) {
        showWarning(QStringLiteral("CheckSerialNum Query Error!"));
        return;
    }
    onCheckNum(reply.toLatin1());
}

void CloudPaientInfoForm::onCheckNum(QByteArray checknum)
{
    checkNumReply = upToNul(checknum).toStdString();
    const QString reply = utf8Text(checkNumReply);
    if (classifyCheckNumReply(reply) == CheckNumReply::NotInCloud)
        return;

    risCheckSerialNum = cutSerialNumber(reply);
    studyInfoReply = queryStudyInfo(studyInfoUrl, sessionId, risCheckSerialNum);
    record = readStudyRecord(QByteArray::fromStdString(studyInfoReply));

    if (record.checkItemId >= 0) {
        showEntry(ui->checkItemComboBox, checkItemNames, record.checkItemId);
        UploadStudyProgressForm::getInstance()->hide();
    } else {
        ui->checkItemComboBox->setCurrentIndex(-1);
    }
    showEntry(ui->studyPositionComboBox, toStringList(positionNames), record.studyPositionId);

    ui->checkIDLineEdit->clear();
    ui->checkIDLineEdit->insert(risCheckSerialNum);
    ui->ageComboBox->setCurrentText(QString::number(record.age));
    ui->ageUnitComboBox->setCurrentText(record.ageUnit);
    ui->checkDateTimeEdit->setDateTime(QDateTime::fromMSecsSinceEpoch(studyTimeMsecs(record.studyTime)));
    ui->checkResultTextEdit->setText(record.relevantResult);
    ui->diagnoseTextEdit->setText(record.prediagnose);
    ui->patientNameLineEdit->setText(record.patientName);
    ui->sexComboBox->setCurrentText(record.sex);
    ui->symptomTextEdit->setText(record.abstractHistory);

    if (ui->patientNameLineEdit->text().isEmpty() || ui->checkIDLineEdit->text().isEmpty())
        hide();
    else
        show();
    defaultAgeToOne();
}

void CloudPaientInfoForm::uploadStudyImages()
{
    const QString key = QLatin1Char('\'') + QString::number(studyKey) + QLatin1Char('\'');

    QStringList files;
    QSqlQuery images(QStringLiteral(
        "SELECT imageformat.FilePath FROM generalstudy inner join generalseries inner join imageformat "
        "WHERE generalstudy.pk=generalseries.study_fk and generalseries.pk=imageformat.series_fk "
        "and generalstudy.pk=") + key);
    while (images.next())
        files << images.value(0).toString();

    QSqlQuery names(QStringLiteral(
        "SELECT patient.PatientName FROM patient inner join generalstudy "
        "WHERE patient.pk=generalstudy.patient_fk and generalstudy.pk=") + key);
    while (names.next())
        patientName = names.value(0).toString();

    UploadStudyProgressForm* progress = UploadStudyProgressForm::getInstance();
    if (progress->isMinimized())
        progress->showNormal();
    else
        progress->show();
    progress->addUploadTask(files, patientName, QByteArray());
}

CloudRequest CloudPaientInfoForm::cloudRequest(const QString& url, std::string session) const
{
    CloudRequest request;
    request.url = utf8Bytes(url);
    request.sessionId = std::move(session);
    request.proxy.url = proxyUrl;
    request.proxy.userPwd = proxyUserPwd;
    request.proxy.kind = proxyKind;
    request.timeoutSeconds = requestTimeout;
    request.caFile = caFile;
    return request;
}

std::string CloudPaientInfoForm::queryCheckNum(QString url, QString uid)
{
    return performCloudRequest(cloudRequest(url + QStringLiteral("studyinstanceuid=") + uid, sessionId)).body;
}

std::string CloudPaientInfoForm::queryStudyInfo(QString url, std::string session, QString checkSerialNum)
{
    return performCloudRequest(
               cloudRequest(url + QStringLiteral("checkserialnum=") + checkSerialNum, std::move(session)))
        .body;
}

std::string CloudPaientInfoForm::downloadDictionary(QString url, std::string session)
{
    return performCloudRequest(cloudRequest(url, std::move(session))).body;
}

bool CloudPaientInfoForm::postStudyInfo(QString url, std::string session)
{
    CloudRequest request = cloudRequest(url, std::move(session));
    request.postBody = postBody.constData();
    return performCloudRequest(request).completed;
}

void CloudPaientInfoForm::refreshDictionaries()
{
    const QString checkItems = utf8UpToNul(downloadDictionary(checkItemUrl, sessionId));
    const QString positions = utf8UpToNul(downloadDictionary(positionUrl, sessionId));
    writeLocaleFile(checkItemFilePath(), checkItems);
    writeLocaleFile(positionFilePath(), positions);
}

void CloudPaientInfoForm::on_enterPushButton_clicked()
{
    requiredTexts[0] = ui->patientNameLineEdit->text();
    requiredTexts[1] = ui->symptomTextEdit->toPlainText();
    if (requiredTexts[1].isEmpty() || requiredTexts[1] == QLatin1String(" ")) {
        showWarning(QStringLiteral("Patient Symptom is required!"));
        return;
    }
    if (zoxMessageBoxForm::question(nullptr, hintTitle, QStringLiteral("Are you sure to SAVE ALL ?"), 3, 1) != 1)
        return;

    const auto setValue = [this](const char* key, const QString& value) {
        recordValues[recordKeys.indexOf(QLatin1String(key))] = value;
    };
    setValue("checkitemid", idForName(checkItemNames, checkItemIds, checkItemCount,
                                      ui->checkItemComboBox->currentText()));
    setValue("studypositionid", idForName(toStringList(positionNames), toStringList(positionIds),
                                          positionCount, ui->studyPositionComboBox->currentText()));
    setValue("patientname", ui->patientNameLineEdit->text());
    setValue("sex", ui->sexComboBox->currentText());
    setValue("age", ui->ageComboBox->currentText());
    setValue("ageunit", ui->ageUnitComboBox->currentText());
    setValue("studytime", ui->checkDateTimeEdit->text());
    setValue("abstracthistory", ui->symptomTextEdit->toPlainText());
    setValue("relevantresult", ui->checkResultTextEdit->toPlainText());
    setValue("prediagnose", ui->diagnoseTextEdit->toPlainText());
    setValue("checkserialnum", ui->checkIDLineEdit->text());

    postBody = buildRecordBody(postObject, recordKeys, recordValues);
    postDocument = QJsonDocument(postObject);

    // The backup and its index row come first, so that they remain when the
    // post fails; the file holds exactly the bytes that are sent.
    QDir().mkdir(QStringLiteral("../backup"));
    const QString backupName = QStringLiteral("../backup/CloudPatientCaseInfo_") + studyUid + QStringLiteral(".json");
    QSaveFile backup(backupName);
    if (backup.open(QIODevice::WriteOnly)) {
        backup.write(postBody);
        backup.commit();
    }
    backupFilePath = QFileInfo(backupName).absoluteFilePath();
    insertPatientInfoIndex(studyUid, risCheckSerialNum, backupFilePath);

    if (!postStudyInfo(modifyUrl, sessionId)) {
        showWarning(QStringLiteral("Net connect error,please check again!"));
        return;
    }
    refreshDictionaries();
    updatePatientNameSex();
    close();
}

int CloudPaientInfoForm::insertPatientInfoIndex(QString uid, QString checkSerialNum, QString path)
{
    QSqlQuery query;
    query.prepare(QStringLiteral(
        "INSERT INTO patientinfoindex (StudyUID,CheckSerialNum,PatientInfoPath) VALUES (:uid,:serial,:path)"));
    query.bindValue(QStringLiteral(":uid"), uid);
    query.bindValue(QStringLiteral(":serial"), checkSerialNum);
    query.bindValue(QStringLiteral(":path"), path);
    query.exec();
    return 1;
}

void CloudPaientInfoForm::updatePatientNameSex()
{
    // The host hands over the study's key; its patient row is found through it.
    QSqlQuery query;
    query.prepare(QStringLiteral(
        "UPDATE patient SET PatientName=:name,PatientSex=:sex "
        "WHERE pk = (SELECT patient_fk FROM generalstudy WHERE pk = :studyKey)"));
    query.bindValue(QStringLiteral(":name"), recordValues[recordKeys.indexOf(QLatin1String("patientname"))]);
    query.bindValue(QStringLiteral(":sex"), recordValues[recordKeys.indexOf(QLatin1String("sex"))]);
    query.bindValue(QStringLiteral(":studyKey"), studyKey);
    query.exec();
}

void CloudPaientInfoForm::on_cancelPushButton_clicked()
{
    close();
}

void CloudPaientInfoForm::on_closeButton_clicked()
{
    close();
}

void CloudPaientInfoForm::setdate()
{
    ui->checkDateTimeEdit->setDate(ui->checkCalendarWidget->selectedDate());
    ui->checkCalendarWidget->hide();
}

void CloudPaientInfoForm::on_datePushButton_clicked()
{
    ui->checkCalendarWidget->raise();
    ui->checkCalendarWidget->show();
}

void CloudPaientInfoForm::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && ui->titleWidget->underMouse()) {
        dragging = true;
        dragOffset = event->pos();
    }
}

void CloudPaientInfoForm::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging)
        move(event->globalPos() - dragOffset);
}

void CloudPaientInfoForm::mouseReleaseEvent(QMouseEvent*)
{
    dragging = false;
}
