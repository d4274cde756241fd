#include "zoxmessageboxform.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

zoxMessageBoxForm::zoxMessageBoxForm(QWidget* parent, const QString& title, const QString& text,
                                     int buttons, int defaultButton)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("zoxMessageBoxForm"));
    setWindowTitle(title);
    setWindowModality(Qt::ApplicationModal);
    setModal(true);

    iconLabel = new QLabel(this);
    iconLabel->setObjectName(QStringLiteral("iconLabel"));
    iconLabel->setAlignment(Qt::AlignTop);
    iconLabel->hide();

    messageLabel = new QLabel(this);
    messageLabel->setObjectName(QStringLiteral("messageLabel"));
    messageLabel->setTextFormat(Qt::PlainText);
    messageLabel->setWordWrap(true);
    messageLabel->setMinimumWidth(260);
    messageLabel->setText(text);

    auto* textRow = new QHBoxLayout;
    textRow->addWidget(iconLabel);
    textRow->addWidget(messageLabel, 1);

    if ((buttons & (Ok | Cancel)) == 0)
        buttons = Ok;

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    if (buttons & Ok) {
        okButton = new QPushButton(tr("OK"), this);
        okButton->setObjectName(QStringLiteral("okPushButton"));
        connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
        buttonRow->addWidget(okButton);
    }
    if (buttons & Cancel) {
        cancelButton = new QPushButton(tr("Cancel"), this);
        cancelButton->setObjectName(QStringLiteral("cancelPushButton"));
        connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
        buttonRow->addWidget(cancelButton);
    }

    QPushButton* preferred = (defaultButton == Cancel && cancelButton) ? cancelButton
                             : okButton                                ? okButton
                                                                       : cancelButton;
    // Only the chosen button reacts to Enter; the other needs a click.
    for (QPushButton* button : {okButton, cancelButton}) {
        if (button)
            button->setAutoDefault(button == preferred);
    }
    preferred->setDefault(true);
    preferred->setFocus();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(textRow);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

zoxMessageBoxForm::~zoxMessageBoxForm() = default;

void zoxMessageBoxForm::setIcon(QStyle::StandardPixmap icon)
{
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    iconLabel->setPixmap(style()->standardIcon(icon, nullptr, this).pixmap(size, size));
    iconLabel->show();
}

int zoxMessageBoxForm::run(QStyle::StandardPixmap icon, QWidget* parent, const QString& title,
                           const QString& text, int buttons, int defaultButton)
{
    zoxMessageBoxForm box(parent, title, text, buttons, defaultButton);
    box.setIcon(icon);
    return box.exec() == QDialog::Accepted ? 1 : 0;
}

int zoxMessageBoxForm::warning(QWidget* parent, QString title, QString text, int buttons,
                               int defaultButton)
{
    return run(QStyle::SP_MessageBoxWarning, parent, title, text, buttons, defaultButton);
}

int zoxMessageBoxForm::question(QWidget* parent, QString title, QString text, int buttons,
                                int defaultButton)
{
    return run(QStyle::SP_MessageBoxQuestion, parent, title, text, buttons, defaultButton);
}
