#ifndef PROXYCONFIGFORM_H
#define PROXYCONFIGFORM_H

#include <QString>
#include <QWidget>

#include <memory>

namespace Ui {
class ProxyConfigForm;
}

// Writes the proxy settings that the cloud client library reads back from
// "../config/proxy.txt": Base64 of the UTF-8 text "URL\ntype\nuser\npassword".
// Exported so that a host can create it from the plug-in library.
class Q_DECL_EXPORT ProxyConfigForm : public QWidget
{
    Q_OBJECT

public:
    explicit ProxyConfigForm(QWidget* parent = nullptr);
    ~ProxyConfigForm() override;

private slots:
    void on_save_clicked();
    void on_cancel_clicked();

private:
    std::unique_ptr<Ui::ProxyConfigForm> ui;
    // The fields as last saved.
    QString proxyUrl;
    QString proxyType;
    QString proxyUser;
    QString proxyPassword;
};

#endif
