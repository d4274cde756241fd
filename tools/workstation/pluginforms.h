#ifndef PLUGINFORMS_H
#define PLUGINFORMS_H

#include <QString>

#include <memory>

class CloudPatientHost;
class QWidget;

// Makes study forms through Qt's generic plug-in factory, the only way this
// host reaches the plug-in.
class PluginForms
{
public:
    // Points Qt at <applicationDir>/../plugins unless QT_PLUGIN_PATH says otherwise.
    explicit PluginForms(const QString& applicationDir);

    // A new hidden form owned by the caller, or null with error() telling why.
    std::unique_ptr<QWidget> createStudyForm();
    // The form's host interface; null when the widget is not a study form.
    static CloudPatientHost* host(QWidget* form);

    QString error() const { return lastError; }

private:
    QString lastError;
};

#endif
