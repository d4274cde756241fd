#include "cloudpaientinfoform.h"
#include "formfixture.h"
#include "messageboxanswerer.h"

#include <QBoxLayout>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFrame>
#include <QPushButton>
#include <QTest>

#include <iterator>
#include <memory>

namespace {

// Fix: Fixed x Fixed; Def: left as Qt makes it; Lay: a layout.
enum Policy { Fix, Def, PrefFix, FixExp, Lay };

struct Row
{
    const char* name;
    const char* className;
    const char* parent;  // for a layout, the widget it is set on
    QRect box;           // geometry, null when a layout places the widget; a layout's margins
    QSize minimum;       // null: not set
    QSize maximum;
    Policy policy;
    const char* styleSheet;
    const char* text;    // null: has none
};

// Left, top, right, bottom; a right margin of -1 is the style's.
QRect margins(int l, int t, int r, int b) { return QRect(l, t, r, b); }
const QSize none;
const QRect placed;

// The widget tree in creation order.
const Row rows[] = {
    {"baseWidget", "QWidget", "CloudPaientInfoForm", QRect(0, 0, 605, 831), none, none, Def, "", nullptr},
    {"midWidget", "QWidget", "baseWidget", QRect(3, 3, 599, 825), none, none, Def, "", nullptr},
    {"titleWidget", "QWidget", "midWidget", QRect(0, 0, 599, 22), QSize(599, 22), QSize(599, 22), PrefFix, "background-color:rgba(204,204,204,255);", nullptr},
    {"horizontalLayout", "QHBoxLayout", "titleWidget", margins(24, 0, 0, 0), none, none, Lay, "", nullptr},
    {"checkInfoLabel", "QLabel", "titleWidget", placed, none, none, Def, "", "检查信息"},
    {"closeButton", "QPushButton", "titleWidget", placed, QSize(22, 22), QSize(22, 22), Def, "background-color:rgba(0,0,0,0);", ""},
    {"modifiedWidget", "QWidget", "midWidget", QRect(0, 22, 599, 803), none, none, Fix, "", nullptr},
    {"mainWidget", "QWidget", "modifiedWidget", QRect(5, 5, 589, 793), none, none, Def, "", nullptr},
    {"headWidget", "QWidget", "mainWidget", QRect(0, 0, 589, 72), none, none, Def, "border-color:rgba(255,255,255,0);", nullptr},
    {"horizontalLayout_2", "QHBoxLayout", "headWidget", margins(12, 37, 497, 20), none, none, Lay, "", nullptr},
    {"modCheckInfoLabel", "QLabel", "headWidget", placed, QSize(80, 14), QSize(80, 14), Fix, "border-color:rgba(255,255,255,0);", "修改检查信息"},
    {"line", "QFrame", "mainWidget", QRect(0, 72, 589, 1), none, none, Fix, "color:rgba(240,240,240,255);", nullptr},
    {"patientNameWidget", "QWidget", "mainWidget", QRect(0, 137, 589, 34), none, none, Fix, "", nullptr},
    {"horizontalLayout_3", "QHBoxLayout", "patientNameWidget", margins(27, 0, 219, 12), none, none, Lay, "", nullptr},
    {"patientNameLlabel", "QLabel", "patientNameWidget", placed, none, none, Fix, "", "患者姓名"},
    {"patientNameLineEdit", "QLineEdit", "patientNameWidget", placed, QSize(269, 22), QSize(269, 22), Fix, "", nullptr},
    {"plusLabel", "QLabel", "patientNameWidget", placed, QSize(12, 12), QSize(12, 12), Def, "", "*"},
    {"sexAgeWidget", "QWidget", "mainWidget", QRect(0, 171, 589, 34), none, none, Fix, "", nullptr},
    {"sexWidget", "QWidget", "sexAgeWidget", QRect(0, 0, 165, 34), none, none, Fix, "", nullptr},
    {"horizontalLayout_4", "QHBoxLayout", "sexWidget", margins(51, 0, -1, 12), none, none, Lay, "", nullptr},
    {"sexLabel", "QLabel", "sexWidget", placed, none, none, Def, "", "性别"},
    {"sexComboBox", "QComboBox", "sexWidget", placed, QSize(82, 22), QSize(82, 22), Fix, "", nullptr},
    {"ageWidget", "QWidget", "sexAgeWidget", QRect(165, 0, 424, 34), none, none, Fix, "", nullptr},
    {"horizontalLayout_5", "QHBoxLayout", "ageWidget", margins(38, 0, 238, 12), none, none, Lay, "", nullptr},
    {"ageLabel", "QLabel", "ageWidget", placed, QSize(24, 12), QSize(24, 12), Fix, "", "年龄"},
    {"ageComboBox", "QComboBox", "ageWidget", placed, QSize(64, 22), QSize(64, 22), Fix, "", nullptr},
    {"ageUnitComboBox", "QComboBox", "ageWidget", placed, QSize(64, 22), QSize(64, 22), Fix, "", nullptr},
    {"checkDateWidget", "QWidget", "mainWidget", QRect(0, 204, 357, 41), none, none, Fix, "", nullptr},
    {"checkDateLabel", "QLabel", "checkDateWidget", QRect(30, 0, 48, 22), QSize(48, 22), QSize(48, 12), Fix, "", "检查日期"},
    {"checkDateTimeEdit", "QDateTimeEdit", "checkDateWidget", QRect(83, 0, 204, 22), QSize(204, 22), QSize(204, 22), Fix, "background-color:rgba(238,238,238,255);", nullptr},
    {"datePushButton", "QPushButton", "checkDateWidget", QRect(240, 0, 48, 22), QSize(48, 22), QSize(48, 22), Fix, "", ""},
    {"checkPartWidget", "QWidget", "mainWidget", QRect(0, 246, 589, 34), none, none, Fix, "", nullptr},
    {"horizontalLayout_7", "QHBoxLayout", "checkPartWidget", margins(27, 0, 302, 12), none, none, Lay, "", nullptr},
    {"checkPartLabel", "QLabel", "checkPartWidget", placed, QSize(48, 22), QSize(48, 22), Fix, "", "检查部位"},
    {"studyPositionComboBox", "QComboBox", "checkPartWidget", placed, QSize(204, 22), QSize(204, 22), Fix, "", nullptr},
    {"checkMethodWidget", "QWidget", "mainWidget", QRect(0, 280, 589, 47), none, none, Fix, "", nullptr},
    {"horizontalLayout_8", "QHBoxLayout", "checkMethodWidget", margins(27, 0, 302, 25), none, none, Lay, "", nullptr},
    {"checkMethodLabel", "QLabel", "checkMethodWidget", placed, QSize(48, 22), QSize(48, 22), Fix, "", "检查方法"},
    {"checkItemComboBox", "QComboBox", "checkMethodWidget", placed, QSize(204, 22), QSize(204, 22), Fix, "", nullptr},
    {"symptomWidget", "QWidget", "mainWidget", QRect(0, 327, 589, 125), none, none, Fix, "", nullptr},
    {"symTitleWidget", "QWidget", "symptomWidget", QRect(0, 0, 589, 14), none, none, Def, "", nullptr},
    {"horizontalLayout_9", "QHBoxLayout", "symTitleWidget", margins(27, 0, 418, 0), none, none, Lay, "", nullptr},
    {"symptomLabel", "QLabel", "symTitleWidget", placed, QSize(84, 14), QSize(84, 14), Fix, "", "临床症状和体征"},
    {"mustPadLabel", "QLabel", "symTitleWidget", placed, QSize(60, 14), QSize(60, 14), Fix, "", "（必填项）"},
    {"symptomTextEdit", "QTextEdit", "symptomWidget", QRect(27, 22, 531, 76), none, none, Def, "", nullptr},
    {"checkResultWidget", "QWidget", "mainWidget", QRect(0, 452, 589, 121), none, none, Fix, "", nullptr},
    {"resultTitleWidget", "QWidget", "checkResultWidget", QRect(0, 0, 589, 14), none, none, Def, "", nullptr},
    {"horizontalLayout_10", "QHBoxLayout", "resultTitleWidget", margins(27, 0, 490, 0), none, none, Lay, "", nullptr},
    {"checkResultLabel", "QLabel", "resultTitleWidget", placed, QSize(72, 14), QSize(72, 14), Fix, "", "相关检查结果"},
    {"checkResultTextEdit", "QTextEdit", "checkResultWidget", QRect(27, 22, 531, 72), none, none, FixExp, "", nullptr},
    {"diagnosisiWidget", "QWidget", "mainWidget", QRect(0, 573, 589, 126), none, none, Fix, "", nullptr},
    {"diagnoseTitleWidget", "QWidget", "diagnosisiWidget", QRect(0, 0, 589, 14), none, none, Def, "", nullptr},
    {"horizontalLayout_11", "QHBoxLayout", "diagnoseTitleWidget", margins(27, 0, 490, 0), none, none, Lay, "", nullptr},
    {"diagnosisLabel", "QLabel", "diagnoseTitleWidget", placed, QSize(48, 14), QSize(48, 14), Fix, "", "临床诊断"},
    {"diagPadWidget", "QWidget", "diagnosisiWidget", QRect(27, 24, 531, 72), none, none, Fix, "border:1px solid;border-color:rgba(238,238,238,255);", nullptr},
    {"diagnoseTextEdit", "QTextEdit", "diagPadWidget", QRect(0, 0, 531, 72), none, none, Fix, "", nullptr},
    {"tailWidget", "QWidget", "mainWidget", QRect(0, 700, 589, 93), none, none, Fix, "", nullptr},
    {"horizontalLayout_12", "QHBoxLayout", "tailWidget", margins(361, 28, 37, 44), none, none, Lay, "", nullptr},
    {"cancelPushButton", "QPushButton", "tailWidget", placed, QSize(83, 22), QSize(83, 22), Fix, "", "关闭"},
    {"enterPushButton", "QPushButton", "tailWidget", placed, QSize(83, 22), QSize(83, 22), Fix, "", "保存"},
    {"line_2", "QFrame", "mainWidget", QRect(0, 699, 589, 1), none, none, Fix, "color:rgba(240,240,240,255);", nullptr},
    {"checkCalendarWidget", "QCalendarWidget", "mainWidget", QRect(83, 238, 248, 170), none, none, Fix, "background-color:rgba(204,204,204,255);", nullptr},
    {"checkIDWidget", "QWidget", "mainWidget", QRect(0, 72, 589, 65), none, none, Fix, "", nullptr},
    {"horizontalLayout_6", "QHBoxLayout", "checkIDWidget", margins(27, 30, 225, 12), none, none, Lay, "", nullptr},
    {"checkIDLabel", "QLabel", "checkIDWidget", placed, none, none, Fix, "", "检查流水号"},
    {"checkIDLineEdit", "QLineEdit", "checkIDWidget", placed, QSize(269, 22), QSize(269, 22), Fix, "", nullptr},
    {"line_3", "QFrame", "modifiedWidget", QRect(0, 0, 599, 5), none, none, Fix, "color:rgb(42,170,170);", nullptr},
    {"line_4", "QFrame", "modifiedWidget", QRect(0, 798, 599, 5), none, none, Fix, "color:rgb(42,170,170);", nullptr},
    {"line_5", "QFrame", "modifiedWidget", QRect(0, 0, 5, 803), none, none, Fix, "color:rgb(42,170,170);", nullptr},
    {"line_6", "QFrame", "modifiedWidget", QRect(594, 0, 5, 803), none, none, Fix, "color:rgb(42,170,170);", nullptr},
    {"line_7", "QFrame", "baseWidget", QRect(0, 0, 605, 1), none, none, Fix, "color:rgba(40,40,40,255);", nullptr},
    {"line_8", "QFrame", "baseWidget", QRect(0, 830, 605, 1), none, none, Fix, "color:rgba(40,40,40,255);", nullptr},
    {"line_9", "QFrame", "baseWidget", QRect(0, 1, 605, 1), none, none, Fix, "color:rgba(255,255,255,255);", nullptr},
    {"line_10", "QFrame", "baseWidget", QRect(1, 829, 603, 1), none, none, Fix, "color:rgba(255,255,255,255);", nullptr},
    {"line_11", "QFrame", "baseWidget", QRect(0, 2, 605, 1), none, none, Fix, "color:rgba(240,240,240,255);", nullptr},
    {"line_12", "QFrame", "baseWidget", QRect(2, 828, 601, 1), none, none, Fix, "color:rgba(240,240,240,255);", nullptr},
    {"line_13", "QFrame", "baseWidget", QRect(0, 0, 1, 831), none, none, Fix, "color:rgba(40,40,40,255);", nullptr},
    {"line_14", "QFrame", "baseWidget", QRect(604, 0, 1, 831), none, none, Fix, "color:rgba(40,40,40,255);", nullptr},
    {"line_15", "QFrame", "baseWidget", QRect(1, 1, 1, 829), none, none, Fix, "color:rgba(255,255,255,255);", nullptr},
    {"line_16", "QFrame", "baseWidget", QRect(603, 1, 1, 829), none, none, Fix, "color:rgba(255,255,255,255);", nullptr},
    {"line_17", "QFrame", "baseWidget", QRect(2, 2, 1, 827), none, none, Fix, "color:rgba(240,240,240,255);", nullptr},
    {"line_18", "QFrame", "baseWidget", QRect(602, 2, 1, 827), none, none, Fix, "color:rgba(240,240,240,255);", nullptr},
};

} // namespace

class LayoutTest : public QObject
{
    Q_OBJECT

    template <typename T = QWidget>
    T* find(const char* name) const { return form->findChild<T*>(QLatin1String(name)); }

    MessageBoxAnswerer answerer;
    std::unique_ptr<CloudPaientInfoForm> form;

private slots:
    void initTestCase()
    {
        QVERIFY(FormFiles::writeDictionaries("[]", "[]"));
        form = std::make_unique<CloudPaientInfoForm>();
        VERIFY_BOXES(answerer);
    }

    void widgetTree_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(rows)); ++i)
            QTest::newRow(rows[i].name) << i;
    }

    void widgetTree()
    {
        QFETCH(int, index);
        const Row& row = rows[index];
        QObject* object = form->findChild<QObject*>(QLatin1String(row.name));
        QVERIFY(object);
        QCOMPARE(object->metaObject()->className(), row.className);

        if (auto* layout = qobject_cast<QBoxLayout*>(object)) {
            QCOMPARE(layout->parentWidget()->objectName(), QLatin1String(row.parent));
            QCOMPARE(layout->parentWidget()->layout(), layout);
            QWidget window;
            const QHBoxLayout plain(new QWidget(&window));
            const QRect& m = row.box;
            QCOMPARE(layout->contentsMargins(), QMargins(m.x(), m.y(), m.width() < 0 ? plain.contentsMargins().right() : m.width(), m.height()));
            const QByteArray name = row.name;
            QCOMPARE(layout->spacing(), name == "horizontalLayout_5" ? 8 : name == "horizontalLayout_12" ? 25 : plain.spacing());
            // A layout holds the placed widgets of its parent, in table order, without stretch.
            QStringList expected, held;
            for (const Row& other : rows)
                if (other.policy != Lay && other.box.isNull() && !qstrcmp(other.parent, row.parent))
                    expected << QLatin1String(other.name);
            for (int i = 0; i < layout->count(); ++i) {
                held << layout->itemAt(i)->widget()->objectName();
                QCOMPARE(layout->stretch(i), 0);
                QCOMPARE(layout->itemAt(i)->alignment(), held.last() == "modCheckInfoLabel" ? Qt::AlignLeft : Qt::Alignment());
            }
            QCOMPARE(held, expected);
            return;
        }

        auto* widget = qobject_cast<QWidget*>(object);
        QCOMPARE(widget->parentWidget()->objectName(), QLatin1String(row.parent));
        if (!row.box.isNull())
            QCOMPARE(widget->geometry(), row.box);
        QCOMPARE(widget->minimumSize(), row.minimum.isValid() ? row.minimum : QSize(0, 0));
        QCOMPARE(widget->maximumSize(), row.maximum.isValid() ? row.maximum : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        if (row.policy != Def) {
            QCOMPARE(widget->sizePolicy().horizontalPolicy(), row.policy == PrefFix ? QSizePolicy::Preferred : QSizePolicy::Fixed);
            QCOMPARE(widget->sizePolicy().verticalPolicy(), row.policy == FixExp ? QSizePolicy::Expanding : QSizePolicy::Fixed);
        }
        QCOMPARE(widget->styleSheet(), QString::fromUtf8(row.styleSheet));
        if (row.text)
            QCOMPARE(widget->property("text").toString(), QString::fromUtf8(row.text));
        if (!qstrcmp(row.className, "QFrame")) {
            const auto* line = static_cast<QFrame*>(widget);
            QCOMPARE(line->frameShape(), row.box.width() < row.box.height() ? QFrame::VLine : QFrame::HLine);
            QCOMPARE(line->frameShadow(), QFrame::Plain);
            QCOMPARE(line->lineWidth(), !qstrcmp(row.parent, "modifiedWidget") ? 5 : 1);
        }
        // Edit fields have no frame; every combo box takes typed text.
        if (widget->inherits("QComboBox") || widget->inherits("QLineEdit"))
            QVERIFY(!widget->property("frame").toBool() && widget->property("editable").toBool() != widget->inherits("QLineEdit"));
    }

    void stackingOrder()
    {
        // Children are created in table order; setupUi raises those of these two.
        const auto order = [this](const char* parent) {
            QStringList names;
            for (const QObject* child : find(parent)->children())
                names << child->objectName();
            return names;
        };
        QCOMPARE(order("mainWidget"), QStringList({"headWidget", "patientNameWidget", "sexAgeWidget", "checkDateWidget", "checkPartWidget",
                                                   "checkMethodWidget", "symptomWidget", "checkResultWidget", "diagnosisiWidget", "tailWidget",
                                                   "line_2", "checkCalendarWidget", "checkIDWidget", "line"}));
        QCOMPARE(order("midWidget"), QStringList({"modifiedWidget", "titleWidget"}));
    }

    void settings()
    {
        QCOMPARE(form->objectName(), QStringLiteral("CloudPaientInfoForm"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Form"));
        QCOMPARE(form->size(), QSize(605, 831));
        QCOMPARE(form->sizePolicy(), QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed));
        QVERIFY(!form->autoFillBackground() && form->styleSheet().isEmpty());

        QCOMPARE(find("modCheckInfoLabel")->font().family() + find("patientNameLlabel")->font().family(), QStringLiteral("宋体宋体"));
        QCOMPARE(find("modCheckInfoLabel")->font().pointSize(), 10);
        QCOMPARE(find("patientNameLlabel")->font().pointSize(), form->font().pointSize());

        const auto* sex = find<QComboBox>("sexComboBox");
        QVERIFY(sex->maxVisibleItems() == 3 && sex->insertPolicy() == QComboBox::InsertAlphabetically && sex->iconSize() == QSize(16, 16));
        QCOMPARE(find<QComboBox>("studyPositionComboBox")->maxVisibleItems(), 20);
        QCOMPARE(find<QComboBox>("ageComboBox")->minimumContentsLength(), 1);
        QCOMPARE(find<QDateTimeEdit>("checkDateTimeEdit")->displayFormat(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QCOMPARE(find<QDateTimeEdit>("checkDateTimeEdit")->buttonSymbols(), QAbstractSpinBox::NoButtons);
        QVERIFY(find<QPushButton>("datePushButton")->isFlat() && find<QCalendarWidget>("checkCalendarWidget")->isGridVisible());

        // Solid brushes, the same in every colour group.
        const auto brushes = [this](const char* name, std::initializer_list<QPalette::ColorRole> roles) {
            QSet<QRgb> colours;
            for (QPalette::ColorRole role : roles)
                for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
                    colours << (find(name)->palette().brush(group, role).style() == Qt::SolidPattern
                                    ? find(name)->palette().color(group, role).rgba() : 0);
            return colours;
        };
        const auto back = {QPalette::Button, QPalette::Base, QPalette::Window};
        QCOMPARE(brushes("modifiedWidget", back), QSet<QRgb>{qRgb(255, 255, 255)});
        QCOMPARE(brushes("checkCalendarWidget", back), QSet<QRgb>{qRgb(204, 204, 204)});
        for (const char* line : {"line_3", "line_4"}) {
            QCOMPARE(brushes(line, back), QSet<QRgb>{qRgb(255, 255, 255)});
            QCOMPARE(brushes(line, {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}), QSet<QRgb>{qRgb(42, 170, 170)});
        }

        // The icons are the library's own images at 20 x 20.
        const std::pair<const char*, QSize> icons[] = {{"closeButton", {20, 21}}, {"datePushButton", {40, 40}}};
        for (const auto& [button, size] : icons)
            QVERIFY(find<QPushButton>(button)->iconSize() == QSize(20, 20)
                    && find<QPushButton>(button)->icon().availableSizes() == QList<QSize>({size}));
    }
};

QTEST_MAIN(LayoutTest)
#include "tst_layout.moc"
