#include "proxyconfigform.h"

#include "ui_proxyconfigform.h"

#include <QCoreApplication>
#include <QSaveFile>

namespace {

QByteArray proxyFileContent(const QString& url, const QString& type, const QString& user, const QString& password)
{
    const QString lines = url + QLatin1Char('\n') + type + QLatin1Char('\n') + user + QLatin1Char('\n') + password;
    return lines.toUtf8().toBase64();
}

} // namespace

ProxyConfigForm::ProxyConfigForm(QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::ProxyConfigForm>())
{
    ui->setupUi(this);
}

ProxyConfigForm::~ProxyConfigForm() = default;

void ProxyConfigForm::on_save_clicked()
{
    proxyUrl = ui->proxyUrlLineEdit->text();
    proxyType = ui->proxyTypeLineEdit->text();
    proxyUser = ui->proxyUserLineEdit->text();
    proxyPassword = ui->proxyPasswordLineEdit->text();

    // A failure leaves the old file whole; the form has nothing to report.
    QSaveFile file(QCoreApplication::applicationDirPath() + QStringLiteral("/../config/proxy.txt"));
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(proxyFileContent(proxyUrl, proxyType, proxyUser, proxyPassword));
    // It holds a password: owner only, also when an older file was readable by others.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.commit();
}

void ProxyConfigForm::on_cancel_clicked()
{
}
