#include "editor/Clipboard.h"

#include "document/DocumentFile.h"
#include "document/FormulaObject.h"
#include "document/PageGeometry.h"
#include "document/TableEditing.h"

#include <QBuffer>
#include <QHash>
#include <QImage>
#include <QMimeData>
#include <QRegularExpression>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextTable>

namespace {

// The clipboard format of a selection copied in one of our editors.
constexpr char kNativeMimeType[] = "application/x-vellorin-document";

} // namespace

void Clipboard::StorePictures(QTextDocument& document, const std::function<QString(const QImage&)>& store)
{
    // Found first and changed after: a new format can merge fragments under a running iterator.
    QList<QPair<int, QTextImageFormat>> pictures;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextImageFormat format = it.fragment().charFormat().toImageFormat();
            // A picture is one character; a fragment of several is the same picture several times.
            for (int i = 0; format.isValid() && i < it.fragment().length(); ++i)
                pictures.append({it.fragment().position() + i, format});
        }
    }
    QHash<QString, QString> renamed;
    for (auto& [position, format] : pictures) {
        const QString name = format.name();
        if (!renamed.contains(name)) {
            const QImage image = document.resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
            renamed.insert(name, image.isNull() ? name : store(image));
        }
        format.setName(renamed.value(name));
        QTextCursor cursor(&document);
        cursor.setPosition(position);
        cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
        cursor.setCharFormat(format);
    }
}

QMimeData* Clipboard::MimeData(const QTextCursor& cursor)
{
    const QTextDocument* document = cursor.document();
    const QTextDocumentFragment fragment = cursor.selection();
    // The HTML names pictures by this document's resources, which another editor does not have: the
    // pictures travel inside it as data.
    QString html = fragment.toHtml();
    QTextDocument copied;
    // Text without a font of its own is in the document's font: the copy's HTML says so for the text that
    // comes back from it, which a new document's font (the system's) would otherwise make smaller, and its
    // lines with it.
    copied.setDefaultFont(document->defaultFont());
    QTextCursor(&copied).insertFragment(fragment);
    QList<QImage> pictures;
    QSet<QString> done;
    for (const QString& name : DocumentFile::PictureNames(copied)) {
        const QImage image = document->resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>();
        if (image.isNull())
            continue;
        pictures.append(image);
        if (done.contains(name))
            continue;
        done.insert(name);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        html.replace(QStringLiteral("src=\"%1\"").arg(name),
                     QStringLiteral("src=\"data:image/png;base64,%1\"").arg(QString::fromLatin1(png.toBase64())));
    }
    auto* mime = new QMimeData;
    // Between editors of this program the selection goes whole, as a document of our own format: HTML loses
    // what Qt cannot express in it (numbering styles it does not draw, cell border widths).
    for (const QString& name : done)
        copied.addResource(QTextDocument::ImageResource, QUrl(name),
                           document->resource(QTextDocument::ImageResource, QUrl(name)));
    mime->setData(QString::fromLatin1(kNativeMimeType), DocumentFile::NativeBytes(copied, PageGeometry()));
    mime->setHtml(html);
    mime->setText(fragment.toPlainText());
    // A formula alone also goes as its script, for other programs and for the script of another formula.
    if (const QList<int> formulas = FormulaObject::Positions(copied);
        formulas.size() == 1 && fragment.toPlainText().trimmed() == QString(QChar::ObjectReplacementCharacter))
        mime->setText(FormulaObject::Script(FormulaObject::FormatAt(copied, formulas.first())));
    // A picture alone also goes as an image, for other programs.
    if (pictures.size() == 1 && fragment.toPlainText().trimmed() == QString(QChar::ObjectReplacementCharacter))
        mime->setImageData(pictures.first());
    return mime;
}

bool Clipboard::ReadNative(const QMimeData& mime, QTextDocument& into)
{
    const QByteArray native = mime.data(QString::fromLatin1(kNativeMimeType));
    if (native.isEmpty())
        return false;
    PageGeometry page;
    QBuffer buffer;
    buffer.setData(native);
    buffer.open(QIODevice::ReadOnly);
    return DocumentFile::ReadNative(into, page, buffer);
}

void Clipboard::ReadHtml(const QString& html, const std::function<QString(const QImage&)>& store, QTextDocument& into)
{
    // Pictures that came as data become pictures of this document, under names of its own.
    static const QRegularExpression dataImage(QStringLiteral("src=\"data:image/[a-z]+;base64,([A-Za-z0-9+/=]+)\""));
    QString rewritten;
    qsizetype last = 0;
    for (auto it = dataImage.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QImage image = QImage::fromData(QByteArray::fromBase64(match.captured(1).toLatin1()));
        rewritten += html.mid(last, match.capturedStart() - last);
        last = match.capturedEnd();
        if (image.isNull() || !store)
            continue;
        rewritten += QStringLiteral("src=\"%1\"").arg(store(image));
    }
    rewritten += html.mid(last);
    // Tables from web pages and other programs come with their grey double borders and spacing: they take this
    // editor's grid, as a table made here has.
    into.setHtml(rewritten);
    QList<QTextTable*> tables;
    for (QTextBlock block = into.begin(); block.isValid(); block = block.next()) {
        if (QTextTable* table = QTextCursor(block).currentTable(); table && !tables.contains(table))
            tables.append(table);
    }
    for (QTextTable* table : tables) {
        QTextTableFormat format = TableEditing::GridFormat();
        format.setColumnWidthConstraints(table->format().columnWidthConstraints());
        format.setWidth(table->format().width());
        format.setAlignment(table->format().alignment());
        table->setFormat(format);
        TableEditing::GridInEveryCell(table);
    }
}
