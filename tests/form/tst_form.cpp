// Mouse events go through the window system, so that hovering, button state
// and the implicit grab behave as with a real pointer.
#define QTEST_QPA_MOUSE_HANDLING

#include "formaccess.h"
#include "formfixture.h"
#include "messageboxanswerer.h"

#include <QCalendarWidget>
#include <QCursor>
#include <QDateTimeEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

using Access = CloudPaientInfoFormTestAccess;

class TestForm : public QObject
{
    Q_OBJECT

    std::unique_ptr<MessageBoxAnswerer> answerer;

private slots:
    void init()
    {
        FormFiles::clear();
        QVERIFY(FormFiles::writeDictionaries());
        answerer = std::make_unique<MessageBoxAnswerer>();
    }

    void cleanup()
    {
        FormFiles::clear();
        VERIFY_BOXES(*answerer);
    }

    void dragging_data()
    {
        QTest::addColumn<QString>("pressOn");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("drags");

        QTest::newRow("title bar, left") << "titleWidget" << int(Qt::LeftButton) << true;
        QTest::newRow("title label, left") << "checkInfoLabel" << int(Qt::LeftButton) << true;
        QTest::newRow("title bar, right") << "titleWidget" << int(Qt::RightButton) << false;
        QTest::newRow("white panel, left") << "mainWidget" << int(Qt::LeftButton) << false;
    }

    void dragging()
    {
        QFETCH(QString, pressOn);
        QFETCH(int, button);
        QFETCH(bool, drags);

        CloudPaientInfoForm form;
        form.move(100, 100);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QPoint start = form.pos();
        const QWidget* target = Access::widget(form, qPrintable(pressOn));
        const QPoint grabbed = target->mapTo(&form, QPoint(4, 4));  // clear of the close button
        // The pointer comes onto the window from outside, which marks the widgets under it.
        QCursor::setPos(start - QPoint(50, 50));
        QCursor::setPos(form.mapToGlobal(grabbed));
        QCoreApplication::processEvents();
        QVERIFY(target->underMouse());

        // The move takes the pointer far below the title bar.
        const QPoint moveBy(37, 300);
        const QPoint cursor = form.mapToGlobal(grabbed) + moveBy;
        QTest::mousePress(&form, Qt::MouseButton(button), Qt::NoModifier, grabbed);
        QTest::mouseMove(&form, form.mapFromGlobal(cursor));
        QCOMPARE(form.pos(), drags ? start + moveBy : start);
        QTest::mouseRelease(&form, Qt::MouseButton(button), Qt::NoModifier, form.mapFromGlobal(cursor));
        QVERIFY(!Access::dragging(form));
    }

    void buttons()
    {
        CloudPaientInfoForm form;
        form.show();
        auto* edit = Access::widget<QDateTimeEdit>(form, "checkDateTimeEdit");
        edit->setDateTime(QDateTime(QDate(2020, 3, 4), QTime(13, 14, 15)));
        auto* calendar = Access::widget<QCalendarWidget>(form, "checkCalendarWidget");
        Access::widget<QPushButton>(form, "datePushButton")->click();
        QVERIFY(calendar->isVisible());
        // A picked day replaces the date only.
        calendar->setSelectedDate(QDate(2021, 7, 15));
        emit calendar->clicked(calendar->selectedDate());
        QCOMPARE(edit->text(), QStringLiteral("2021-07-15 13:14:15"));
        QVERIFY(!calendar->isVisible());

        for (const char* button : {"closeButton", "cancelPushButton"}) {
            form.show();
            Access::widget<QPushButton>(form, button)->click();
            QVERIFY2(!form.isVisible(), button);
        }
    }

    void construction_data()
    {
        QTest::addColumn<QByteArray>("checkItemFile");  // null: no file
        QTest::addColumn<QByteArray>("positionFile");
        QTest::addColumn<QByteArray>("cloudSwitch");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("checkItems");
        QTest::addColumn<QStringList>("positions");
        QTest::addColumn<bool>("dateEnabled");

        const QByteArray items = FormFiles::checkItems(), places = FormFiles::positions();
        const QStringList itemNames{"CT Head", "CT Chest", "MR Knee"}, placeNames{"Head", "Chest"}, none;
        const QString itemError = QStringLiteral("CheckItem Json transform error!");
        const QString placeError = QStringLiteral("PositionType Json transform error!");
        // Without a file the rest of the construction is skipped: the switch is not read.
        QTest::newRow("both read") << items << places << QByteArray("0") << none << itemNames << placeNames << false;
        QTest::newRow("switch on") << items << places << QByteArray("1") << none << itemNames << placeNames << true;
        QTest::newRow("[] and {}") << QByteArray("[]") << QByteArray("{}") << QByteArray("0") << none << none << none << false;
        QTest::newRow("empty check-item file") << QByteArray("") << places << QByteArray("0") << QStringList{itemError} << none << placeNames << false;
        QTest::newRow("both broken") << QByteArray("[{") << QByteArray("x") << QByteArray("0") << QStringList{itemError, placeError} << none << none << false;
        QTest::newRow("no check-item file") << QByteArray() << places << QByteArray("0") << QStringList{"cloudCheckItem.json read error!"} << none << none << true;
        QTest::newRow("no position file") << items << QByteArray() << QByteArray("0") << QStringList{"cloudPositionItem.json read error!"} << none << none << true;
        // Files are read as GBK; UTF-8 names come out garbled.
        QTest::newRow("GBK, UTF-8") << QByteArray("[{\"checkitem\":\"\xc2\xad\xc4\xd4\xc6\xbd\xc9\xa8\"}]")
                                    << QByteArray("[{\"positiontypename\":\"\xe5\xa4\xb4\xe9\x83\xa8\"}]") << QByteArray("0")
                                    << none << QStringList{QString::fromUtf8("颅脑平扫")} << QStringList{QString::fromUtf8("澶撮儴")} << false;
    }

    void construction()
    {
        QFETCH(QByteArray, checkItemFile);
        QFETCH(QByteArray, positionFile);
        QFETCH(QByteArray, cloudSwitch);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, checkItems);
        QFETCH(QStringList, positions);
        QFETCH(bool, dateEnabled);

        FormFiles::clear();
        if (!checkItemFile.isNull())
            QVERIFY(FormFiles::write(FormFiles::checkItemFile(), checkItemFile));
        if (!positionFile.isNull())
            QVERIFY(FormFiles::write(FormFiles::positionFile(), positionFile));
        QVERIFY(FormFiles::write(FormFiles::dir("/config/main.ini"), "[cloudPatient]\ncloud=" + cloudSwitch));
        for (const QString& box : boxes)
            answerer->expect(box);

        const CloudPaientInfoForm form;
        // What comes before the dictionaries is in place whatever they hold (tests/layout's dump has the details).
        QCOMPARE(Access::items(form, "sexComboBox") + Access::items(form, "ageUnitComboBox")
                     + Access::items(form, "ageComboBox").mid(197),
                 QStringList({"F", "M", "O", "Y", "M", "D", "H", "Unclear", "198", "199"}));
        QCOMPARE(form.windowFlags() & ~Qt::WindowType_Mask, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        QVERIFY(form.isWindow() && !form.isVisible() && !Access::widget(form, "checkCalendarWidget")->isVisibleTo(&form));

        QCOMPARE(Access::items(form, "checkItemComboBox"), checkItems);
        QCOMPARE(Access::items(form, "studyPositionComboBox"), positions);
        QCOMPARE(Access::widget(form, "datePushButton")->isEnabled(), dateEnabled);
    }

    void laterLoads()
    {
        // Check items are added behind the first ones, positions replaced; both boxes only grow.
        CloudPaientInfoForm form;
        form.loadCheckItems(QStringLiteral(R"([{"checkitemid":"3","checkitem":"US Liver"}])"));
        form.loadPositions(QStringLiteral(R"([{"positiontypeid":"7","positiontypename":"Knee"}])"));
        answerer->expect(QStringLiteral("CheckItem Json transform error!"));
        answerer->expect(QStringLiteral("PositionType Json transform error!"));
        form.loadCheckItems(QStringLiteral("[{"));
        form.loadPositions(QString());

        const QStringList items{"CT Head", "CT Chest", "MR Knee", "US Liver"};
        QCOMPARE(Access::items(form, "checkItemComboBox"), items);
        QCOMPARE(Access::checkItemNames(form), items);
        QCOMPARE(Access::positionNames(form), QVector<QString>{QStringLiteral("Knee")});
        QCOMPARE(Access::items(form, "studyPositionComboBox"), QStringList({"Head", "Chest", "Knee"}));
    }
};

QTEST_MAIN(TestForm)
#include "tst_form.moc"
