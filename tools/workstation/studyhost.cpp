#include "studyhost.h"

#include <cloudpatient/cloudpatienthost.h>
#include "localdatabase.h"

#include <QWidget>

#include <algorithm>

StudyHost::StudyHost(const QString& applicationDir) : plugins(applicationDir) {}

// The forms' code lives in the plug-in, which stays loaded until the
// application goes; this runs before that.
StudyHost::~StudyHost() = default;

QWidget* StudyHost::newForm()
{
    std::unique_ptr<QWidget> form = plugins.createStudyForm();
    if (!form) {
        lastError = plugins.error();
        return nullptr;
    }
    forms.push_back(std::move(form));
    return forms.back().get();
}

QWidget* StudyHost::openStudy(const LocalStudy& study, const QByteArray& sessionId)
{
    QWidget* form = newForm();
    if (!form)
        return nullptr;
    CloudPatientHost* host = PluginForms::host(form);
    host->setStudyKey(study.pk);
    host->setPatientName(study.patientName);
    host->openStudy(sessionId, study.studyUid);
    return form;
}

void StudyHost::deleteForm(QWidget* form)
{
    const auto owned = std::find_if(forms.begin(), forms.end(),
                                    [form](const std::unique_ptr<QWidget>& f) { return f.get() == form; });
    if (owned != forms.end())
        forms.erase(owned);
}
