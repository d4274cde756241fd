#ifndef PROXYSETTINGS_H
#define PROXYSETTINGS_H

#include <QByteArray>
#include <QString>

#include <optional>

/// The four values of the proxy settings file, in the file's line order.
struct ProxySettings
{
    QString url;
    QString type;
    QString user;
    QString password;
};

/// Largest proxy file taken seriously; anything bigger is not a settings file.
constexpr qint64 maxProxyFileSize = 64 * 1024;

/**
 * Reads the content of the proxy settings file. Valid means: at most
 * maxProxyFileSize bytes that, after dropping ASCII whitespace around them, form
 * one canonical Base64 text (standard alphabet, "=" padding, nothing else
 * inside) whose bytes are well-formed UTF-8 without NUL and hold exactly four
 * lines joined by "\n" (no line feed after the fourth). The lines are taken as
 * they stand. Anything else gives no value.
 */
std::optional<ProxySettings> parseProxySettings(const QByteArray& content);

/// Reads the proxy settings file at @p path; no value when it is missing, unreadable or not valid.
std::optional<ProxySettings> readProxySettingsFile(const QString& path);

#endif
