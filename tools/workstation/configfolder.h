#ifndef CONFIGFOLDER_H
#define CONFIGFOLDER_H

#include <QString>

// The configuration folder beside the program's folder, where the plug-in
// reads its settings and dictionaries.
class ConfigFolder
{
public:
    explicit ConfigFolder(const QString& applicationDir);

    QString path() const { return folder; }
    QString filePath(const QString& name) const;

    // Writes an empty dictionary for each dictionary file that is missing, so
    // that a new form starts without a warning; existing files stay as they are.
    bool ensureDictionaries(QString* error) const;

private:
    QString folder;
};

#endif
