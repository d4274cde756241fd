#ifndef SERVICEOPTIONS_H
#define SERVICEOPTIONS_H

#include <QString>

#include <map>

struct ListenAddress
{
    QString host;
    int port = 0;
};

// "ADDR:PORT" or "[IPv6]:PORT" with a port from 0 (any free one) to 65535.
bool parseListenAddress(const QString& text, ListenAddress* address);

// User names and passwords: a JSON file holding one object {"user": "password"},
// or (any other suffix) an INI file with an [accounts] section of user=password
// lines. False with the reason when the file is unreadable, malformed or empty.
bool loadAccounts(const QString& path, std::map<QString, QString>* accounts, QString* error);

#endif
