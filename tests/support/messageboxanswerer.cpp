#include "messageboxanswerer.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>

MessageBoxAnswerer::MessageBoxAnswerer(QObject* parent)
    : QObject(parent)
{
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, this, &MessageBoxAnswerer::poll);
    timer.start();
}

void MessageBoxAnswerer::expect(const QString& text, Answer answer, const QString& title)
{
    expectations.push_back({text, answer, title, {}});
}

void MessageBoxAnswerer::expect(const QString& text, Answer answer, std::function<void()> whileOpen)
{
    expectations.push_back({text, answer, QStringLiteral("System Hint"), std::move(whileOpen)});
}

void MessageBoxAnswerer::fail(const QString& message)
{
    failureTexts << message;
    QTest::qFail(qPrintable(message), __FILE__, __LINE__);
}

void MessageBoxAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    auto* box = qobject_cast<QDialog*>(modal);
    if (!box || !box->isVisible())
        return;

    const auto* label = box->findChild<QLabel*>(QStringLiteral("messageLabel"));
    const QString text = label ? label->text() : QString();
    const QString title = box->windowTitle();

    auto click = [box](const char* name) {
        auto* button = box->findChild<QPushButton*>(QLatin1String(name));
        if (button && button->isVisible())
            QTest::mouseClick(button, Qt::LeftButton);
        else
            box->reject();
    };

    if (box->objectName() != QLatin1String("zoxMessageBoxForm") || expectations.empty()) {
        fail(QStringLiteral("unexpected box \"%1\": \"%2\"").arg(title, text));
        click("cancelPushButton");
        return;
    }

    if (expectations.front().whileOpen && text == expectations.front().text) {
        const std::function<void()> run = std::move(expectations.front().whileOpen);
        expectations.front().whileOpen = nullptr;
        run();
        return;
    }
    const Expectation next = expectations.front();
    expectations.pop_front();
    if (text != next.text || title != next.title) {
        fail(QStringLiteral("expected box \"%1\": \"%2\", got \"%3\": \"%4\"")
                 .arg(next.title, next.text, title, text));
        click("cancelPushButton");
        return;
    }

    if (next.answer == CloseWindow)
        return void(box->close());
    const char* button = next.answer == Accept ? "okPushButton" : "cancelPushButton";
    if (!box->findChild<QPushButton*>(QLatin1String(button)))
        fail(QStringLiteral("box \"%1\" has no %2").arg(text, QLatin1String(button)));
    click(button);
}
