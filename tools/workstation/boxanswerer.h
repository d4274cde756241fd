#ifndef BOXANSWERER_H
#define BOXANSWERER_H

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <deque>

class QWidget;

// Answers the plug-in's modal message boxes for the walk-through, as an
// operator would: by clicking their buttons. A box runs its own event loop,
// so the answer comes from a timer that looks for the active modal widget.
// A box that was not expected, or says something else, and any other modal
// window are dismissed and noted, so that the walk-through fails the step
// instead of hanging.
class BoxAnswerer : public QObject
{
    Q_OBJECT

public:
    enum Answer { Accept, Decline };

    explicit BoxAnswerer(QObject* parent = nullptr);
    ~BoxAnswerer() override;

    // The next box must show @p text; it is answered with @p answer.
    void expect(const QString& text, Answer answer = Accept);
    int pending() const { return int(expected.size()); }

    // "text" of every box answered as expected, in order.
    QStringList answered() const { return answeredTexts; }
    // Boxes dismissed because nobody expected them or their text differed.
    QStringList surprises() const { return surpriseTexts; }

private:
    struct Expectation
    {
        QString text;
        Answer answer;
    };

    void poll();

    QTimer timer;
    std::deque<Expectation> expected;
    QPointer<QWidget> lastBox;
    QStringList answeredTexts;
    QStringList surpriseTexts;
};

// The text of a message box; null when @p widget is not one.
QString messageBoxText(const QWidget* widget);

#endif
