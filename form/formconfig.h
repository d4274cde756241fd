#ifndef FORMCONFIG_H
#define FORMCONFIG_H

#include "clouddata.h"

#include <QString>

// The five endpoints of the cloud service.
struct CloudEndpoints
{
    QString positionUrl;
    QString checkItemUrl;
    QString modifyUrl;
    QString checkNumUrl;
    QString studyInfoUrl;
};

// Built-in endpoints: 127.0.0.1:8082 for four of them, 127.0.0.2:8082 for the study record.
CloudEndpoints defaultEndpoints();

// Reads the endpoints of the clouddata.ini that @p data names over @p endpoints.
// Without a file nothing changes; with one, every key replaces its endpoint, a
// missing key by "".
void readEndpoints(const CloudData& data, CloudEndpoints& endpoints);

// True when main.ini sets cloudPatient/cloud to exactly "0".
bool calendarSwitchedOff(const QString& appDir);

#endif
