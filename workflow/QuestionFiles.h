#pragma once

// The question file set: where the save writes each slot's page bitmap, PNG and document, all directly in
// the working folder, under names that carry the slot's file letter.

#include "core/Vocabulary.h"

#include <QString>

// The per-user folder of the working files, with a trailing "/". The program's own folder is not writable
// once it is installed.
QString DefaultWorkingFolder();
// Makes the working folder when it is missing. False when there is no folder there afterwards (it cannot be
// made, or a file stands in its path); `*error` then says why.
bool MakeWorkingFolder(const QString& folder, QString* error);

// Working folder + "_q" (or "_a", "_d"): what the editor renders the page bitmap to, with "." + "BMP" added.
QString PageImageBase(const QString& folder, DocumentSlot slot);
QString PageImagePath(const QString& folder, DocumentSlot slot);
QString PngPath(const QString& folder, DocumentSlot slot);
// Working folder + "_q.hwp" (or "_a.hwp", "_d.hwp").
QString HwpPath(const QString& folder, DocumentSlot slot);

// A document as the search downloads it: working folder + "d_q.hwp" (or "d_a.hml", …); `extension` is "hwp"
// or "hml".
QString DownloadedDocumentPath(const QString& folder, DocumentSlot slot, const QString& extension);
