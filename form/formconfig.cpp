#include "formconfig.h"

#include <QSettings>

CloudEndpoints defaultEndpoints()
{
    const QString cloud = QStringLiteral("http://127.0.0.1:8082");
    const QString records = QStringLiteral("http://127.0.0.2:8082");

    CloudEndpoints endpoints;
    endpoints.positionUrl = cloud + QStringLiteral("/kelva/patientmanagerform/getPosition.do");
    endpoints.checkItemUrl = cloud + QStringLiteral("/kelva/patientmanagerform/getCheckitem.do");
    endpoints.modifyUrl = cloud + QStringLiteral("/kelva/individual/modifyStudyInfo.do");
    endpoints.checkNumUrl = cloud + QStringLiteral("/kelva/individual/findCheckNum4Unique?");
    endpoints.studyInfoUrl = records + QStringLiteral("/kelva/individual/getStudyInfo.do?");
    return endpoints;
}

void readEndpoints(const CloudData& data, CloudEndpoints& endpoints)
{
    if (data.path.isEmpty())
        return;

    const QSettings ini(data.path, QSettings::IniFormat);
    const auto text = [&ini](const char* key) { return ini.value(QLatin1String(key), QString()).toString(); };
    endpoints.positionUrl = text("cloud/positionDownLoadUrl");
    endpoints.checkItemUrl = text("cloud/checkItemDownLoadUrl");
    endpoints.modifyUrl = text("cloud/uploadCurl");
    endpoints.checkNumUrl = text("cloud/getcheckNumCurl");
    endpoints.studyInfoUrl = text("cloud/getCloudPatientInfoCurl");
}

bool calendarSwitchedOff(const QString& appDir)
{
    const QString path = findSettingsFile(appDir, QStringLiteral("main.ini"));
    if (path.isEmpty())
        return false;
    const QSettings ini(path, QSettings::IniFormat);
    return ini.value(QStringLiteral("cloudPatient/cloud")).toString() == QLatin1String("0");
}
