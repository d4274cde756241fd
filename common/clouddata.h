#ifndef CLOUDDATA_H
#define CLOUDDATA_H

#include <QString>

// The settings file @p name in @p appDir + "/config/", else in @p appDir +
// "/../config/"; empty when neither exists.
QString findSettingsFile(const QString& appDir, const QString& name);

// Upload settings when clouddata.ini does not give them, and the most it may ask for.
constexpr int defaultUploadConnections = 4;
constexpr int maxUploadConnections = 32;
constexpr int defaultUploadRetries = 2;
constexpr int maxUploadRetries = 10;

// What the form and the cloud client library both read from clouddata.ini.
struct CloudData
{
    QString path;             // the clouddata.ini read; empty when there is none
    QString assistUrl;        // cloud/assistUrl as written; empty when missing
    long requestTimeout = 0;  // cloud/requestTimeout in seconds when a positive whole number; else 0
    // cloud/caFile, a relative path taken from the folder of path; empty when
    // missing or empty (libcurl's default trust store)
    QString caFile;
    // cloud/uploadConnections when a positive whole number (at most maxUploadConnections); else the default
    int uploadConnections = defaultUploadConnections;
    // cloud/uploadRetries when a whole number from 0 (at most maxUploadRetries); else the default
    int uploadRetries = defaultUploadRetries;
};

// Reads clouddata.ini from @p appDir's config folders; without a file, the defaults above.
CloudData readCloudData(const QString& appDir);

#endif
