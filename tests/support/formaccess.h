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
    // The texts that the host hands over and nothing reads: "joined|first|second|extra".
    static QString hostTexts(const Form& form)
    {
        return QStringList{form.joinedText, form.pairFirst, form.pairSecond, form.extraText}.join(QLatin1Char('|'));
    }

    // The steps of a save, each as the save runs it, for the benchmark to time alone.
    static bool confirmSave(const Form& form) { return form.confirmSave(); }
    static void buildPostBody(Form& form) { form.buildPostBody(); }
    static bool writeBackupFile(Form& form) { return form.writeBackupFile(); }
    static bool insertIndexRow(Form& form)
    {
        return form.insertPatientInfoIndex(form.studyUid, form.risCheckSerialNum, form.backupFilePath) == 1;
    }
    static bool post(Form& form) { return form.postStudyInfo(form.modifyUrl, form.sessionId); }
    static bool refreshDictionaries(Form& form) { return form.refreshDictionaries(); }
    static bool updatePatientRow(Form& form) { return form.updatePatientNameSex(); }

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
