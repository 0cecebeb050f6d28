#include "editor/hwp/HwpFile.h"

#include "editor/hwp/Container.h"
#include "editor/hwp/Records.h"

#include <QFile>
#include <QTextDocument>

namespace HwpFile {

bool HasSignature(const QByteArray& head)
{
    static const QByteArray signature("\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8);
    return head.startsWith(signature);
}

bool Read(QTextDocument& document, PageGeometry& page, const QByteArray& bytes, QString* error, int* droppedObjects)
{
    Q_UNUSED(document);
    Q_UNUSED(page);
    Q_UNUSED(bytes);
    Q_UNUSED(droppedObjects);
    if (error)
        *error = QStringLiteral("HWP 문서를 읽을 수 없습니다.");
    return false;
}

bool Load(QTextDocument& document, PageGeometry& page, const QString& path, QString* error, int* droppedObjects)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("파일을 열 수 없습니다. (%1)").arg(file.errorString());
        return false;
    }
    return Read(document, page, file.readAll(), error, droppedObjects);
}

} // namespace HwpFile
