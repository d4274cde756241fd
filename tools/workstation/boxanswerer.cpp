#include "boxanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>

namespace {

const int pollMs = 50;

QAbstractButton* button(QWidget* box, const char* name)
{
    QAbstractButton* found = box->findChild<QAbstractButton*>(QLatin1String(name));
    return found && found->isVisibleTo(box) ? found : nullptr;
}

void dismiss(QWidget* box)
{
    if (auto* dialog = qobject_cast<QDialog*>(box))
        dialog->reject();
    else
        box->close();
}

} // namespace

BoxAnswerer::BoxAnswerer(QObject* parent) : QObject(parent)
{
    timer.setInterval(pollMs);
    connect(&timer, &QTimer::timeout, this, &BoxAnswerer::poll);
    timer.start();
}

BoxAnswerer::~BoxAnswerer() = default;

void BoxAnswerer::expect(const QString& text, Answer answer)
{
    expected.push_back({text, answer});
}

void BoxAnswerer::poll()
{
    QWidget* box = QApplication::activeModalWidget();
    // A box that was answered stays active until its loop has ended.
    if (!box || box == lastBox)
        return;
    lastBox = box;
    const QString text = messageBoxText(box);
    if (text.isNull()) {
        // Any other modal window would wait for a person who is not there.
        surpriseTexts.append(QStringLiteral("a window \"%1\" (%2)")
                                 .arg(box->windowTitle(), QLatin1String(box->metaObject()->className())));
        dismiss(box);
        return;
    }
    if (expected.empty() || expected.front().text != text) {
        surpriseTexts.append(text);
        dismiss(box);
        return;
    }
    const Answer answer = expected.front().answer;
    expected.pop_front();
    answeredTexts.append(text);
    QAbstractButton* choice = button(box, answer == Accept ? "okPushButton" : "cancelPushButton");
    if (choice) {
        choice->click();
        return;
    }
    if (answer == Accept)
        surpriseTexts.append(QStringLiteral("no OK button on: ") + text);
    dismiss(box);
}

QString messageBoxText(const QWidget* widget)
{
    if (!widget || widget->objectName() != QLatin1String("zoxMessageBoxForm"))
        return QString();
    const QLabel* label = widget->findChild<QLabel*>(QStringLiteral("messageLabel"));
    return label ? label->text() : QStringLiteral("");
}
