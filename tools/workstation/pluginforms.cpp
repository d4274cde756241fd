#include "pluginforms.h"

#include <cloudpatient/cloudpatienthost.h>

#include <QCoreApplication>
#include <QDir>
#include <QGenericPluginFactory>

namespace {
const char formKey[] = "cloudpaientinfoform";
}

PluginForms::PluginForms(const QString& applicationDir)
{
    if (!qEnvironmentVariableIsEmpty("QT_PLUGIN_PATH"))
        return;
    const QString plugins = QDir::cleanPath(applicationDir + QStringLiteral("/../plugins"));
    // Exported too, so that anything this host starts finds the same plug-ins.
    qputenv("QT_PLUGIN_PATH", QFile::encodeName(plugins));
    QCoreApplication::addLibraryPath(plugins);
}

std::unique_ptr<QWidget> PluginForms::createStudyForm()
{
    const QString key = QLatin1String(formKey);
    if (!QGenericPluginFactory::keys().contains(key)) {
        lastError = QStringLiteral("no plug-in offers \"%1\" in %2")
                        .arg(key, QCoreApplication::libraryPaths().join(QLatin1Char(':')));
        return nullptr;
    }
    std::unique_ptr<QObject> made(QGenericPluginFactory::create(key, QString()));
    auto* form = qobject_cast<QWidget*>(made.get());
    if (!form || !host(form)) {
        lastError = QStringLiteral("the plug-in's \"%1\" is not a study form").arg(key);
        return nullptr;
    }
    made.release();
    return std::unique_ptr<QWidget>(form);
}

CloudPatientHost* PluginForms::host(QWidget* form)
{
    return dynamic_cast<CloudPatientHost*>(form);
}
