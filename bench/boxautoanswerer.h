#ifndef BOXAUTOANSWERER_H
#define BOXAUTOANSWERER_H

#include <QObject>
#include <QStringList>

// Answers the message boxes a timed run meets as quickly as a script can: a box
// whose text is expected gets its OK button clicked, any other box is cancelled
// and noted, so that a run that went astray is reported instead of timed.
class BoxAutoAnswerer : public QObject
{
    Q_OBJECT

public:
    explicit BoxAutoAnswerer(QObject* parent = nullptr);
    ~BoxAutoAnswerer() override;

    void expect(const QString& text);
    int answered() const { return answeredCount; }
    // Texts of the boxes nobody expected; cleared by takeSurprises().
    QStringList takeSurprises();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QStringList expected;
    QStringList surprises;
    int answeredCount = 0;
};

#endif
