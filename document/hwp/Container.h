#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// The two lowest layers of HWP 5.0 files, shared by the reader and the writer: the compound file (OLE2) that
// holds the streams, and the raw-deflate compression of streams.
namespace HwpContainer {

// The streams of a compound file, by path with "/" between storages ("FileHeader", "BodyText/Section0",
// "BinData/BIN0001.png", "\005HwpSummaryInformation"). Everything is read into memory at once, so nothing of
// the file stays open.
using Streams = QMap<QString, QByteArray>;

// The stream of bin item `id`'s bytes: "BinData/BIN000A.png", the id in four upper-case hexadecimal digits.
inline QString BinDataName(int id, const QString& extension)
{
    return QStringLiteral("BinData/BIN%1.%2").arg(QString::number(id, 16).toUpper().rightJustified(4, u'0'), extension);
}

// Limits on what a file may make us hold: beyond them the file is refused as broken.
inline constexpr qsizetype kMaxTotalBytes = qsizetype(512) << 20;
inline constexpr int kMaxEntries = 16384;
inline constexpr int kMaxDepth = 8;

// Reads every stream of the compound file in `bytes`; nullopt and *error (in words for the user) when it is
// not a compound file or is broken.
std::optional<Streams> ReadStreams(const QByteArray& bytes, QString* error = nullptr);

// A compound file holding `streams` (storages are made from the paths). Empty, with *error set, when a name is
// longer than the 31 characters an entry holds or the file cannot be written.
QByteArray WriteStreams(const Streams& streams, QString* error = nullptr);

// Raw deflate (no zlib header), as HWP compresses DocInfo, the sections and binary data.
QByteArray Deflate(const QByteArray& data);
// Inflates raw-deflate `data`; nullopt when it does not inflate, stops short, or would grow beyond `limit`.
std::optional<QByteArray> Inflate(const QByteArray& data, qsizetype limit = kMaxTotalBytes);

} // namespace HwpContainer
