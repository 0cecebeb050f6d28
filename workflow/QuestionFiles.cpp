#include "workflow/QuestionFiles.h"

#include "workflow/PageImage.h"

#include <QStandardPaths>

QString DefaultWorkingFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/work/");
}

QString PageImageBase(const QString& folder, DocumentSlot slot)
{
    return folder + u'_' + SlotFileLetter(slot);
}

QString PageImagePath(const QString& folder, DocumentSlot slot)
{
    return PageImageBase(folder, slot) + QStringLiteral(".BMP");
}

QString PngPath(const QString& folder, DocumentSlot slot)
{
    return PngPathFor(PageImagePath(folder, slot));
}

QString HwpPath(const QString& folder, DocumentSlot slot)
{
    return PageImageBase(folder, slot) + QStringLiteral(".hwp");
}

QString DownloadedDocumentPath(const QString& folder, DocumentSlot slot, const QString& extension)
{
    return folder + QStringLiteral("d_") + SlotFileLetter(slot) + u'.' + extension;
}
