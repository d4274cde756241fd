#ifndef FORMACCESS_H
#define FORMACCESS_H

#include "cloudpaientinfoform.h"

#include <QComboBox>

// Reads the study form's private state for tests, and reaches the private
// operations that no widget triggers.
struct CloudPaientInfoFormTestAccess
{
    using Form = CloudPaientInfoForm;

    static const QStringList& recordKeys(const Form& form) { return form.recordKeys; }
    static const QStringList& recordValues(const Form& form) { return form.recordValues; }
    static const QStringList& requiredTexts(const Form& form) { return form.requiredTexts; }

    static const QString& joinedFirst(const Form& form) { return form.joinedFirst; }
    static const QString& joinedSecond(const Form& form) { return form.joinedSecond; }
    static const QString& joinedText(const Form& form) { return form.joinedText; }
    static const QString& pairFirst(const Form& form) { return form.pairFirst; }
    static const QString& pairSecond(const Form& form) { return form.pairSecond; }
    static const QString& extraText(const Form& form) { return form.extraText; }
    static const QString& studyUid(const Form& form) { return form.studyUid; }
    static const QString& patientName(const Form& form) { return form.patientName; }
    static const std::string& sessionId(const Form& form) { return form.sessionId; }
    static qint64 studyKey(const Form& form) { return form.studyKey; }

    static bool dragging(const Form& form) { return form.dragging; }

    static const QStringList& checkItemIds(const Form& form) { return form.checkItemIds; }
    static const QStringList& checkItemNames(const Form& form) { return form.checkItemNames; }
    static int checkItemCount(const Form& form) { return form.checkItemCount; }
    static const QVector<QString>& positionIds(const Form& form) { return form.positionIds; }
    static const QVector<QString>& positionNames(const Form& form) { return form.positionNames; }
    static int positionCount(const Form& form) { return form.positionCount; }

    static const std::string& checkNumReply(const Form& form) { return form.checkNumReply; }
    static const QString& risCheckSerialNum(const Form& form) { return form.risCheckSerialNum; }
    static const StudyRecord& record(const Form& form) { return form.record; }

    static const QByteArray& postBody(const Form& form) { return form.postBody; }
    static const QString& backupFilePath(const Form& form) { return form.backupFilePath; }

    static void onCheckNum(Form& form, const QByteArray& reply) { form.onCheckNum(reply); }

    // A widget of the form's tree by its object name; a missing one ends the run.
    template <typename T>
    static T* widget(const Form& form, const char* name)
    {
        T* found = form.findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no widget %s", name);
        return found;
    }

    static QStringList items(const QComboBox* box)
    {
        QStringList texts;
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
        return texts;
    }
};

#endif
