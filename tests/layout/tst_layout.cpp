// The windows' widget trees against dumps checked in beside this file
// (scripts/layout-dump rewrites them after a deliberate change of a .ui), and
// the object names and texts that the form's code and hosts rely on.

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

    void hostContract_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("className");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QString>("value");
        const QString form = QStringLiteral("CloudPaientInfoForm");
        // What the form fills and reads back, and what the walk-through drives.
        const std::pair<const char*, const char*> fields[] = {
            {"patientNameLineEdit", "QLineEdit"},   {"sexComboBox", "QComboBox"},
            {"ageComboBox", "QComboBox"},           {"ageUnitComboBox", "QComboBox"},
            {"studyPositionComboBox", "QComboBox"}, {"checkItemComboBox", "QComboBox"},
            {"symptomTextEdit", "QTextEdit"},       {"checkResultTextEdit", "QTextEdit"},
            {"diagnoseTextEdit", "QTextEdit"},      {"checkIDLineEdit", "QLineEdit"},
            {"checkCalendarWidget", "QCalendarWidget"}, {"closeButton", "QPushButton"},
            {"datePushButton", "QPushButton"},
        };
        for (const auto& [name, className] : fields)
            QTest::newRow(name) << form << name << QByteArray(className) << QByteArray() << QString();
        QTest::newRow("save button") << form << "enterPushButton" << QByteArray("QPushButton") << QByteArray("text")
                                     << "保存";
        QTest::newRow("close button") << form << "cancelPushButton" << QByteArray("QPushButton") << QByteArray("text")
                                      << "关闭";
        // The save sends the date as the edit shows it.
        QTest::newRow("date format") << form << "checkDateTimeEdit" << QByteArray("QDateTimeEdit")
                                     << QByteArray("displayFormat") << "yyyy-MM-dd HH:mm:ss";
        QTest::newRow("form") << form << form << QByteArray("CloudPaientInfoForm") << QByteArray("windowTitle")
                              << "Form";
        QTest::newRow("upload window") << "UploadStudyProgressForm" << "UploadStudyProgressForm"
                                       << QByteArray("UploadStudyProgressForm") << QByteArray() << QString();
        QTest::newRow("upload table") << "UploadStudyProgressForm" << "tableView" << QByteArray("QTableView")
                                      << QByteArray() << QString();
    }

    void hostContract()
    {
        QFETCH(QString, window);
        QFETCH(QString, name);
        QFETCH(QByteArray, className);
        QFETCH(QByteArray, property);
        QWidget* top = this->window(window);
        QWidget* widget = top->objectName() == name ? top : top->findChild<QWidget*>(name);
        QVERIFY2(widget, qPrintable(name));
        QCOMPARE(QByteArray(widget->metaObject()->className()), className);
        if (!property.isEmpty())
            QTEST(widget->property(property.constData()).toString(), "value");
    }
};

QTEST_MAIN(LayoutTest)
#include "tst_layout.moc"
