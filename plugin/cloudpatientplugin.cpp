#include "cloudpatientplugin.h"

#include "cloudpaientinfoform.h"

QObject* CloudPatientPlugin::create(const QString& key, const QString& specification)
{
    Q_UNUSED(specification)
    if (key != QLatin1String("cloudpaientinfoform"))
        return nullptr;
    return new CloudPaientInfoForm(nullptr);
}
