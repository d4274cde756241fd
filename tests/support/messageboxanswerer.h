#ifndef MESSAGEBOXANSWERER_H
#define MESSAGEBOXANSWERER_H

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>

// Answers the plug-in's modal message boxes the way a person would: it watches
// for the active modal widget, checks its title and text against what the test
// expects next, and clicks a button. A box nobody expected (or one whose text
// differs) is closed and fails the running test, so a surprise box never hangs
// the suite. Create one before the code under test can show a box.
class MessageBoxAnswerer : public QObject
{
    Q_OBJECT

public:
    enum Answer {
        Accept,       // click "okPushButton"
        Decline,      // click "cancelPushButton"
        CloseWindow   // close the box by its window
    };

    explicit MessageBoxAnswerer(QObject* parent = nullptr);

    // The next box must show @p text under @p title; answer it with @p answer.
    void expect(const QString& text, Answer answer = Accept,
                const QString& title = QStringLiteral("System Hint"));
    // The same, but first runs @p whileOpen as the box shows, and answers at a
    // later poll, so that what it started can happen while the box is open.
    void expect(const QString& text, Answer answer, std::function<void()> whileOpen);

    // Expectations not met yet.
    int pending() const { return int(expectations.size()); }
    // Mismatches and surprise boxes; empty when all went as expected.
    QStringList failures() const { return failureTexts; }

private:
    struct Expectation
    {
        QString text;
        Answer answer;
        QString title;
        std::function<void()> whileOpen;
    };

    void poll();
    void fail(const QString& message);

    QTimer timer;
    std::deque<Expectation> expectations;
    QStringList failureTexts;
};

// Fails the test when a box went unmet, differed or came unexpected.
#define VERIFY_BOXES(answerer)                                                  \
    do {                                                                        \
        QVERIFY2((answerer).failures().isEmpty(),                               \
                 qPrintable((answerer).failures().join(QStringLiteral("; ")))); \
        QCOMPARE((answerer).pending(), 0);                                      \
    } while (false)

#endif
