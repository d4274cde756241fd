#ifndef ZOXMESSAGEBOXFORM_H
#define ZOXMESSAGEBOXFORM_H

#include <QDialog>
#include <QStyle>

class QLabel;
class QPushButton;

/**
 * Modal message box of the common widget library.
 *
 * The dialog's object name is "zoxMessageBoxForm", its window title is the
 * title given, and its text stands in a QLabel named "messageLabel". Buttons:
 * "okPushButton" ends the dialog with 1, "cancelPushButton" with 0; closing the
 * window any other way also gives 0.
 */
class Q_DECL_EXPORT zoxMessageBoxForm : public QDialog
{
    Q_OBJECT

public:
    /// Button mask bits for the first integer argument.
    enum Button { Ok = 1, Cancel = 2 };

    /// Builds a box; @p buttons is a mask of Button, @p defaultButton names the default one.
    /// A mask without a known bit shows OK alone, so that the box can always be answered;
    /// a default that is not shown leaves the first shown button as the default.
    zoxMessageBoxForm(QWidget* parent, const QString& title, const QString& text,
                      int buttons, int defaultButton);
    ~zoxMessageBoxForm() override;

    /// Shows a modal warning and returns 1 when the user accepted it, 0 otherwise.
    static int warning(QWidget* parent, QString title, QString text, int buttons, int defaultButton);
    /// Shows a modal question and returns 1 when the user accepted it, 0 otherwise.
    static int question(QWidget* parent, QString title, QString text, int buttons, int defaultButton);

private:
    static int run(QStyle::StandardPixmap icon, QWidget* parent, const QString& title,
                   const QString& text, int buttons, int defaultButton);
    void setIcon(QStyle::StandardPixmap icon);

    QLabel* iconLabel = nullptr;
    QLabel* messageLabel = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;
};

#endif
