#ifndef FORMCONFIG_H
#define FORMCONFIG_H

#include <QString>

// The five endpoints of the cloud service, and the optional request bound.
struct CloudEndpoints
{
    QString positionUrl;
    QString checkItemUrl;
    QString modifyUrl;
    QString checkNumUrl;
    QString studyInfoUrl;
    long requestTimeout = 0;  // cloud/requestTimeout, seconds; 0: unbounded
};

// Built-in endpoints: 127.0.0.1:8082 for four of them, 127.0.0.2:8082 for the study record.
CloudEndpoints defaultEndpoints();

// The settings file @p name in @p appDir + "/config/", else in @p appDir +
// "/../config/"; empty when neither exists.
QString findSettingsFile(const QString& appDir, const QString& name);

// Reads clouddata.ini over @p endpoints. Without a file nothing changes; with
// one, every key replaces its endpoint, a missing key by "".
void readEndpoints(const QString& appDir, CloudEndpoints& endpoints);

// True when main.ini sets cloudPatient/cloud to exactly "0".
bool calendarSwitchedOff(const QString& appDir);

#endif
