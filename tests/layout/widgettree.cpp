#include "widgettree.h"

#include <QBoxLayout>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMetaProperty>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTableView>
#include <QTextEdit>

#include <functional>
#include <map>
#include <memory>

namespace {

// Shown in the object's own line, or dumped in a way of their own.
const QSet<QByteArray> special{"objectName", "geometry", "font", "palette", "margin",
                               "html", "markdown", "plainText"};

// New objects of the Qt classes that forms are made of, to tell which
// properties a form set.
class Baselines
{
public:
    const QObject* of(const QMetaObject* meta)
    {
        for (; meta; meta = meta->superClass()) {
            const QByteArray name = meta->className();
            auto kept = made.find(name);
            if (kept != made.end())
                return kept->second.get();
            auto maker = makers.find(name);
            if (maker != makers.end())
                return made.emplace(name, maker->second()).first->second.get();
        }
        return nullptr;
    }

private:
    template <typename T>
    static std::pair<QByteArray, std::function<std::unique_ptr<QObject>()>> maker()
    {
        return {T::staticMetaObject.className(), [] { return std::make_unique<T>(); }};
    }

    const std::map<QByteArray, std::function<std::unique_ptr<QObject>()>> makers{
        maker<QWidget>(),     maker<QFrame>(),      maker<QLabel>(),       maker<QPushButton>(),
        maker<QLineEdit>(),   maker<QComboBox>(),   maker<QDateTimeEdit>(), maker<QCalendarWidget>(),
        maker<QTextEdit>(),   maker<QTableView>(),  maker<QProgressBar>(), maker<QHBoxLayout>(),
        maker<QVBoxLayout>(), maker<QFormLayout>(),
    };
    std::map<QByteArray, std::unique_ptr<QObject>> made;
};

QString size(const QSize& s)
{
    return QStringLiteral("%1x%2").arg(s.width()).arg(s.height());
}

QString quoted(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + text.replace(QLatin1Char('\n'), QLatin1String("\\n")) + QLatin1Char('"');
}

template <typename Enum>
QString keys(Enum value)
{
    return QString::fromLatin1(QMetaEnum::fromType<Enum>().valueToKeys(int(value)));
}

QString policy(const QSizePolicy& p)
{
    QString text = QString::fromLatin1(QMetaEnum::fromType<QSizePolicy::Policy>().valueToKey(p.horizontalPolicy()))
                   + QLatin1Char('/')
                   + QString::fromLatin1(QMetaEnum::fromType<QSizePolicy::Policy>().valueToKey(p.verticalPolicy()));
    if (p.horizontalStretch() || p.verticalStretch())
        text += QStringLiteral(" stretch %1/%2").arg(p.horizontalStretch()).arg(p.verticalStretch());
    return text;
}

// A property's value as text; null for kinds that are not dumped.
QString text(const QMetaProperty& property, const QVariant& value)
{
    if (property.isEnumType()) {
        const QMetaEnum meta = property.enumerator();
        const int number = value.toInt();
        return QString::fromLatin1(meta.isFlag() ? meta.valueToKeys(number) : QByteArray(meta.valueToKey(number)));
    }
    switch (value.userType()) {
    case QMetaType::QString:
        return quoted(value.toString());
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Double:
    case QMetaType::QKeySequence:
        return value.toString();
    case QMetaType::QSize:
        return size(value.toSize());
    case QMetaType::QSizePolicy:
        return policy(value.value<QSizePolicy>());
    case QMetaType::QIcon: {
        QStringList sizes;
        for (const QSize& s : value.value<QIcon>().availableSizes())
            sizes << size(s);
        return QStringLiteral("sizes ") + sizes.join(QLatin1Char(','));
    }
    default:
        return QString();
    }
}

QString font(const QFont& f)
{
    QStringList parts;
    if (f.resolve() & QFont::FamilyResolved)
        parts << QStringLiteral("family ") + f.family();
    if (f.resolve() & QFont::SizeResolved)
        parts << QStringLiteral("%1 pt").arg(f.pointSize());
    if (f.resolve() & QFont::WeightResolved)
        parts << QStringLiteral("weight %1").arg(f.weight());
    if (f.resolve() & QFont::StyleResolved)
        parts << QStringLiteral("style %1").arg(int(f.style()));
    return parts.join(QStringLiteral(", "));
}

QString brush(const QBrush& b)
{
    return b.style() == Qt::SolidPattern ? b.color().name(QColor::HexArgb) : keys(b.style());
}

QStringList paletteRoles(const QPalette& palette)
{
    QStringList lines;
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        if (!(palette.resolve() & (1u << role)))
            continue;
        const auto r = QPalette::ColorRole(role);
        QStringList groups;
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            groups << brush(palette.brush(group, r));
        groups.removeDuplicates();
        lines << QStringLiteral("palette %1: %2")
                     .arg(QLatin1String(QMetaEnum::fromType<QPalette::ColorRole>().valueToKey(r)),
                          groups.join(QLatin1Char('/')));
    }
    return lines;
}

QString item(QLayoutItem* entry)
{
    if (entry->widget())
        return entry->widget()->objectName();
    if (entry->layout())
        return entry->layout()->objectName();
    const QSpacerItem* spacer = entry->spacerItem();
    return QStringLiteral("spacer %1 %2").arg(size(spacer->sizeHint()), policy(spacer->sizePolicy()));
}

QStringList layoutLines(const QLayout& layout)
{
    const QMargins m = layout.contentsMargins();
    QStringList lines{QStringLiteral("margins: %1,%2,%3,%4").arg(m.left()).arg(m.top()).arg(m.right()).arg(m.bottom())};
    const auto* box = qobject_cast<const QBoxLayout*>(&layout);
    for (int i = 0; i < layout.count(); ++i) {
        QLayoutItem* entry = layout.itemAt(i);
        QString line = QStringLiteral("item: ") + item(entry);
        if (box && box->stretch(i))
            line += QStringLiteral(" stretch %1").arg(box->stretch(i));
        if (entry->alignment())
            line += QStringLiteral(" align ") + keys(entry->alignment());
        lines << line;
    }
    return lines;
}

bool holds(const QLayout* layout, const QWidget& widget)
{
    if (!layout)
        return false;
    for (int i = 0; i < layout->count(); ++i) {
        if (layout->itemAt(i)->widget() == &widget || holds(layout->itemAt(i)->layout(), widget))
            return true;
    }
    return false;
}

// Layouts place their widgets only when shown, by the fonts' sizes.
bool placedByLayout(const QWidget& widget)
{
    return !widget.isWindow() && holds(widget.parentWidget()->layout(), widget);
}

QStringList widgetLines(const QWidget& widget)
{
    QStringList lines;
    if (widget.isWindow())
        lines << QStringLiteral("windowFlags: ") + keys(widget.windowFlags());
    else if (widget.isHidden())
        lines << QStringLiteral("hidden");
    if (!placedByLayout(widget)) {
        const QRect g = widget.geometry();
        lines << QStringLiteral("geometry: %1,%2 %3").arg(g.x()).arg(g.y()).arg(size(g.size()));
    }
    if (widget.testAttribute(Qt::WA_SetFont))
        lines << QStringLiteral("font: ") + font(widget.font());
    if (widget.testAttribute(Qt::WA_SetPalette))
        lines << paletteRoles(widget.palette());
    if (const auto* combo = qobject_cast<const QComboBox*>(&widget)) {
        // A long list by its ends.
        QStringList items;
        for (int i = 0; i < combo->count(); ++i) {
            if (combo->count() <= 12 || i < 5 || i >= combo->count() - 2)
                items << quoted(combo->itemText(i));
            else if (i == 5)
                items << QStringLiteral("...");
        }
        lines << QStringLiteral("items (%1)").arg(combo->count())
                     + (items.isEmpty() ? QString() : QStringLiteral(": ") + items.join(QStringLiteral(", ")));
    }
    return lines;
}

void dump(const QObject& object, const QString& indent, Baselines& baselines, QStringList& out)
{
    out << indent + QString::fromLatin1(object.metaObject()->className()) + QLatin1Char(' ') + object.objectName();
    const QString inner = indent + QStringLiteral("  ");
    const QObject* baseline = baselines.of(object.metaObject());
    for (int i = 0; i < object.metaObject()->propertyCount(); ++i) {
        const QMetaProperty property = object.metaObject()->property(i);
        if (special.contains(property.name()) || !property.isWritable() || !property.isDesignable(&object)
            || !property.isStored(&object))
            continue;
        const QString value = text(property, property.read(&object));
        const int index = baseline ? baseline->metaObject()->indexOfProperty(property.name()) : -1;
        const QString fresh = index < 0 ? QString() : text(property, baseline->metaObject()->property(index).read(baseline));
        if (!value.isNull() && value != fresh)
            out << inner + QString::fromLatin1(property.name()) + QStringLiteral(": ") + value;
    }
    if (const auto* layout = qobject_cast<const QLayout*>(&object)) {
        for (const QString& line : layoutLines(*layout))
            out << inner + line;
        for (const QObject* child : object.children()) {
            if (qobject_cast<const QLayout*>(child))
                dump(*child, inner, baselines, out);
        }
        return;
    }
    const auto& widget = static_cast<const QWidget&>(object);
    for (const QString& line : widgetLines(widget))
        out << inner + line;
    // The insides of Qt's compound widgets (combo boxes, text edits, ...) are Qt's.
    const QByteArray className = object.metaObject()->className();
    if (!widget.isWindow() && className != "QWidget")
        return;
    for (const QObject* child : object.children()) {
        if (child->isWidgetType() || qobject_cast<const QLayout*>(child))
            dump(*child, inner, baselines, out);
    }
}

} // namespace

QStringList dumpWidgetTree(const QWidget& window)
{
    Baselines baselines;
    QStringList lines;
    dump(window, QString(), baselines, lines);
    return lines;
}
