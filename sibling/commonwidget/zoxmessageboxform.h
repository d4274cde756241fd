#ifndef ZOXMESSAGEBOXFORM_H
#define ZOXMESSAGEBOXFORM_H

#include <QDialog>

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
class zoxMessageBoxForm : public QDialog
{
    Q_OBJECT

public:
    /// Button mask bits for the first integer argument.
    enum Button { Ok = 1, Cancel = 2 };

    /// Builds a box; @p buttons is a mask of Button, @p defaultButton names the default one.
    zoxMessageBoxForm(QWidget* parent, const QString& title, const QString& text,
                      int buttons, int defaultButton);
    ~zoxMessageBoxForm() override;

    /// Shows a modal warning and returns 1 when the user accepted it, 0 otherwise.
    static int warning(QWidget* parent, QString title, QString text, int buttons, int defaultButton);
    /// Shows a modal question and returns 1 when the user accepted it, 0 otherwise.
    static int question(QWidget* parent, QString title, QString text, int buttons, int defaultButton);
};

#endif
