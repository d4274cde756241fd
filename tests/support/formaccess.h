#ifndef FORMACCESS_H
#define FORMACCESS_H

#include "cloudpaientinfoform.h"

#include <QComboBox>

// Reads the study form's private state that no widget shows.
struct CloudPaientInfoFormTestAccess
{
    using Form = CloudPaientInfoForm;

    static const QString& patientName(const Form& form) { return form.patientName; }
    static bool dragging(const Form& form) { return form.dragging; }
    static const QStringList& checkItemNames(const Form& form) { return form.checkItemNames; }
    static const QVector<QString>& positionNames(const Form& form) { return form.positionNames; }
    static const QByteArray& postBody(const Form& form) { return form.postBody; }

    // A widget of the form's tree by its object name; a missing one ends the run.
    template <typename T = QWidget>
    static T* widget(const Form& form, const char* name)
    {
        T* found = form.findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no widget %s", name);
        return found;
    }

    static QStringList items(const Form& form, const char* box)
    {
        const auto* combo = widget<QComboBox>(form, box);
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        return texts;
    }
};

#endif
