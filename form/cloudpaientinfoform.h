#ifndef CLOUDPAIENTINFOFORM_H
#define CLOUDPAIENTINFOFORM_H

#include <cloudpatient/cloudpatienthost.h>

#include "studyrecord.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPoint>
#include <QStringList>
#include <QVector>

#include <string>

class QMouseEvent;
class QTextEdit;
struct CloudReply;
struct CloudRequest;
namespace Ui { class CloudPaientInfoForm; }

// The study-information form: shows and saves the cloud record of one study.
class CloudPaientInfoForm : public CloudPatientHost
{
    Q_OBJECT

public:
    explicit CloudPaientInfoForm(QWidget* parent = nullptr);
    ~CloudPaientInfoForm() override;

    void loadCheckItems(QString json) override;
    void loadPositions(QString json) override;
    void setStudyUid(QString uid) override;
    void setSessionId(QByteArray id) override;
    void setPatientName(QString name) override;
    void setJoinedText(QString first, QString second) override;
    void setTextPair(QString first, QString second) override;
    void setExtraText(QString text) override;
    void setStudyKey(qint64 key) override;
    void openStudy(QByteArray sessionId, QString studyUid) override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private slots:
    void onCheckNum(QByteArray checknum);
    void on_cancelPushButton_clicked();
    void on_closeButton_clicked();
    void setdate();
    void on_datePushButton_clicked();
    void on_enterPushButton_clicked();

private:
    friend struct CloudPaientInfoFormTestAccess;

    void readConfig();
    bool readDictionaryFiles();
    void defaultAgeToOne();
    int showWarning(const QString& text) const;

    void loadCheckNum(const QByteArray& checknum);
    void takeUploadReply(const QByteArray& checknum);
    void showRecordText(QTextEdit* edit, const QString& text);

    CloudRequest cloudRequest(const QString& url, std::string sessionId) const;

    std::string queryCheckNum(QString url, QString studyUid);
    std::string queryStudyInfo(QString url, std::string sessionId, QString checkSerialNum);
    CloudReply downloadDictionary(QString url, std::string sessionId);
    bool postStudyInfo(QString url, std::string sessionId);

    // The steps of a save, in order; each says whether it did its part.
    bool confirmSave() const;
    void buildPostBody();
    bool writeBackupFile();
    int insertPatientInfoIndex(QString studyUid, QString checkSerialNum, QString path);
    bool refreshDictionaries();
    bool updatePatientNameSex();

    void uploadStudyImages();

    StudyRecord record;
    Ui::CloudPaientInfoForm* ui;
    bool dragging = false;
    QPoint dragOffset;
    QString hintTitle;
    QJsonObject postObject;
    std::string studyInfoReply;
    QJsonDocument postDocument;
    QByteArray postBody;
    QStringList recordKeys;
    QStringList recordValues;
    QStringList checkItemIds;
    QStringList checkItemNames;
    QVector<QString> positionIds;
    QVector<QString> positionNames;
    QStringList requiredTexts;
    QStringList ageUnits;
    QString positionUrl;
    QString checkItemUrl;
    QString modifyUrl;
    QString checkNumUrl;
    QString studyInfoUrl;
    std::string sessionId;
    std::string checkNumReply;
    QString risCheckSerialNum;
    QString studyUid;
    QString patientName;
    QString joinedSecond;
    QString joinedFirst;
    QString joinedText;
    QString pairFirst;
    QString pairSecond;
    QString extraText;
    QString backupFilePath;
    qint64 studyKey = 0;
    int maxAge = 200;
    int checkItemCount = 0;
    int positionCount = 0;
    std::string proxyUrl;
    std::string proxyUserPwd;
    std::string proxyKind;
    long requestTimeout = 0;
    std::string caFile;  // local file encoding; empty: libcurl's default trust store
    // Uploads this form started and still waits for: task id, study UID.
    QHash<int, QString> ownUploads;
};

#endif
