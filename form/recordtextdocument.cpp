#include "recordtextdocument.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QPainter>
#include <QPaintDevice>
#include <QScreen>
#include <QTextFormat>
#include <QVariant>

RecordTextDocument::RecordTextDocument(QObject* parent)
    : QTextDocument(parent)
    // Qt's own picture for an image that it cannot load.
    , placeholder(QStringLiteral(":/qt-project.org/styles/commonstyle/images/file-16.png"))
{
    // Qt's image handler reads the file an image names when no resource is
    // found; this document draws every image itself instead.
    documentLayout()->registerHandler(QTextFormat::ImageObject, this);
}

void RecordTextDocument::keepOriginal(const QString& text)
{
    original = text;
    shown = toPlainText();
}

void RecordTextDocument::forgetOriginal()
{
    original = QString();
    shown = QString();
}

QString RecordTextDocument::textToSave() const
{
    const QString plain = toPlainText();
    return !original.isNull() && plain == shown ? original : plain;
}

QVariant RecordTextDocument::loadResource(int, const QUrl&)
{
    return QVariant();
}

// As Qt sizes an image it cannot find: the placeholder's size, or the size the
// markup gives, one side following the other; in whole pixels, scaled from
// Qt's default resolution to the device's.
QSizeF RecordTextDocument::intrinsicSize(QTextDocument*, int, const QTextFormat& format)
{
    const QTextImageFormat image = format.toImageFormat();
    const bool hasWidth = image.hasProperty(QTextFormat::ImageWidth);
    const bool hasHeight = image.hasProperty(QTextFormat::ImageHeight);
    const int width = qRound(image.width());
    const int height = qRound(image.height());
    const int pictureWidth = placeholder.width();
    const int pictureHeight = placeholder.height();
    QSize size(width, height);
    if (!hasWidth)
        size.setWidth(hasHeight ? qRound(height * (pictureWidth / qreal(pictureHeight))) : pictureWidth);
    if (!hasHeight)
        size.setHeight(hasWidth ? qRound(width * (pictureHeight / qreal(pictureWidth))) : pictureHeight);
    if (const QPaintDevice* device = documentLayout()->paintDevice()) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const int defaultDpi = QCoreApplication::testAttribute(Qt::AA_Use96Dpi) ? 96
            : screen ? qRound(screen->logicalDotsPerInchY()) : 100;
        size *= qreal(device->logicalDpiY()) / qreal(defaultDpi);
    }
    return size;
}

void RecordTextDocument::drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int, const QTextFormat&)
{
    painter->drawPixmap(rect, placeholder, placeholder.rect());
}
