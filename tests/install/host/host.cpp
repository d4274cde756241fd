// Loads the installed plug-in through Qt's plug-in factory, hands the form a
// study and prints what the form shows once it has opened it.
//   installed-host SESSION STUDY_UID

#include <cloudpatient/cloudpatienthost.h>

#include <QApplication>
#include <QComboBox>
#include <QGenericPluginFactory>
#include <QLineEdit>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 3) {
        std::fputs("usage: installed-host SESSION STUDY_UID\n", stderr);
        return 2;
    }
    QCoreApplication::addLibraryPath(QStringLiteral(CLOUDPATIENT_PLUGIN_PATH));
    std::unique_ptr<QObject> made(QGenericPluginFactory::create(QStringLiteral("cloudpaientinfoform"), QString()));
    auto* form = dynamic_cast<CloudPatientHost*>(made.get());
    if (!form) {
        std::fputs("the plug-in made no study form\n", stderr);
        return 1;
    }
    form->setStudyKey(1);
    form->setPatientName(QStringLiteral("Host Patient"));
    form->openStudy(arguments.at(1).toUtf8(), arguments.at(2));

    const auto text = [form](const char* name) { return form->findChild<QLineEdit*>(QLatin1String(name))->text(); };
    std::printf("shown=%d serial=%s patient=%s items=%d\n", form->isVisible() ? 1 : 0,
                qPrintable(text("checkIDLineEdit")), qPrintable(text("patientNameLineEdit")),
                form->findChild<QComboBox*>(QStringLiteral("checkItemComboBox"))->count());
    return form->isVisible() ? 0 : 1;
}
