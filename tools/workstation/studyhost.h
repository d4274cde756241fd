#ifndef STUDYHOST_H
#define STUDYHOST_H

#include "pluginforms.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

class QWidget;
struct LocalStudy;

// Opens studies in study forms of the plug-in and owns those forms: closing a
// form only hides it, so the host deletes it when done with it, and deletes
// what is left before the application goes.
class StudyHost
{
public:
    explicit StudyHost(const QString& applicationDir);
    ~StudyHost();

    StudyHost(const StudyHost&) = delete;
    StudyHost& operator=(const StudyHost&) = delete;

    // A new form, still hidden; null with error() telling why.
    QWidget* newForm();
    // A new form given the study in the order the form relies on: key, patient
    // name, then openStudy. The form shows itself once the record is there;
    // an unknown study first asks to upload it. Null with error() when no form
    // could be made.
    QWidget* openStudy(const LocalStudy& study, const QByteArray& sessionId);

    // Deletes one form of this host; others and unknown widgets are left alone.
    void deleteForm(QWidget* form);

    QString error() const { return lastError; }

private:
    PluginForms plugins;
    std::vector<std::unique_ptr<QWidget>> forms;
    QString lastError;
};

#endif
