#include "workflow/QuestionFiles.h"

#include "workflow/PageImage.h"

#include <QFile>
#include <QStandardPaths>

#include <filesystem>
#include <system_error>

QString DefaultWorkingFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/work/");
}

bool MakeWorkingFolder(const QString& folder, QString* error)
{
    const std::filesystem::path path(QFile::encodeName(folder).toStdString());
    std::error_code code;
    std::filesystem::create_directories(path, code);
    std::error_code probe;
    if (std::filesystem::is_directory(path, probe))
        return true;
    // "File exists" would leave the user guessing: say what stands in the way.
    if (!code || code == std::errc::file_exists)
        code = probe ? probe : std::make_error_code(std::errc::not_a_directory);
    *error = QString::fromLocal8Bit(code.message());
    return false;
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
