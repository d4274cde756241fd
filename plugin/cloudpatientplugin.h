#ifndef CLOUDPATIENTPLUGIN_H
#define CLOUDPATIENTPLUGIN_H

#include <QGenericPlugin>

// Generic plug-in whose only key, "cloudpaientinfoform", makes a new study form.
class CloudPatientPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QGenericPluginFactoryInterface" FILE "cloudpatientplugin.json")

public:
    using QGenericPlugin::QGenericPlugin;

    // Returns a form without parent that the caller owns, or null for any
    // other key. The key is compared exactly, letter case included.
    QObject* create(const QString& key, const QString& spec) override;
};

#endif
