// The windows' widget trees against dumps checked in beside this file
// (scripts/layout-dump rewrites them after a deliberate change of a .ui).

#include "cloudpaientinfoform.h"
#include "formfiles.h"
#include "messageboxanswerer.h"
#include "proxyconfigform.h"
#include "uploadstudyprogressform.h"
#include "widgettree.h"

#include <QTest>

#include <memory>

class LayoutTest : public QObject
{
    Q_OBJECT

    MessageBoxAnswerer answerer;
    std::unique_ptr<CloudPaientInfoForm> form;
    std::unique_ptr<ProxyConfigForm> proxy;

    QWidget* window(const QString& name) const
    {
        if (name == QLatin1String("CloudPaientInfoForm"))
            return form.get();
        if (name == QLatin1String("ProxyConfigForm"))
            return proxy.get();
        return UploadStudyProgressForm::getInstance();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(FormFiles::writeDictionaries("[]", "[]"));
        form = std::make_unique<CloudPaientInfoForm>();
        proxy = std::make_unique<ProxyConfigForm>();
        VERIFY_BOXES(answerer);
    }

    void widgetTree_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"CloudPaientInfoForm", "UploadStudyProgressForm", "ProxyConfigForm"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void widgetTree()
    {
        QFETCH(QString, name);
        const QStringList dump = dumpWidgetTree(*window(name));
        const QString path = QStringLiteral(LAYOUT_DUMP_DIR "/") + name.toLower() + QStringLiteral(".tree");
        if (qEnvironmentVariableIsSet("CLOUDPATIENT_LAYOUT_WRITE")) {
            QVERIFY(FormFiles::write(path, (dump.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8()));
            return;
        }
        QStringList expected = QString::fromUtf8(FormFiles::read(path)).split(QLatin1Char('\n'));
        expected.removeLast();
        for (int i = 0; i < qMax(dump.size(), expected.size()); ++i) {
            if (dump.value(i) != expected.value(i))
                QFAIL(qPrintable(QStringLiteral("%1:%2: expected \"%3\", the window has \"%4\" "
                                                "(scripts/layout-dump rewrites the file)")
                                     .arg(path).arg(i + 1).arg(expected.value(i), dump.value(i))));
        }
    }
};

QTEST_MAIN(LayoutTest)
#include "tst_layout.moc"
