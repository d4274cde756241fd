#ifndef STUDYDATABASE_H
#define STUDYDATABASE_H

#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

// A host's local study database for tests and the benchmark: a real SQLite
// file with the host's schema in a temporary folder, opened as Qt's default
// connection for as long as the object lives.
class StudyDatabase
{
public:
    StudyDatabase();
    ~StudyDatabase();

    StudyDatabase(const StudyDatabase&) = delete;
    StudyDatabase& operator=(const StudyDatabase&) = delete;

    bool isOpen() const;

    qint64 addPatient(const QString& name, const QString& sex)
    {
        return insert("INSERT INTO patient (PatientName, PatientSex) VALUES (?, ?)", {name, sex});
    }
    qint64 addStudy(qint64 patientPk, const QString& studyUid)
    {
        return insert("INSERT INTO generalstudy (patient_fk, StudyInstanceUID) VALUES (?, ?)", {patientPk, studyUid});
    }
    qint64 addSeries(qint64 studyPk) { return insert("INSERT INTO generalseries (study_fk) VALUES (?)", {studyPk}); }
    void addImage(qint64 seriesPk, const QString& filePath)
    {
        insert("INSERT INTO imageformat (series_fk, FilePath) VALUES (?, ?)", {seriesPk, filePath});
    }

    // Every row of a query, each as its cells' texts.
    QList<QStringList> rows(const QString& sql) const;

private:
    // The new row's primary key.
    static qint64 insert(const char* sql, const QVariantList& values);

    QTemporaryDir dir;
};

#endif
