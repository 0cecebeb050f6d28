#pragma once

#include "document/hwp/Records.h"
#include "document/model/HwpModel.h"

#include <QByteArray>
#include <QList>

// What a document's DocInfo stream holds that its body refers to by id: face names, character and paragraph
// shapes, border fills, numberings and the list of binary data (pictures), as the model's values.
namespace HwpDocInfo {

// Reads the records of a DocInfo stream. Nothing in it can fail: records too short to hold what they should
// are taken as far as they go, and ids the body gives that are not here fall back to plain text.
HwpModel::DocInfo Read(const QList<HwpRecords::Record>& records);

// The DocInfo stream of a document of `sections` sections whose shapes are `info`'s: the face names (the same in
// every language), the one tab definition and style the body's shapes name, and the records of each shape.
QByteArray Write(const HwpModel::DocInfo& info, int sections = 1);

} // namespace HwpDocInfo
