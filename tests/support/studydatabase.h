#ifndef STUDYDATABASE_H
#define STUDYDATABASE_H

#include <QList>
#include <QStringList>
#include <QTemporaryDir>

// A host's local study database: a real SQLite file in a temporary folder,
// opened as Qt's default connection for as long as the object lives.
class StudyDatabase
{
public:
    StudyDatabase();
    ~StudyDatabase();

    StudyDatabase(const StudyDatabase&) = delete;
    StudyDatabase& operator=(const StudyDatabase&) = delete;

    bool isOpen() const;
    QString filePath() const;

    qint64 addPatient(const QString& name, const QString& sex);
    qint64 addStudy(qint64 patientPk, const QString& studyUid);
    qint64 addSeries(qint64 studyPk);
    void addImage(qint64 seriesPk, const QString& filePath);

    // Every row of a query, each as its cells' texts.
    QList<QStringList> rows(const QString& sql) const;

private:
    QTemporaryDir dir;
};

#endif
