#include "messageboxanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <utility>

MessageBoxAnswerer::MessageBoxAnswerer(QObject* parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

MessageBoxAnswerer::~MessageBoxAnswerer()
{
    qApp->removeEventFilter(this);
}

void MessageBoxAnswerer::expect(const QString& text, Answer answer, const QString& title)
{
    expectations.push_back({text, answer, title, {}});
}

void MessageBoxAnswerer::expect(const QString& text, Answer answer, std::function<void()> whileOpen)
{
    expectations.push_back({text, answer, QStringLiteral("System Hint"), std::move(whileOpen)});
}

void MessageBoxAnswerer::expectAlways(const QString& text, Answer answer, const QString& title)
{
    standing.push_back({text, answer, title, {}});
}

QStringList MessageBoxAnswerer::takeFailures()
{
    QStringList taken;
    taken.swap(failureTexts);
    return taken;
}

bool MessageBoxAnswerer::eventFilter(QObject* watched, QEvent* event)
{
    // A spontaneous show is the window system showing a window again.
    if (event->type() != QEvent::Show || event->spontaneous() || !watched->isWidgetType())
        return false;
    auto* shown = static_cast<QWidget*>(watched);
    if (!shown->isWindow() || !shown->isModal())
        return false;
    // Looked at once control is back in an event loop, the box's own for a
    // box that waits for a person; one that the caller answered itself in
    // the meantime is gone by then.
    QMetaObject::invokeMethod(
        this,
        [this, window = QPointer<QWidget>(shown)] {
            if (window && window->isVisible())
                answer(window);
        },
        Qt::QueuedConnection);
    return false;
}

void MessageBoxAnswerer::answer(QWidget* window)
{
    const QString title = window->windowTitle();
    if (window->objectName() != QLatin1String("zoxMessageBoxForm"))
        return dismiss(window, QStringLiteral("unexpected window \"%1\" (%2)")
                                   .arg(title, QLatin1String(window->metaObject()->className())));

    const auto* label = window->findChild<QLabel*>(QStringLiteral("messageLabel"));
    const QString text = label ? label->text() : QString();
    const auto matches = [&](const Expectation& e) { return e.text == text && e.title == title; };

    if (!expectations.empty() && matches(expectations.front()) && expectations.front().whileOpen) {
        const std::function<void()> whileOpen = std::exchange(expectations.front().whileOpen, nullptr);
        whileOpen();
        // Answered from a later pass of the box's loop, after what whileOpen posted.
        QTimer::singleShot(20, this, [this, window = QPointer<QWidget>(window)] {
            if (window && window->isVisible())
                answer(window);
        });
        return;
    }
    if (!expectations.empty() && matches(expectations.front())) {
        const Answer next = expectations.front().answer;
        expectations.pop_front();
        return respond(window, text, next);
    }
    for (const Expectation& always : standing) {
        if (matches(always))
            return respond(window, text, always.answer);
    }
    if (expectations.empty())
        return dismiss(window, QStringLiteral("unexpected box \"%1\": \"%2\"").arg(title, text));
    const Expectation missed = expectations.front();
    expectations.pop_front();
    dismiss(window, QStringLiteral("expected box \"%1\": \"%2\", got \"%3\": \"%4\"")
                        .arg(missed.title, missed.text, title, text));
}

void MessageBoxAnswerer::respond(QWidget* box, const QString& text, Answer answer)
{
    if (answer == CloseWindow) {
        ++answeredCount;
        box->close();
        return;
    }
    const char* name = answer == Accept ? "okPushButton" : "cancelPushButton";
    auto* button = box->findChild<QAbstractButton*>(QLatin1String(name));
    if (!button || !button->isVisibleTo(box))
        return dismiss(box, QStringLiteral("box \"%1\" has no %2").arg(text, QLatin1String(name)));
    ++answeredCount;
    button->click();
}

void MessageBoxAnswerer::dismiss(QWidget* window, const QString& failure)
{
    failureTexts << failure;
    if (auto* dialog = qobject_cast<QDialog*>(window))
        dialog->reject();
    else
        window->close();
}
