#ifndef FORMFILES_H
#define FORMFILES_H

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The files a study form reads beside the program that loads it
// (QCoreApplication::applicationDirPath()): clouddata.ini and main.ini in
// <app dir>/config, the two dictionaries and proxy.txt in <app dir>/../config.
// The one writer of them for the tests, the benchmark, the workstation and
// the form-settings tool (which the demo and the installed examples use).
struct FormFiles
{
    using Settings = QList<QPair<QString, QString>>;

    // The cloud service's paths of the form's five endpoints.
    enum Endpoint { Position, CheckItem, Modify, Lookup, Record };
    static QString endpointPath(Endpoint endpoint);

    enum Dictionary { CheckItems, Positions };

    // <app dir> followed by @p folder, e.g. dir("/config").
    static QString dir(const char* folder);
    static QString settingsFile();
    static QString checkItemFile();
    static QString positionFile();
    static QString proxyFile();
    // Every file a form may read, both places of the settings files included.
    static QStringList all();

    // Three examination items and two body positions.
    static QByteArray checkItems();
    static QByteArray positions();

    static bool write(const QString& path, const QByteArray& bytes);
    static QByteArray read(const QString& path);
    static bool writeDictionaries(const QByteArray& items = checkItems(), const QByteArray& places = positions());
    // "[]" for each dictionary that is missing, so that a new form starts
    // without a warning; existing files stay as they are.
    static bool writeMissingDictionaries();
    // Every endpoint on @p base, the image upload at @p assist, a request
    // bound of @p timeout seconds (none when 0), then @p extra keys of the
    // [cloud] section.
    static bool writeEndpoints(const QString& base, const char* assist = "/assist/upload", int timeout = 10,
                               const Settings& extra = {});
    // The text writeEndpoints() writes; @p commented explains every key.
    static QByteArray cloudData(const QString& base, const QString& assist, int timeout, const Settings& extra = {},
                                bool commented = false);

    // A dictionary file's JSON array naming @p names in order, with the
    // positions "0", "1", ... as ids, as the cloud numbers them.
    static QString dictionaryJson(Dictionary dictionary, const QStringList& names);
    // @p text in GBK, the encoding of the dictionary files.
    static QByteArray gbk(const QString& text);

    // Removes both config folders.
    static void clear();
};

#endif
