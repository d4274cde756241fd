// Mouse events go through the window system, so that hovering, button state
// and the implicit grab behave as with a real pointer.
#define QTEST_QPA_MOUSE_HANDLING

#include "formaccess.h"
#include "formfixture.h"
#include "messageboxanswerer.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QCursor>
#include <QDateTimeEdit>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <memory>

using Access = CloudPaientInfoFormTestAccess;

namespace {

QStringList toList(const QVector<QString>& texts)
{
    return QStringList(QList<QString>(texts.begin(), texts.end()));
}

const QByteArray missing = QByteArrayLiteral("<missing>");

} // namespace

class TestForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void freshFormFixedLists();
    void hostSettersThroughInterface();
    void joinedText_data();
    void joinedText();
    void sessionIdKeepsZeroBytes();
    void dragging_data();
    void dragging();
    void closeButtonsHide_data();
    void closeButtonsHide();
    void calendarSetsDateKeepsTime();
    void dateSwitch_data();
    void dateSwitch();
    void dictionaryFiles_data();
    void dictionaryFiles();
    void missingDictionaryEndsConstruction_data();
    void missingDictionaryEndsConstruction();
    void repeatedLoads();
    void brokenLoadKeepsEntries();

private:
    std::unique_ptr<MessageBoxAnswerer> answerer;
};

void TestForm::init()
{
    FormFiles::clear();
    QVERIFY(FormFiles::writeDictionaries());
    answerer = std::make_unique<MessageBoxAnswerer>();
}

void TestForm::cleanup()
{
    answerer.reset();
    FormFiles::clear();
}

void TestForm::freshFormFixedLists()
{
    CloudPaientInfoForm form;

    const auto* age = Access::widget<QComboBox>(form, "ageComboBox");
    QCOMPARE(age->count(), 199);
    QCOMPARE(age->itemText(0), QStringLiteral("1"));
    QCOMPARE(age->itemText(198), QStringLiteral("199"));
    QCOMPARE(age->currentText(), QStringLiteral("1"));
    QCOMPARE(Access::items(Access::widget<QComboBox>(form, "sexComboBox")), (QStringList{"F", "M", "O"}));
    QCOMPARE(Access::items(Access::widget<QComboBox>(form, "ageUnitComboBox")), (QStringList{"Y", "M", "D", "H", "Unclear"}));

    QCOMPARE(Access::recordKeys(form),
             (QStringList{"patientname", "sex", "age", "ageunit", "studytime", "studypositionid", "checkitemid",
                          "abstracthistory", "relevantresult", "prediagnose", "checkserialnum"}));
    QCOMPARE(Access::recordValues(form), QStringList(QVector<QString>(11, QStringLiteral(" ")).toList()));
    QCOMPARE(Access::requiredTexts(form), (QStringList{QString(), QString()}));

    const Qt::WindowFlags hints = Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    QCOMPARE(int(hints), 0x40800);
    QCOMPARE(form.windowFlags() & ~Qt::WindowType_Mask, hints);
    QVERIFY(form.isWindow());
    QVERIFY(!form.isVisible());
    QVERIFY(!Access::widget<QCalendarWidget>(form, "checkCalendarWidget")->isVisibleTo(&form));
    QCOMPARE(Access::widget<QCalendarWidget>(form, "checkCalendarWidget")->selectionMode(), QCalendarWidget::SingleSelection);
    QVERIFY(!Access::dragging(form));
    VERIFY_BOXES(*answerer);
}

void TestForm::hostSettersThroughInterface()
{
    CloudPaientInfoForm form;
    CloudPatientHost* host = &form;
    host->setStudyUid(QStringLiteral("1.2.840.1"));
    host->setPatientName(QStringLiteral("Li Si"));
    host->setTextPair(QStringLiteral("p"), QStringLiteral("q"));
    host->setExtraText(QStringLiteral("extra"));
    host->setStudyKey(-42);

    QCOMPARE(Access::studyUid(form), QStringLiteral("1.2.840.1"));
    QCOMPARE(Access::patientName(form), QStringLiteral("Li Si"));
    QCOMPARE(Access::pairFirst(form), QStringLiteral("p"));
    QCOMPARE(Access::pairSecond(form), QStringLiteral("q"));
    QCOMPARE(Access::extraText(form), QStringLiteral("extra"));
    QCOMPARE(Access::studyKey(form), qint64(-42));
}

void TestForm::joinedText_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("joined");

    QTest::newRow("two words") << "a" << "b" << "a b";
    QTest::newRow("both empty") << "" << "" << " ";
    QTest::newRow("blanks kept") << " x" << "y " << " x y ";
}

void TestForm::joinedText()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, joined);

    CloudPaientInfoForm form;
    form.setJoinedText(first, second);
    QCOMPARE(Access::joinedFirst(form), first);
    QCOMPARE(Access::joinedSecond(form), second);
    QCOMPARE(Access::joinedText(form), joined);
}

void TestForm::sessionIdKeepsZeroBytes()
{
    CloudPaientInfoForm form;
    const QByteArray id("ab\0cd\0", 6);
    form.setSessionId(id);
    QCOMPARE(Access::sessionId(form), std::string("ab\0cd\0", 6));
}

void TestForm::dragging_data()
{
    QTest::addColumn<QString>("pressOn");
    QTest::addColumn<int>("buttonValue");
    QTest::addColumn<QPoint>("moveBy");
    QTest::addColumn<bool>("drags");

    QTest::newRow("title bar, left") << "titleWidget" << int(Qt::LeftButton) << QPoint(37, 19) << true;
    QTest::newRow("title label, left") << "checkInfoLabel" << int(Qt::LeftButton) << QPoint(-25, 60) << true;
    QTest::newRow("cursor leaves the title bar") << "titleWidget" << int(Qt::LeftButton) << QPoint(10, 400) << true;
    QTest::newRow("title bar, right") << "titleWidget" << int(Qt::RightButton) << QPoint(37, 19) << false;
    QTest::newRow("white panel, left") << "mainWidget" << int(Qt::LeftButton) << QPoint(37, 19) << false;
}

void TestForm::dragging()
{
    QFETCH(QString, pressOn);
    QFETCH(int, buttonValue);
    const auto button = Qt::MouseButton(buttonValue);
    QFETCH(QPoint, moveBy);
    QFETCH(bool, drags);

    CloudPaientInfoForm form;
    form.move(100, 100);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QPoint start = form.pos();

    const auto* target = Access::widget<QWidget>(form, qPrintable(pressOn));
    // A point of the target that no child button covers.
    const QPoint grabbed = target->mapTo(&form, QPoint(4, 4));
    const QPoint grabbedGlobal = form.mapToGlobal(grabbed);
    // The pointer comes from outside onto the window; the platform turns this
    // into the enter events that mark the widgets under it.
    QCursor::setPos(start - QPoint(50, 50));
    QCursor::setPos(grabbedGlobal);
    QCoreApplication::processEvents();
    QVERIFY(target->underMouse());
    QTest::mousePress(&form, button, Qt::NoModifier, grabbed);
    QCOMPARE(Access::dragging(form), drags);

    const QPoint cursor = grabbedGlobal + moveBy;
    QTest::mouseMove(&form, form.mapFromGlobal(cursor));
    if (drags) {
        QCOMPARE(form.pos(), start + moveBy);
        QCOMPARE(form.mapToGlobal(grabbed), cursor);
    } else {
        QCOMPARE(form.pos(), start);
    }

    QTest::mouseRelease(&form, button, Qt::NoModifier, form.mapFromGlobal(cursor));
    QVERIFY(!Access::dragging(form));
    const QPoint afterRelease = form.pos();
    QTest::mouseMove(&form, form.mapFromGlobal(cursor + QPoint(30, 30)));
    QCOMPARE(form.pos(), afterRelease);
}

void TestForm::closeButtonsHide_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("title bar close") << "closeButton";
    QTest::newRow("cancel") << "cancelPushButton";
}

void TestForm::closeButtonsHide()
{
    QFETCH(QString, button);

    QPointer<CloudPaientInfoForm> form = new CloudPaientInfoForm;
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.data()));
    QTest::mouseClick(Access::widget<QPushButton>(*form, qPrintable(button)), Qt::LeftButton);
    QVERIFY(!form->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!form.isNull());
    delete form.data();
}

void TestForm::calendarSetsDateKeepsTime()
{
    CloudPaientInfoForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    auto* edit = Access::widget<QDateTimeEdit>(form, "checkDateTimeEdit");
    edit->setDateTime(QDateTime(QDate(2020, 3, 4), QTime(13, 14, 15)));
    auto* calendar = Access::widget<QCalendarWidget>(form, "checkCalendarWidget");
    calendar->setCurrentPage(2021, 7);

    QTest::mouseClick(Access::widget<QPushButton>(form, "datePushButton"), Qt::LeftButton);
    QVERIFY(calendar->isVisible());

    // The calendar lies over the rows below the date row and must be on top of them.
    const auto* mainWidget = Access::widget<QWidget>(form, "mainWidget");
    for (const char* row : {"checkPartWidget", "checkMethodWidget", "symptomWidget"}) {
        const QRect overlap = calendar->geometry() & Access::widget<QWidget>(form, row)->geometry();
        QVERIFY2(!overlap.isEmpty(), row);
        QWidget* top = mainWidget->childAt(overlap.center());
        QVERIFY2(top == calendar || calendar->isAncestorOf(top), row);
    }

    auto* view = calendar->findChild<QTableView*>(QStringLiteral("qt_calendar_calendarview"));
    QVERIFY(view);
    QModelIndex day15;
    for (int row = 0; row < view->model()->rowCount() && !day15.isValid(); ++row) {
        for (int column = 0; column < view->model()->columnCount(); ++column) {
            const QModelIndex index = view->model()->index(row, column);
            if (index.data().toString() == QLatin1String("15")) {
                day15 = index;
                break;
            }
        }
    }
    QVERIFY(day15.isValid());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(day15).center());

    QCOMPARE(edit->dateTime(), QDateTime(QDate(2021, 7, 15), QTime(13, 14, 15)));
    QCOMPARE(edit->text(), QStringLiteral("2021-07-15 13:14:15"));
    QVERIFY(!calendar->isVisible());
}

void TestForm::dateSwitch_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QByteArray>("mainIni");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("0 in config") << "config" << QByteArray("[cloudPatient]\ncloud=0\n") << false;
    QTest::newRow("0 beside the app") << "../config" << QByteArray("[cloudPatient]\ncloud=0\n") << false;
    QTest::newRow("00") << "config" << QByteArray("[cloudPatient]\ncloud=00\n") << true;
    QTest::newRow("false") << "config" << QByteArray("[cloudPatient]\ncloud=false\n") << true;
    QTest::newRow("empty value") << "config" << QByteArray("[cloudPatient]\ncloud=\n") << true;
    QTest::newRow("key missing") << "config" << QByteArray("[cloudPatient]\nother=0\n") << true;
    QTest::newRow("no main.ini") << "config" << missing << true;
}

void TestForm::dateSwitch()
{
    QFETCH(QString, folder);
    QFETCH(QByteArray, mainIni);
    QFETCH(bool, enabled);

    if (mainIni != missing)
        QVERIFY(FormFiles::write(QCoreApplication::applicationDirPath() + "/" + folder + "/main.ini", mainIni));
    CloudPaientInfoForm form;
    QCOMPARE(Access::widget<QPushButton>(form, "datePushButton")->isEnabled(), enabled);
    VERIFY_BOXES(*answerer);
}

void TestForm::dictionaryFiles_data()
{
    QTest::addColumn<QByteArray>("checkItemFile");
    QTest::addColumn<QByteArray>("positionFile");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("checkIds");
    QTest::addColumn<QStringList>("checkNames");
    QTest::addColumn<QStringList>("positionIds");
    QTest::addColumn<QStringList>("positionNames");

    const QStringList defaultIds{"0", "1", "2"};
    const QStringList defaultNames{"CT Head", "CT Chest", "MR Knee"};
    const QStringList positionIds{"0", "1"};
    const QStringList positionNames{"Head", "Chest"};

    QTest::newRow("both read") << FormFiles::checkItems() << FormFiles::positions() << QStringList()
                               << defaultIds << defaultNames << positionIds << positionNames;
    QTest::newRow("empty arrays") << QByteArray("[]") << QByteArray("[]") << QStringList()
                                  << QStringList() << QStringList() << QStringList() << QStringList();
    QTest::newRow("objects") << QByteArray("{}") << QByteArray("{}") << QStringList()
                             << QStringList() << QStringList() << QStringList() << QStringList();
    QTest::newRow("empty check-item file")
        << QByteArray() << FormFiles::positions() << QStringList{"CheckItem Json transform error!"}
        << QStringList() << QStringList() << positionIds << positionNames;
    QTest::newRow("empty position file")
        << FormFiles::checkItems() << QByteArray() << QStringList{"PositionType Json transform error!"}
        << defaultIds << defaultNames << QStringList() << QStringList();
    QTest::newRow("both broken") << QByteArray("[{") << QByteArray("nope")
                                 << QStringList{"CheckItem Json transform error!", "PositionType Json transform error!"}
                                 << QStringList() << QStringList() << QStringList() << QStringList();
    QTest::newRow("GBK names")
        << QByteArray("[{\"checkitemid\":\"0\",\"checkitem\":\"\xc2\xad\xc4\xd4\xc6\xbd\xc9\xa8\"}]")
        << QByteArray("[{\"positiontypeid\":\"0\",\"positiontypename\":\"\xcd\xb7\xb2\xbf\"},"
                      "{\"positiontypeid\":\"1\",\"positiontypename\":\"\xd0\xd8\xb2\xbf\"}]")
        << QStringList() << QStringList{"0"} << QStringList{QString::fromUtf8("颅脑平扫")} << positionIds
        << QStringList{QString::fromUtf8("头部"), QString::fromUtf8("胸部")};
    // Files are expected in GBK; UTF-8 bytes come out as other characters.
    QTest::newRow("UTF-8 read as GBK")
        << QByteArray("[{\"checkitemid\":\"0\",\"checkitem\":\"\xe5\xa4\xb4\xe9\x83\xa8\"}]") << QByteArray("[]")
        << QStringList() << QStringList{"0"} << QStringList{QString::fromUtf8("澶撮儴")} << QStringList()
        << QStringList();
    QTest::newRow("numeric id, odd elements")
        << QByteArray(R"([{"checkitemid":5,"checkitem":"X"},7,{"checkitem":"Y"}])")
        << QByteArray(R"([{"positiontypeid":"9"},[]])") << QStringList() << QStringList{"", "", ""}
        << QStringList{"X", "", "Y"} << QStringList{"9", ""} << QStringList{"", ""};
}

void TestForm::dictionaryFiles()
{
    QFETCH(QByteArray, checkItemFile);
    QFETCH(QByteArray, positionFile);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, checkIds);
    QFETCH(QStringList, checkNames);
    QFETCH(QStringList, positionIds);
    QFETCH(QStringList, positionNames);

    QVERIFY(FormFiles::writeDictionaries(checkItemFile, positionFile));
    for (const QString& box : boxes)
        answerer->expect(box);

    CloudPaientInfoForm form;
    VERIFY_BOXES(*answerer);
    QCOMPARE(Access::checkItemIds(form), checkIds);
    QCOMPARE(Access::checkItemNames(form), checkNames);
    QCOMPARE(Access::checkItemCount(form), checkNames.size());
    QCOMPARE(Access::items(Access::widget<QComboBox>(form, "checkItemComboBox")), checkNames);
    QCOMPARE(toList(Access::positionIds(form)), positionIds);
    QCOMPARE(toList(Access::positionNames(form)), positionNames);
    QCOMPARE(Access::positionCount(form), positionNames.size());
    QCOMPARE(Access::items(Access::widget<QComboBox>(form, "studyPositionComboBox")), positionNames);
}

void TestForm::missingDictionaryEndsConstruction_data()
{
    QTest::addColumn<bool>("checkItemsMissing");
    QTest::addColumn<QString>("box");

    QTest::newRow("check items") << true << "cloudCheckItem.json read error!";
    QTest::newRow("positions") << false << "cloudPositionItem.json read error!";
}

void TestForm::missingDictionaryEndsConstruction()
{
    QFETCH(bool, checkItemsMissing);
    QFETCH(QString, box);

    QVERIFY(QFile::remove(checkItemsMissing ? FormFiles::checkItemFile() : FormFiles::positionFile()));
    // Would disable the date button, were it read.
    QVERIFY(FormFiles::write(FormFiles::appConfigDir() + "/main.ini", "[cloudPatient]\ncloud=0\n"));
    answerer->expect(box);

    CloudPaientInfoForm form;
    VERIFY_BOXES(*answerer);
    QCOMPARE(Access::widget<QComboBox>(form, "checkItemComboBox")->count(), 0);
    QCOMPARE(Access::widget<QComboBox>(form, "studyPositionComboBox")->count(), 0);
    QCOMPARE(Access::checkItemCount(form), 0);
    QVERIFY(Access::widget<QPushButton>(form, "datePushButton")->isEnabled());
    // What came before the dictionaries is in place.
    QCOMPARE(Access::widget<QComboBox>(form, "ageComboBox")->count(), 199);
    QCOMPARE(Access::widget<QComboBox>(form, "sexComboBox")->count(), 3);
    QCOMPARE(form.windowFlags() & Qt::FramelessWindowHint, Qt::FramelessWindowHint);
}

void TestForm::repeatedLoads()
{
    CloudPaientInfoForm form;
    form.loadCheckItems(QStringLiteral(R"([{"checkitemid":"3","checkitem":"US Liver"},)"
                                       R"({"checkitemid":"4","checkitem":"CT Head"}])"));
    const QStringList names{"CT Head", "CT Chest", "MR Knee", "US Liver", "CT Head"};
    QCOMPARE(Access::checkItemIds(form), (QStringList{"0", "1", "2", "3", "4"}));
    QCOMPARE(Access::checkItemNames(form), names);
    QCOMPARE(Access::checkItemCount(form), 5);
    QCOMPARE(Access::items(Access::widget<QComboBox>(form, "checkItemComboBox")), names);

    // Positions are replaced, while their box keeps what it showed.
    form.loadPositions(QStringLiteral(R"([{"positiontypeid":"7","positiontypename":"Knee"}])"));
    QCOMPARE(toList(Access::positionIds(form)), QStringList{"7"});
    QCOMPARE(toList(Access::positionNames(form)), QStringList{"Knee"});
    QCOMPARE(Access::positionCount(form), 1);
    QCOMPARE(Access::items(Access::widget<QComboBox>(form, "studyPositionComboBox")), (QStringList{"Head", "Chest", "Knee"}));
    VERIFY_BOXES(*answerer);
}

void TestForm::brokenLoadKeepsEntries()
{
    CloudPaientInfoForm form;
    answerer->expect(QStringLiteral("CheckItem Json transform error!"));
    answerer->expect(QStringLiteral("PositionType Json transform error!"));
    form.loadCheckItems(QStringLiteral("[{\"checkitemid\":"));
    form.loadPositions(QString());
    VERIFY_BOXES(*answerer);

    QCOMPARE(Access::checkItemCount(form), 3);
    QCOMPARE(Access::widget<QComboBox>(form, "checkItemComboBox")->count(), 3);
    QCOMPARE(Access::positionCount(form), 2);
    QCOMPARE(toList(Access::positionNames(form)), (QStringList{"Head", "Chest"}));
    QCOMPARE(Access::widget<QComboBox>(form, "studyPositionComboBox")->count(), 2);
}

QTEST_MAIN(TestForm)
#include "tst_form.moc"
