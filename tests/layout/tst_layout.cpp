#include "cloudpaientinfoform.h"
#include "messageboxanswerer.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMetaEnum>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include <iterator>
#include <memory>

Q_DECLARE_METATYPE(QMargins)

namespace {

enum Policy { FixedPolicy, QtDefault, PreferredFixed, FixedExpanding, NoPolicy };

struct Row
{
    const char* name;
    const char* className;
    const char* parent;
    QRect geometry;   // null for what a layout places
    QSize minimum;    // null: not set
    QSize maximum;    // null: not set
    Policy policy;
};

QSize fixed(int w, int h) { return QSize(w, h); }
QRect at(int x, int y, int w, int h) { return QRect(x, y, w, h); }
const QSize none;
const QRect placed;

// The widget tree in creation order; layouts name the widget they are set on.
const Row rows[] = {
    {"baseWidget", "QWidget", "CloudPaientInfoForm", at(0, 0, 605, 831), none, none, QtDefault},
    {"midWidget", "QWidget", "baseWidget", at(3, 3, 599, 825), none, none, QtDefault},
    {"titleWidget", "QWidget", "midWidget", at(0, 0, 599, 22), fixed(599, 22), fixed(599, 22), PreferredFixed},
    {"horizontalLayout", "QHBoxLayout", "titleWidget", placed, none, none, NoPolicy},
    {"checkInfoLabel", "QLabel", "titleWidget", placed, none, none, QtDefault},
    {"closeButton", "QPushButton", "titleWidget", placed, fixed(22, 22), fixed(22, 22), QtDefault},
    {"modifiedWidget", "QWidget", "midWidget", at(0, 22, 599, 803), none, none, FixedPolicy},
    {"mainWidget", "QWidget", "modifiedWidget", at(5, 5, 589, 793), none, none, QtDefault},
    {"headWidget", "QWidget", "mainWidget", at(0, 0, 589, 72), none, none, QtDefault},
    {"horizontalLayout_2", "QHBoxLayout", "headWidget", placed, none, none, NoPolicy},
    {"modCheckInfoLabel", "QLabel", "headWidget", placed, fixed(80, 14), fixed(80, 14), FixedPolicy},
    {"line", "QFrame", "mainWidget", at(0, 72, 589, 1), none, none, FixedPolicy},
    {"patientNameWidget", "QWidget", "mainWidget", at(0, 137, 589, 34), none, none, FixedPolicy},
    {"horizontalLayout_3", "QHBoxLayout", "patientNameWidget", placed, none, none, NoPolicy},
    {"patientNameLlabel", "QLabel", "patientNameWidget", placed, none, none, FixedPolicy},
    {"patientNameLineEdit", "QLineEdit", "patientNameWidget", placed, fixed(269, 22), fixed(269, 22), FixedPolicy},
    {"plusLabel", "QLabel", "patientNameWidget", placed, fixed(12, 12), fixed(12, 12), QtDefault},
    {"sexAgeWidget", "QWidget", "mainWidget", at(0, 171, 589, 34), none, none, FixedPolicy},
    {"sexWidget", "QWidget", "sexAgeWidget", at(0, 0, 165, 34), none, none, FixedPolicy},
    {"horizontalLayout_4", "QHBoxLayout", "sexWidget", placed, none, none, NoPolicy},
    {"sexLabel", "QLabel", "sexWidget", placed, none, none, QtDefault},
    {"sexComboBox", "QComboBox", "sexWidget", placed, fixed(82, 22), fixed(82, 22), FixedPolicy},
    {"ageWidget", "QWidget", "sexAgeWidget", at(165, 0, 424, 34), none, none, FixedPolicy},
    {"horizontalLayout_5", "QHBoxLayout", "ageWidget", placed, none, none, NoPolicy},
    {"ageLabel", "QLabel", "ageWidget", placed, fixed(24, 12), fixed(24, 12), FixedPolicy},
    {"ageComboBox", "QComboBox", "ageWidget", placed, fixed(64, 22), fixed(64, 22), FixedPolicy},
    {"ageUnitComboBox", "QComboBox", "ageWidget", placed, fixed(64, 22), fixed(64, 22), FixedPolicy},
    {"checkDateWidget", "QWidget", "mainWidget", at(0, 204, 357, 41), none, none, FixedPolicy},
    {"checkDateLabel", "QLabel", "checkDateWidget", at(30, 0, 48, 22), fixed(48, 22), fixed(48, 12), FixedPolicy},
    {"checkDateTimeEdit", "QDateTimeEdit", "checkDateWidget", at(83, 0, 204, 22), fixed(204, 22), fixed(204, 22), FixedPolicy},
    {"datePushButton", "QPushButton", "checkDateWidget", at(240, 0, 48, 22), fixed(48, 22), fixed(48, 22), FixedPolicy},
    {"checkPartWidget", "QWidget", "mainWidget", at(0, 246, 589, 34), none, none, FixedPolicy},
    {"horizontalLayout_7", "QHBoxLayout", "checkPartWidget", placed, none, none, NoPolicy},
    {"checkPartLabel", "QLabel", "checkPartWidget", placed, fixed(48, 22), fixed(48, 22), FixedPolicy},
    {"studyPositionComboBox", "QComboBox", "checkPartWidget", placed, fixed(204, 22), fixed(204, 22), FixedPolicy},
    {"checkMethodWidget", "QWidget", "mainWidget", at(0, 280, 589, 47), none, none, FixedPolicy},
    {"horizontalLayout_8", "QHBoxLayout", "checkMethodWidget", placed, none, none, NoPolicy},
    {"checkMethodLabel", "QLabel", "checkMethodWidget", placed, fixed(48, 22), fixed(48, 22), FixedPolicy},
    {"checkItemComboBox", "QComboBox", "checkMethodWidget", placed, fixed(204, 22), fixed(204, 22), FixedPolicy},
    {"symptomWidget", "QWidget", "mainWidget", at(0, 327, 589, 125), none, none, FixedPolicy},
    {"symTitleWidget", "QWidget", "symptomWidget", at(0, 0, 589, 14), none, none, QtDefault},
    {"horizontalLayout_9", "QHBoxLayout", "symTitleWidget", placed, none, none, NoPolicy},
    {"symptomLabel", "QLabel", "symTitleWidget", placed, fixed(84, 14), fixed(84, 14), FixedPolicy},
    {"mustPadLabel", "QLabel", "symTitleWidget", placed, fixed(60, 14), fixed(60, 14), FixedPolicy},
    {"symptomTextEdit", "QTextEdit", "symptomWidget", at(27, 22, 531, 76), none, none, QtDefault},
    {"checkResultWidget", "QWidget", "mainWidget", at(0, 452, 589, 121), none, none, FixedPolicy},
    {"resultTitleWidget", "QWidget", "checkResultWidget", at(0, 0, 589, 14), none, none, QtDefault},
    {"horizontalLayout_10", "QHBoxLayout", "resultTitleWidget", placed, none, none, NoPolicy},
    {"checkResultLabel", "QLabel", "resultTitleWidget", placed, fixed(72, 14), fixed(72, 14), FixedPolicy},
    {"checkResultTextEdit", "QTextEdit", "checkResultWidget", at(27, 22, 531, 72), none, none, FixedExpanding},
    {"diagnosisiWidget", "QWidget", "mainWidget", at(0, 573, 589, 126), none, none, FixedPolicy},
    {"diagnoseTitleWidget", "QWidget", "diagnosisiWidget", at(0, 0, 589, 14), none, none, QtDefault},
    {"horizontalLayout_11", "QHBoxLayout", "diagnoseTitleWidget", placed, none, none, NoPolicy},
    {"diagnosisLabel", "QLabel", "diagnoseTitleWidget", placed, fixed(48, 14), fixed(48, 14), FixedPolicy},
    {"diagPadWidget", "QWidget", "diagnosisiWidget", at(27, 24, 531, 72), none, none, FixedPolicy},
    {"diagnoseTextEdit", "QTextEdit", "diagPadWidget", at(0, 0, 531, 72), none, none, FixedPolicy},
    {"tailWidget", "QWidget", "mainWidget", at(0, 700, 589, 93), none, none, FixedPolicy},
    {"horizontalLayout_12", "QHBoxLayout", "tailWidget", placed, none, none, NoPolicy},
    {"cancelPushButton", "QPushButton", "tailWidget", placed, fixed(83, 22), fixed(83, 22), FixedPolicy},
    {"enterPushButton", "QPushButton", "tailWidget", placed, fixed(83, 22), fixed(83, 22), FixedPolicy},
    {"line_2", "QFrame", "mainWidget", at(0, 699, 589, 1), none, none, FixedPolicy},
    {"checkCalendarWidget", "QCalendarWidget", "mainWidget", at(83, 238, 248, 170), none, none, FixedPolicy},
    {"checkIDWidget", "QWidget", "mainWidget", at(0, 72, 589, 65), none, none, FixedPolicy},
    {"horizontalLayout_6", "QHBoxLayout", "checkIDWidget", placed, none, none, NoPolicy},
    {"checkIDLabel", "QLabel", "checkIDWidget", placed, none, none, FixedPolicy},
    {"checkIDLineEdit", "QLineEdit", "checkIDWidget", placed, fixed(269, 22), fixed(269, 22), FixedPolicy},
    {"line_3", "QFrame", "modifiedWidget", at(0, 0, 599, 5), none, none, FixedPolicy},
    {"line_4", "QFrame", "modifiedWidget", at(0, 798, 599, 5), none, none, FixedPolicy},
    {"line_5", "QFrame", "modifiedWidget", at(0, 0, 5, 803), none, none, FixedPolicy},
    {"line_6", "QFrame", "modifiedWidget", at(594, 0, 5, 803), none, none, FixedPolicy},
    {"line_7", "QFrame", "baseWidget", at(0, 0, 605, 1), none, none, FixedPolicy},
    {"line_8", "QFrame", "baseWidget", at(0, 830, 605, 1), none, none, FixedPolicy},
    {"line_9", "QFrame", "baseWidget", at(0, 1, 605, 1), none, none, FixedPolicy},
    {"line_10", "QFrame", "baseWidget", at(1, 829, 603, 1), none, none, FixedPolicy},
    {"line_11", "QFrame", "baseWidget", at(0, 2, 605, 1), none, none, FixedPolicy},
    {"line_12", "QFrame", "baseWidget", at(2, 828, 601, 1), none, none, FixedPolicy},
    {"line_13", "QFrame", "baseWidget", at(0, 0, 1, 831), none, none, FixedPolicy},
    {"line_14", "QFrame", "baseWidget", at(604, 0, 1, 831), none, none, FixedPolicy},
    {"line_15", "QFrame", "baseWidget", at(1, 1, 1, 829), none, none, FixedPolicy},
    {"line_16", "QFrame", "baseWidget", at(603, 1, 1, 829), none, none, FixedPolicy},
    {"line_17", "QFrame", "baseWidget", at(2, 2, 1, 827), none, none, FixedPolicy},
    {"line_18", "QFrame", "baseWidget", at(602, 2, 1, 827), none, none, FixedPolicy},
};

QSizePolicy expectedPolicy(const Row& row)
{
    switch (row.policy) {
    case FixedPolicy: return QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    case PreferredFixed: return QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    case FixedExpanding: return QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    case NoPolicy: break;
    case QtDefault: {
        // Whatever a fresh widget of the class starts with.
        const QByteArray cls = row.className;
        if (cls == "QLabel") return QLabel().sizePolicy();
        if (cls == "QPushButton") return QPushButton().sizePolicy();
        if (cls == "QTextEdit") return QTextEdit().sizePolicy();
        return QWidget().sizePolicy();
    }
    }
    return QSizePolicy();
}

QColor rgba(int r, int g, int b) { return QColor(r, g, b, 255); }

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QStringList namedChildren(const QObject* parent, const QSet<QString>& known)
{
    QStringList names;
    for (const QObject* child : parent->children()) {
        if (child->isWidgetType() && known.contains(child->objectName()))
            names << child->objectName();
    }
    return names;
}

} // namespace

class LayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void window();
    void widgetTree_data();
    void widgetTree();
    void stackingOrder();
    void layouts_data();
    void layouts();
    void styleSheets();
    void palettes_data();
    void palettes();
    void fonts();
    void lines();
    void comboBoxes_data();
    void comboBoxes();
    void lineEdits();
    void texts_data();
    void texts();
    void dateControls();
    void icons_data();
    void icons();

private:
    template<typename T = QWidget>
    T* find(const char* name) const { return form->findChild<T*>(QLatin1String(name)); }

    std::unique_ptr<MessageBoxAnswerer> answerer;
    std::unique_ptr<CloudPaientInfoForm> form;
};

void LayoutTest::initTestCase()
{
    answerer = std::make_unique<MessageBoxAnswerer>();
    const QString config = QCoreApplication::applicationDirPath() + QStringLiteral("/../config");
    QVERIFY(QDir().mkpath(config));
    QVERIFY(writeFile(config + QStringLiteral("/cloudCheckItem.json"), "[]"));
    QVERIFY(writeFile(config + QStringLiteral("/cloudPositionItem.json"), "[]"));
    form = std::make_unique<CloudPaientInfoForm>(nullptr);
    VERIFY_BOXES(*answerer);
}

void LayoutTest::cleanupTestCase()
{
    form.reset();
    VERIFY_BOXES(*answerer);
}

void LayoutTest::window()
{
    QCOMPARE(form->objectName(), QStringLiteral("CloudPaientInfoForm"));
    QCOMPARE(form->size(), QSize(605, 831));
    QCOMPARE(form->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(form->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QVERIFY(!form->autoFillBackground());
    QCOMPARE(form->styleSheet(), QString());
    QCOMPARE(form->windowTitle(), QStringLiteral("Form"));
}

void LayoutTest::widgetTree_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(rows)); ++i)
        QTest::newRow(rows[i].name) << i;
    QCOMPARE(int(std::size(rows)), 82);
}

void LayoutTest::widgetTree()
{
    QFETCH(int, index);
    const Row& row = rows[index];

    QObject* object = form->findChild<QObject*>(QLatin1String(row.name));
    QVERIFY(object);
    QCOMPARE(QByteArray(object->metaObject()->className()), QByteArray(row.className));

    if (auto* layout = qobject_cast<QLayout*>(object)) {
        QVERIFY(layout->parentWidget());
        QCOMPARE(layout->parentWidget()->objectName(), QLatin1String(row.parent));
        QCOMPARE(layout->parentWidget()->layout(), layout);
        return;
    }

    auto* widget = qobject_cast<QWidget*>(object);
    QVERIFY(widget && widget->parentWidget());
    QCOMPARE(widget->parentWidget()->objectName(), QLatin1String(row.parent));
    if (!row.geometry.isNull())
        QCOMPARE(widget->geometry(), row.geometry);
    QCOMPARE(widget->minimumSize(), row.minimum.isValid() ? row.minimum : QSize(0, 0));
    QCOMPARE(widget->maximumSize(), row.maximum.isValid() ? row.maximum : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    const QSizePolicy policy = expectedPolicy(row);
    QCOMPARE(widget->sizePolicy().horizontalPolicy(), policy.horizontalPolicy());
    QCOMPARE(widget->sizePolicy().verticalPolicy(), policy.verticalPolicy());
}

void LayoutTest::stackingOrder()
{
    QSet<QString> known;
    for (const Row& row : rows)
        known.insert(QLatin1String(row.name));

    // Siblings stay in creation order except under the two widgets whose
    // children are raised, where the raise order decides.
    QHash<QString, QStringList> expected;
    for (const Row& row : rows) {
        if (row.policy != NoPolicy)
            expected[QLatin1String(row.parent)] << QLatin1String(row.name);
    }
    expected[QStringLiteral("mainWidget")] = QStringList{
        "headWidget", "patientNameWidget", "sexAgeWidget", "checkDateWidget", "checkPartWidget",
        "checkMethodWidget", "symptomWidget", "checkResultWidget", "diagnosisiWidget", "tailWidget",
        "line_2", "checkCalendarWidget", "checkIDWidget", "line"};
    expected[QStringLiteral("midWidget")] = QStringList{"modifiedWidget", "titleWidget"};

    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QObject* parent = it.key() == form->objectName() ? form.get() : form->findChild<QObject*>(it.key());
        QVERIFY2(parent, qPrintable(it.key()));
        QCOMPARE(namedChildren(parent, known), it.value());
    }

    // The calendar pops up over the rows below the date row.
    const QStringList main = expected.value(QStringLiteral("mainWidget"));
    for (const char* below : {"checkPartWidget", "checkMethodWidget", "symptomWidget"})
        QVERIFY(main.indexOf(QLatin1String(below)) < main.indexOf(QStringLiteral("checkCalendarWidget")));
}

void LayoutTest::layouts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QMargins>("margins");  // -1: the style's default
    QTest::addColumn<int>("spacing");       // -1: the style's default
    QTest::addColumn<QStringList>("items");

    QTest::newRow("title") << "horizontalLayout" << QMargins(24, 0, 0, 0) << -1
                           << QStringList{"checkInfoLabel", "closeButton"};
    QTest::newRow("head") << "horizontalLayout_2" << QMargins(12, 37, 497, 20) << -1
                          << QStringList{"modCheckInfoLabel"};
    QTest::newRow("patient name") << "horizontalLayout_3" << QMargins(27, 0, 219, 12) << -1
                                  << QStringList{"patientNameLlabel", "patientNameLineEdit", "plusLabel"};
    QTest::newRow("sex") << "horizontalLayout_4" << QMargins(51, 0, -1, 12) << -1
                         << QStringList{"sexLabel", "sexComboBox"};
    QTest::newRow("age") << "horizontalLayout_5" << QMargins(38, 0, 238, 12) << 8
                         << QStringList{"ageLabel", "ageComboBox", "ageUnitComboBox"};
    QTest::newRow("check id") << "horizontalLayout_6" << QMargins(27, 30, 225, 12) << -1
                              << QStringList{"checkIDLabel", "checkIDLineEdit"};
    QTest::newRow("check part") << "horizontalLayout_7" << QMargins(27, 0, 302, 12) << -1
                                << QStringList{"checkPartLabel", "studyPositionComboBox"};
    QTest::newRow("check method") << "horizontalLayout_8" << QMargins(27, 0, 302, 25) << -1
                                  << QStringList{"checkMethodLabel", "checkItemComboBox"};
    QTest::newRow("symptom title") << "horizontalLayout_9" << QMargins(27, 0, 418, 0) << -1
                                   << QStringList{"symptomLabel", "mustPadLabel"};
    QTest::newRow("result title") << "horizontalLayout_10" << QMargins(27, 0, 490, 0) << -1
                                  << QStringList{"checkResultLabel"};
    QTest::newRow("diagnosis title") << "horizontalLayout_11" << QMargins(27, 0, 490, 0) << -1
                                     << QStringList{"diagnosisLabel"};
    QTest::newRow("tail") << "horizontalLayout_12" << QMargins(361, 28, 37, 44) << 25
                          << QStringList{"cancelPushButton", "enterPushButton"};
}

void LayoutTest::layouts()
{
    QFETCH(QString, name);
    QFETCH(QMargins, margins);
    QFETCH(int, spacing);
    QFETCH(QStringList, items);

    auto* layout = form->findChild<QHBoxLayout*>(name);
    QVERIFY(layout);

    // What a layout on a child widget gets when nothing is set (windows get wider margins).
    QWidget window;
    QWidget plain(&window);
    QHBoxLayout reference(&plain);
    const QMargins styleMargins = reference.contentsMargins();
    const QMargins actual = layout->contentsMargins();
    QCOMPARE(actual.left(), margins.left() < 0 ? styleMargins.left() : margins.left());
    QCOMPARE(actual.top(), margins.top() < 0 ? styleMargins.top() : margins.top());
    QCOMPARE(actual.right(), margins.right() < 0 ? styleMargins.right() : margins.right());
    QCOMPARE(actual.bottom(), margins.bottom() < 0 ? styleMargins.bottom() : margins.bottom());
    QCOMPARE(layout->spacing(), spacing < 0 ? reference.spacing() : spacing);

    QCOMPARE(layout->count(), items.size());
    for (int i = 0; i < items.size(); ++i) {
        QVERIFY(layout->itemAt(i)->widget());
        QCOMPARE(layout->itemAt(i)->widget()->objectName(), items.at(i));
        QCOMPARE(layout->stretch(i), 0);
        const Qt::Alignment alignment = items.at(i) == QLatin1String("modCheckInfoLabel") ? Qt::AlignLeft : Qt::Alignment();
        QCOMPARE(layout->itemAt(i)->alignment(), alignment);
    }
}

void LayoutTest::styleSheets()
{
    const QHash<QString, QString> sheets{
        {"titleWidget", "background-color:rgba(204,204,204,255);"},
        {"closeButton", "background-color:rgba(0,0,0,0);"},
        {"headWidget", "border-color:rgba(255,255,255,0);"},
        {"modCheckInfoLabel", "border-color:rgba(255,255,255,0);"},
        {"line", "color:rgba(240,240,240,255);"},
        {"checkDateTimeEdit", "background-color:rgba(238,238,238,255);"},
        {"diagPadWidget", "border:1px solid;border-color:rgba(238,238,238,255);"},
        {"line_2", "color:rgba(240,240,240,255);"},
        {"checkCalendarWidget", "background-color:rgba(204,204,204,255);"},
        {"line_3", "color:rgb(42,170,170);"},
        {"line_4", "color:rgb(42,170,170);"},
        {"line_5", "color:rgb(42,170,170);"},
        {"line_6", "color:rgb(42,170,170);"},
        {"line_7", "color:rgba(40,40,40,255);"},
        {"line_8", "color:rgba(40,40,40,255);"},
        {"line_9", "color:rgba(255,255,255,255);"},
        {"line_10", "color:rgba(255,255,255,255);"},
        {"line_11", "color:rgba(240,240,240,255);"},
        {"line_12", "color:rgba(240,240,240,255);"},
        {"line_13", "color:rgba(40,40,40,255);"},
        {"line_14", "color:rgba(40,40,40,255);"},
        {"line_15", "color:rgba(255,255,255,255);"},
        {"line_16", "color:rgba(255,255,255,255);"},
        {"line_17", "color:rgba(240,240,240,255);"},
        {"line_18", "color:rgba(240,240,240,255);"},
    };
    // Every other widget of the tree has none.
    for (const Row& row : rows) {
        if (row.policy == NoPolicy)
            continue;
        QWidget* widget = find(row.name);
        QVERIFY(widget);
        QCOMPARE(widget->styleSheet(), sheets.value(QLatin1String(row.name)));
    }
}

void LayoutTest::palettes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("role");
    QTest::addColumn<QColor>("color");

    const QColor white = rgba(255, 255, 255), grey = rgba(204, 204, 204), teal = rgba(42, 170, 170);
    for (QPalette::ColorRole role : {QPalette::Button, QPalette::Base, QPalette::Window}) {
        const QByteArray roleName = QMetaEnum::fromType<QPalette::ColorRole>().valueToKey(role);
        QTest::newRow("modifiedWidget " + roleName) << "modifiedWidget" << int(role) << white;
        QTest::newRow("checkCalendarWidget " + roleName) << "checkCalendarWidget" << int(role) << grey;
        QTest::newRow("line_3 " + roleName) << "line_3" << int(role) << white;
        QTest::newRow("line_4 " + roleName) << "line_4" << int(role) << white;
    }
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        const QByteArray roleName = QMetaEnum::fromType<QPalette::ColorRole>().valueToKey(role);
        QTest::newRow("line_3 " + roleName) << "line_3" << int(role) << teal;
        QTest::newRow("line_4 " + roleName) << "line_4" << int(role) << teal;
    }
}

void LayoutTest::palettes()
{
    QFETCH(QString, name);
    QFETCH(int, role);
    QFETCH(QColor, color);

    auto* widget = form->findChild<QWidget*>(name);
    QVERIFY(widget);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QBrush brush = widget->palette().brush(group, QPalette::ColorRole(role));
        QCOMPARE(brush.style(), Qt::SolidPattern);
        QCOMPARE(brush.color(), color);
    }
}

void LayoutTest::fonts()
{
    const QString song = QStringLiteral("宋体");
    auto* modified = find<QLabel>("modCheckInfoLabel");
    auto* patientName = find<QLabel>("patientNameLlabel");
    QVERIFY(modified && patientName);
    QCOMPARE(modified->font().family(), song);
    QCOMPARE(modified->font().pointSize(), 10);
    QCOMPARE(patientName->font().family(), song);
    QCOMPARE(patientName->font().pointSize(), patientName->parentWidget()->font().pointSize());

    // No other label of the tree picks a family of its own.
    for (const Row& row : rows) {
        auto* label = find<QLabel>(row.name);
        if (label && label != modified && label != patientName)
            QCOMPARE(label->font().family(), form->font().family());
    }
}

void LayoutTest::lines()
{
    for (const Row& row : rows) {
        if (QByteArray(row.className) != "QFrame")
            continue;
        auto* line = find<QFrame>(row.name);
        QVERIFY(line);
        const bool teal = QByteArray(row.parent) == "modifiedWidget";
        const bool vertical = row.geometry.width() < row.geometry.height();
        QCOMPARE(line->frameShape(), vertical ? QFrame::VLine : QFrame::HLine);
        QCOMPARE(line->frameShadow(), QFrame::Plain);
        QCOMPARE(line->lineWidth(), teal ? 5 : 1);
    }
}

void LayoutTest::comboBoxes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("maxVisibleItems");  // -1: Qt's default
    QTest::addColumn<int>("insertPolicy");     // -1: Qt's default
    QTest::addColumn<int>("minimumContentsLength");
    QTest::addColumn<QSize>("iconSize");  // null: Qt's default

    QTest::newRow("sex") << "sexComboBox" << 3 << int(QComboBox::InsertAlphabetically) << -1 << QSize(16, 16);
    QTest::newRow("age") << "ageComboBox" << -1 << -1 << 1 << QSize();
    QTest::newRow("age unit") << "ageUnitComboBox" << -1 << -1 << -1 << QSize();
    QTest::newRow("study position") << "studyPositionComboBox" << 20 << -1 << -1 << QSize();
    QTest::newRow("check item") << "checkItemComboBox" << -1 << -1 << -1 << QSize();
}

void LayoutTest::comboBoxes()
{
    QFETCH(QString, name);
    QFETCH(int, maxVisibleItems);
    QFETCH(int, insertPolicy);
    QFETCH(int, minimumContentsLength);
    QFETCH(QSize, iconSize);

    const QComboBox plain;
    auto* box = form->findChild<QComboBox*>(name);
    QVERIFY(box);
    QVERIFY(box->isEditable());
    QVERIFY(!box->hasFrame());
    QCOMPARE(box->maxVisibleItems(), maxVisibleItems < 0 ? plain.maxVisibleItems() : maxVisibleItems);
    QCOMPARE(int(box->insertPolicy()), insertPolicy < 0 ? int(plain.insertPolicy()) : insertPolicy);
    QCOMPARE(box->minimumContentsLength(),
             minimumContentsLength < 0 ? plain.minimumContentsLength() : minimumContentsLength);
    QCOMPARE(box->iconSize(), iconSize.isValid() ? iconSize : plain.iconSize());
    QCOMPARE(box->modelColumn(), 0);
}

void LayoutTest::lineEdits()
{
    for (const char* name : {"patientNameLineEdit", "checkIDLineEdit"}) {
        auto* edit = find<QLineEdit>(name);
        QVERIFY2(edit, name);
        QVERIFY(!edit->hasFrame());
    }
}

void LayoutTest::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    QTest::newRow("title") << "checkInfoLabel" << "检查信息";
    QTest::newRow("close") << "closeButton" << "";
    QTest::newRow("heading") << "modCheckInfoLabel" << "修改检查信息";
    QTest::newRow("patient name") << "patientNameLlabel" << "患者姓名";
    QTest::newRow("required mark") << "plusLabel" << "*";
    QTest::newRow("sex") << "sexLabel" << "性别";
    QTest::newRow("age") << "ageLabel" << "年龄";
    QTest::newRow("date") << "checkDateLabel" << "检查日期";
    QTest::newRow("date button") << "datePushButton" << "";
    QTest::newRow("part") << "checkPartLabel" << "检查部位";
    QTest::newRow("method") << "checkMethodLabel" << "检查方法";
    QTest::newRow("symptom") << "symptomLabel" << "临床症状和体征";
    QTest::newRow("required") << "mustPadLabel" << "（必填项）";
    QTest::newRow("result") << "checkResultLabel" << "相关检查结果";
    QTest::newRow("diagnosis") << "diagnosisLabel" << "临床诊断";
    QTest::newRow("cancel") << "cancelPushButton" << "关闭";
    QTest::newRow("save") << "enterPushButton" << "保存";
    QTest::newRow("serial number") << "checkIDLabel" << "检查流水号";
}

void LayoutTest::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);

    QObject* target = form->findChild<QObject*>(name);
    QVERIFY(target);
    QCOMPARE(target->property("text").toString(), text);
}

void LayoutTest::dateControls()
{
    auto* edit = find<QDateTimeEdit>("checkDateTimeEdit");
    QVERIFY(edit);
    QCOMPARE(edit->displayFormat(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    QCOMPARE(edit->buttonSymbols(), QAbstractSpinBox::NoButtons);

    auto* button = find<QPushButton>("datePushButton");
    QVERIFY(button);
    QVERIFY(!button->isCheckable());
    QVERIFY(!button->autoDefault());
    QVERIFY(!button->isDefault());
    QVERIFY(button->isFlat());

    auto* calendar = find<QCalendarWidget>("checkCalendarWidget");
    QVERIFY(calendar);
    QVERIFY(calendar->isGridVisible());
    QCOMPARE(calendar->horizontalHeaderFormat(), QCalendarWidget::ShortDayNames);
    QVERIFY(calendar->isNavigationBarVisible());
    QVERIFY(calendar->isDateEditEnabled());
}

void LayoutTest::icons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("resource");
    QTest::addColumn<QSize>("imageSize");

    QTest::newRow("close") << "closeButton" << ":/image/close-01-01.png" << QSize(20, 21);
    QTest::newRow("calendar") << "datePushButton" << ":/image/calendar-01.png" << QSize(40, 40);
}

void LayoutTest::icons()
{
    QFETCH(QString, button);
    QFETCH(QString, resource);
    QFETCH(QSize, imageSize);

    const QImage image(resource);
    QCOMPARE(image.size(), imageSize);
    QVERIFY(image.hasAlphaChannel());

    auto* pushButton = form->findChild<QPushButton*>(button);
    QVERIFY(pushButton);
    QCOMPARE(pushButton->iconSize(), QSize(20, 20));
    const QIcon icon = pushButton->icon();
    QCOMPARE(icon.availableSizes(QIcon::Normal, QIcon::Off), QList<QSize>{imageSize});
    const QImage shown = icon.pixmap(imageSize).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(shown, image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

QTEST_MAIN(LayoutTest)
#include "tst_layout.moc"
