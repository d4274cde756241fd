#include "boxautoanswerer.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QPushButton>

BoxAutoAnswerer::BoxAutoAnswerer(QObject* parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

BoxAutoAnswerer::~BoxAutoAnswerer()
{
    qApp->removeEventFilter(this);
}

void BoxAutoAnswerer::expect(const QString& text)
{
    expected << text;
}

QStringList BoxAutoAnswerer::takeSurprises()
{
    QStringList taken;
    taken.swap(surprises);
    return taken;
}

bool BoxAutoAnswerer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Show || watched->objectName() != QLatin1String("zoxMessageBoxForm"))
        return false;
    auto* box = qobject_cast<QDialog*>(watched);
    if (!box)
        return false;
    const auto* label = box->findChild<QLabel*>(QStringLiteral("messageLabel"));
    const QString text = label ? label->text() : QString();
    auto* ok = box->findChild<QPushButton*>(QStringLiteral("okPushButton"));
    // Queued: the box is answered from inside its own exec(), as a click would be.
    if (ok && expected.contains(text)) {
        ++answeredCount;
        QMetaObject::invokeMethod(ok, "click", Qt::QueuedConnection);
    } else {
        surprises << text;
        QMetaObject::invokeMethod(box, "reject", Qt::QueuedConnection);
    }
    return false;
}
