#ifndef CLOUDPATIENTHOST_H
#define CLOUDPATIENTHOST_H

#include <QByteArray>
#include <QString>
#include <QWidget>

/**
 * What a host sees of the study-information form.
 *
 * The host loads the plug-in, asks its factory (QGenericPluginFactory or the
 * plug-in instance's create()) for the key "cloudpaientinfoform" and receives a
 * widget without parent that it owns. It cannot link to the plug-in, so it
 * reaches the form through this class's virtual table: the ten operations below
 * keep this order and these signatures for good.
 *
 * Usual order: setStudyKey(), setPatientName(), then openStudy() last. The form
 * shows itself when the study's record has loaded; closing it only hides it.
 *
 * Exported, so that the host and the plug-in share one type information of
 * this class and the host's dynamic_cast does not depend on comparing names.
 */
class Q_DECL_EXPORT CloudPatientHost : public QWidget
{
public:
    using QWidget::QWidget;

    /// Appends the entries of an examination-item dictionary (JSON array) to the form's list.
    virtual void loadCheckItems(QString json) = 0;
    /// Replaces the body positions by those of a dictionary (JSON array); names are appended to the list.
    virtual void loadPositions(QString json) = 0;
    /// Stores the study instance UID.
    virtual void setStudyUid(QString uid) = 0;
    /// Stores the session id sent as the JSESSIONID cookie (all bytes, zero bytes too).
    virtual void setSessionId(QByteArray id) = 0;
    /// Stores the patient name, used as the upload's name when the local database has none.
    virtual void setPatientName(QString name) = 0;
    /// Stores two texts and their join with one blank; kept for the host, not read by the form.
    virtual void setJoinedText(QString first, QString second) = 0;
    /// Stores two texts; kept for the host, not read by the form.
    virtual void setTextPair(QString first, QString second) = 0;
    /// Stores a text; kept for the host, not read by the form.
    virtual void setExtraText(QString text) = 0;
    /// Stores the study's primary key (generalstudy.pk) in the host's local database.
    virtual void setStudyKey(qint64 key) = 0;
    /// Looks the study up in the cloud and shows its record, or offers to upload the study.
    virtual void openStudy(QByteArray sessionId, QString studyUid) = 0;
};

#endif
