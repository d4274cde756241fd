#ifndef MESSAGEBOXANSWERER_H
#define MESSAGEBOXANSWERER_H

#include <QObject>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

class QWidget;

// Answers the plug-in's modal message boxes the way a person would, by
// clicking their buttons, for the tests, the benchmark and the workstation's
// walk-through. It watches every window that is shown modally and answers it
// from inside the box's own event loop, as soon as that loop runs. A box
// nobody expected, one whose title or text differs, and any other modal
// window still open then are dismissed and noted in failures(), so a surprise
// never hangs the caller. Create one before the code under test can show a box.
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
    ~MessageBoxAnswerer() override;

    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    // The next box must show @p text under @p title; answer it with @p answer.
    void expect(const QString& text, Answer answer = Accept,
                const QString& title = QStringLiteral("System Hint"));
    // The same under "System Hint", but first runs @p whileOpen as the box
    // shows and answers a moment later, so that what it started (a deferred
    // delete, say) happens while the box is open.
    void expect(const QString& text, Answer answer, std::function<void()> whileOpen);
    // Every box that shows @p text under @p title, however often, for as long
    // as the answerer lives; expect() goes first when both would match.
    void expectAlways(const QString& text, Answer answer = Accept,
                      const QString& title = QStringLiteral("System Hint"));

    // Expectations not met yet.
    int pending() const { return int(expectations.size()); }
    // Boxes answered as expected so far.
    int answered() const { return answeredCount; }
    // Mismatches and surprise windows; empty when all went as expected.
    QStringList failures() const { return failureTexts; }
    // failures(), emptied for the next part of a run.
    QStringList takeFailures();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Expectation
    {
        QString text;
        Answer answer;
        QString title;
        std::function<void()> whileOpen;
    };

    void answer(QWidget* window);
    void respond(QWidget* box, const QString& text, Answer answer);
    void dismiss(QWidget* window, const QString& failure);

    std::deque<Expectation> expectations;
    std::vector<Expectation> standing;
    QStringList failureTexts;
    int answeredCount = 0;
};

// Fails the test when a box went unmet, differed or came unexpected.
#define VERIFY_BOXES(answerer)                                                  \
    do {                                                                        \
        QVERIFY2((answerer).failures().isEmpty(),                               \
                 qPrintable((answerer).failures().join(QStringLiteral("; ")))); \
        QCOMPARE((answerer).pending(), 0);                                      \
    } while (false)

#endif
