#ifndef BACKUPFILENAME_H
#define BACKUPFILENAME_H

#include <QString>

// The name of a study's backup file in the backup folder:
// "CloudPatientCaseInfo_" + UID + ".json". A UID that is not a plain file-name
// component of printable ASCII (it holds '/', '\', '%', a control or non-ASCII
// byte, is "." or "..", or is longer than 200 bytes) has those bytes
// percent-encoded; one still longer than 200 bytes keeps its first 160 and a
// SHA-256 of the whole. Distinct UIDs give distinct names.
QString backupFileName(const QString& studyUid);

#endif
