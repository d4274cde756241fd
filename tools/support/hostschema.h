#ifndef HOSTSCHEMA_H
#define HOSTSCHEMA_H

class QSqlDatabase;
class QString;

// Creates the tables of a host's local study database where they are missing:
// one row per patient, study (generalstudy), series (generalseries) and image
// (imageformat), and the form's patientinfoindex. The workstation, the tests
// and the benchmark all use this one schema. False with the reason when a
// statement fails.
bool createHostTables(QSqlDatabase& db, QString* error);

#endif
