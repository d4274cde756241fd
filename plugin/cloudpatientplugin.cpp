#include "cloudpatientplugin.h"

#include "cloudpaientinfoform.h"

QObject* CloudPatientPlugin::create(const QString& key, const QString& spec)
{
    Q_UNUSED(spec)
    if (key != QLatin1String("cloudpaientinfoform"))
        return nullptr;
    return new CloudPaientInfoForm(nullptr);
}
