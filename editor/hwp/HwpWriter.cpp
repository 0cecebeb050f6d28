#include "editor/hwp/HwpFile.h"

#include "editor/hwp/Container.h"
#include "editor/hwp/Records.h"

#include <QSaveFile>
#include <QTextDocument>

namespace HwpFile {

QByteArray Bytes(const QTextDocument& document, const PageGeometry& page, QString* error)
{
    Q_UNUSED(document);
    Q_UNUSED(page);
    if (error)
        *error = QStringLiteral("HWP 문서를 쓸 수 없습니다.");
    return {};
}

bool Save(const QTextDocument& document, const PageGeometry& page, const QString& path, QString* error)
{
    const QByteArray bytes = Bytes(document, page, error);
    if (bytes.isEmpty())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("파일을 쓸 수 없습니다. (%1)").arg(file.errorString());
        return false;
    }
    return true;
}

} // namespace HwpFile
