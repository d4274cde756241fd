#ifndef RECORDTEXTDOCUMENT_H
#define RECORDTEXTDOCUMENT_H

#include <QPixmap>
#include <QTextDocument>
#include <QTextObjectInterface>

// The document of a record's text field. It never loads what the text names
// (files, devices, FIFOs, URLs, data: URLs): images are drawn as the
// placeholder Qt shows for an image it cannot find, at the size the markup
// gives, and style sheets and backgrounds stay unloaded.
//
// A text shown as plain text in place of its markup (showAsPlainText) is kept
// as it came: textToSave() gives it back unchanged while the field shows what
// it showed, and the field's plain text once the operator has changed it.
class RecordTextDocument : public QTextDocument, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    explicit RecordTextDocument(QObject* parent = nullptr);

    void keepOriginal(const QString& original);
    void forgetOriginal();
    QString textToSave() const;

    QSizeF intrinsicSize(QTextDocument* document, int position, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int position,
                    const QTextFormat& format) override;

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    const QPixmap placeholder;
    QString original;  // null: the field shows the text as Qt reads it
    QString shown;     // the plain text shown for original
};

#endif
