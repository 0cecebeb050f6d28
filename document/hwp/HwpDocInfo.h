#pragma once

#include "document/hwp/Records.h"
#include "document/model/HwpModel.h"

#include <QList>

// What a document's DocInfo stream holds that its body refers to by id: face names, character and paragraph
// shapes, border fills, numberings and the list of binary data (pictures), as the model's values.
namespace HwpDocInfo {

// Reads the records of a DocInfo stream. Nothing in it can fail: records too short to hold what they should
// are taken as far as they go, and ids the body gives that are not here fall back to plain text.
HwpModel::DocInfo Read(const QList<HwpRecords::Record>& records);

} // namespace HwpDocInfo
