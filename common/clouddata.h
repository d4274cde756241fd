#ifndef CLOUDDATA_H
#define CLOUDDATA_H

#include <QString>

// The settings file @p name in @p appDir + "/config/", else in @p appDir +
// "/../config/"; empty when neither exists.
QString findSettingsFile(const QString& appDir, const QString& name);

// What the form and the cloud client library both read from clouddata.ini.
struct CloudData
{
    QString path;             // the clouddata.ini read; empty when there is none
    QString assistUrl;        // cloud/assistUrl as written; empty when missing
    long requestTimeout = 0;  // cloud/requestTimeout in seconds when a positive whole number; else 0
    // cloud/caFile, a relative path taken from the folder of path; empty when
    // missing or empty (libcurl's default trust store)
    QString caFile;
};

// Reads clouddata.ini from @p appDir's config folders; without a file, the defaults above.
CloudData readCloudData(const QString& appDir);

#endif
