#include "cloudpaientinfoform.h"
#include "ui_cloudpaientinfoform.h"

#include "backupfilename.h"
#include "checknumreply.h"
#include "cloudrequest.h"
#include "dictionary.h"
#include "formconfig.h"
#include "httpuploadfile.h"
#include "recordbody.h"
#include "recorddisplay.h"
#include "recordtextdocument.h"
#include "uploadstudyprogressform.h"
#include "zoxmessageboxform.h"

#include <QAbstractTextDocumentLayout>
#include <QCalendarWidget>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPointer>
#include <QSaveFile>
#include <QSqlQuery>
#include <QTextCodec>
#include <QTextStream>
#include <QVariant>

#include <iterator>
#include <optional>

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

// Replaces the file at once (temporary file, then rename), in the locale's
// encoding; a file that cannot be replaced keeps what it had. The flush is
// checked here: QSaveFile's commit renames a file whose last write failed.
bool replaceLocaleFile(const QString& path, const QString& text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QTextStream out(&file);
    out << text;
    out.flush();
    return out.status() == QTextStream::Ok && file.flush() && file.commit();
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

// A dictionary download that may replace its file: a 2xx reply that the form's
// own reader takes as an array.
std::optional<QString> usableDictionary(const CloudReply& reply, Dictionary (*parse)(const QString&))
{
    if (!isSuccessful(reply))
        return std::nullopt;
    QString text = utf8UpToNul(reply.body);
    const Dictionary dictionary = parse(text);
    if (!dictionary.valid || !dictionary.array)
        return std::nullopt;
    return text;
}

QString textToSave(const QTextEdit* edit)
{
    return static_cast<const RecordTextDocument*>(edit->document())->textToSave();
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
    for (QTextEdit* edit : {ui->symptomTextEdit, ui->checkResultTextEdit, ui->diagnoseTextEdit}) {
        auto* document = new RecordTextDocument(edit);
        edit->setDocument(document);
        // What QTextEdit gives the document it makes itself, so that text looks the same.
        document->setDefaultFont(edit->font());
        document->documentLayout()->setPaintDevice(edit->viewport());
    }
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
        // The host may delete the form while the box is open.
        const QPointer<CloudPaientInfoForm> alive(this);
        const int answer = showWarning(QStringLiteral(
            "The information did not exist in Cloud, you have to upload the images to edit the information!"));
        if (!alive || answer != 1)
            return;
        uploadStudyImages();
        // Whatever this second lookup says goes on; "{}" again leaves the
        // record to the upload's own end.
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
    // A finished upload reaches every form that ever opened a study.
    if (sender() && sender() == UploadStudyProgressForm::getInstance())
        return takeUploadReply(checknum);

    // The record is here: an upload of this study no longer decides it.
    if (classifyCheckNumReply(QString::fromUtf8(upToNul(checknum))) == CheckNumReply::Known) {
        for (auto it = ownUploads.begin(); it != ownUploads.end();)
            it = it.value() == studyUid ? ownUploads.erase(it) : std::next(it);
    }
    loadCheckNum(checknum);
}

// Only the form that started the upload acts on its end, once, and only for
// the study it still shows; the cloud then names the serial number itself.
void CloudPaientInfoForm::takeUploadReply(const QByteArray& checknum)
{
    const std::optional<int> task = UploadStudyProgressForm::getInstance()->finishedTaskId();
    if (!task || !ownUploads.contains(*task))
        return;
    const QString uid = ownUploads.take(*task);
    // "{}": nothing was sent, and the progress window shows the failures.
    const bool nothingSent = classifyCheckNumReply(QString::fromUtf8(upToNul(checknum))) == CheckNumReply::NotInCloud;
    if (uid != studyUid || nothingSent)
        return;
    const std::string lookup = queryCheckNum(checkNumUrl, studyUid);
    if (classifyCheckNumReply(utf8Text(lookup)) == CheckNumReply::Known)
        loadCheckNum(QByteArray::fromStdString(lookup));
}

void CloudPaientInfoForm::loadCheckNum(const QByteArray& checknum)
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
    showRecordText(ui->checkResultTextEdit, record.relevantResult);
    showRecordText(ui->diagnoseTextEdit, record.prediagnose);
    ui->patientNameLineEdit->setText(record.patientName);
    ui->sexComboBox->setCurrentText(record.sex);
    showRecordText(ui->symptomTextEdit, record.abstractHistory);

    if (ui->patientNameLineEdit->text().isEmpty() || ui->checkIDLineEdit->text().isEmpty())
        hide();
    else
        show();
    defaultAgeToOne();
}

// As QTextEdit::setText shows it, unless the field could not lay it out
// quickly: then as plain text, wrapped anywhere, kept as it came for the save.
void CloudPaientInfoForm::showRecordText(QTextEdit* edit, const QString& text)
{
    auto* document = static_cast<RecordTextDocument*>(edit->document());
    if (!needsPlainDisplay(text, Qt::mightBeRichText(text))) {
        document->forgetOriginal();
        edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        edit->setText(text);
        return;
    }
    // Cleared first, so that the new options do not lay the old text out again;
    // the scroll bar a long text needs is there from the start, so that its
    // appearing does not either.
    edit->clear();
    edit->setWordWrapMode(QTextOption::WrapAnywhere);
    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit->setPlainText(text);
    document->keepOriginal(text);
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
    const int taskId = progress->nextStudyTaskId();
    progress->addUploadTask(files, patientName, QByteArray());
    if (progress->nextStudyTaskId() != taskId)
        ownUploads.insert(taskId, studyUid);
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

CloudReply CloudPaientInfoForm::downloadDictionary(QString url, std::string session)
{
    return performCloudRequest(cloudRequest(url, std::move(session)));
}

// Saved only when the service took the record: a completed transfer with a 2xx status.
bool CloudPaientInfoForm::postStudyInfo(QString url, std::string session)
{
    CloudRequest request = cloudRequest(url, std::move(session));
    request.postBody = postBody.constData();
    return isSuccessful(performCloudRequest(request));
}

// A download that failed, is not 2xx or is no dictionary leaves its file as it was.
bool CloudPaientInfoForm::refreshDictionaries()
{
    const std::optional<QString> checkItems =
        usableDictionary(downloadDictionary(checkItemUrl, sessionId), parseCheckItems);
    const std::optional<QString> positions = usableDictionary(downloadDictionary(positionUrl, sessionId), parsePositions);
    const bool itemsWritten = checkItems && replaceLocaleFile(checkItemFilePath(), *checkItems);
    const bool positionsWritten = positions && replaceLocaleFile(positionFilePath(), *positions);
    return itemsWritten && positionsWritten;
}

void CloudPaientInfoForm::on_enterPushButton_clicked()
{
    requiredTexts[0] = ui->patientNameLineEdit->text();
    requiredTexts[1] = ui->symptomTextEdit->toPlainText();
    if (requiredTexts[1].isEmpty() || requiredTexts[1] == QLatin1String(" ")) {
        showWarning(QStringLiteral("Patient Symptom is required!"));
        return;
    }
    // The host may delete the form while a box is open.
    const QPointer<CloudPaientInfoForm> alive(this);
    if (!confirmSave() || !alive)
        return;

    buildPostBody();
    // The backup and its index row come first, so that they remain when the
    // post fails; the file holds exactly the bytes that are sent.
    const bool backedUp = writeBackupFile();
    const bool indexed = insertPatientInfoIndex(studyUid, risCheckSerialNum, backupFilePath) == 1;
    if (!postStudyInfo(modifyUrl, sessionId)) {
        showWarning(QStringLiteral("Net connect error,please check again!"));
        return;
    }
    refreshDictionaries();
    const bool patientUpdated = updatePatientNameSex();
    if (!backedUp || !indexed || !patientUpdated) {
        showWarning(QStringLiteral("Saved in Cloud, but the local copy could not be kept!"));
        if (!alive)
            return;
    }
    close();
}

bool CloudPaientInfoForm::confirmSave() const
{
    return zoxMessageBoxForm::question(nullptr, hintTitle, QStringLiteral("Are you sure to SAVE ALL ?"), 3, 1) == 1;
}

void CloudPaientInfoForm::buildPostBody()
{
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
    setValue("abstracthistory", textToSave(ui->symptomTextEdit));
    setValue("relevantresult", textToSave(ui->checkResultTextEdit));
    setValue("prediagnose", textToSave(ui->diagnoseTextEdit));
    setValue("checkserialnum", ui->checkIDLineEdit->text());

    postBody = buildRecordBody(postObject, recordKeys, recordValues);
    postDocument = QJsonDocument(postObject);
}

// A failed write, flush or commit leaves the earlier backup as it was (see
// replaceLocaleFile); the file holds patient data, so only its owner may read it.
bool CloudPaientInfoForm::writeBackupFile()
{
    QDir().mkdir(QStringLiteral("../backup"));
    const QString name = QStringLiteral("../backup/") + backupFileName(studyUid);
    backupFilePath = QFileInfo(name).absoluteFilePath();
    QSaveFile backup(name);
    // A writable file in a folder that is not is written in place.
    backup.setDirectWriteFallback(true);
    return backup.open(QIODevice::WriteOnly) && backup.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
           && backup.write(postBody) == postBody.size() && backup.flush() && backup.commit();
}

int CloudPaientInfoForm::insertPatientInfoIndex(QString uid, QString checkSerialNum, QString path)
{
    QSqlQuery query;
    query.prepare(QStringLiteral(
        "INSERT INTO patientinfoindex (StudyUID,CheckSerialNum,PatientInfoPath) VALUES (:uid,:serial,:path)"));
    query.bindValue(QStringLiteral(":uid"), uid);
    query.bindValue(QStringLiteral(":serial"), checkSerialNum);
    query.bindValue(QStringLiteral(":path"), path);
    return query.exec() ? 1 : 0;
}

bool CloudPaientInfoForm::updatePatientNameSex()
{
    // The host hands over the study's key; its patient row is found through it.
    QSqlQuery query;
    query.prepare(QStringLiteral(
        "UPDATE patient SET PatientName=:name,PatientSex=:sex "
        "WHERE pk = (SELECT patient_fk FROM generalstudy WHERE pk = :studyKey)"));
    query.bindValue(QStringLiteral(":name"), recordValues[recordKeys.indexOf(QLatin1String("patientname"))]);
    query.bindValue(QStringLiteral(":sex"), recordValues[recordKeys.indexOf(QLatin1String("sex"))]);
    query.bindValue(QStringLiteral(":studyKey"), studyKey);
    return query.exec();
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
