// Writes the seed corpus of the HWP fuzz harness: small documents, each reaching one part of the reader (text
// runs, controls in text, a table, an equation, binary data, sections, refused flags), written by the program's
// own writer. Most streams are then stored uncompressed so that the fuzzer's changes land on records rather than
// on deflate blocks.
//
//   make_hwp_seeds FOLDER        (tests/fuzz/corpus/hwp)
//
// Every seed but the refused ones must pass tools/hwp-check/olefile-check.py.

#include "document/FormulaObject.h"
#include "document/hwp/Container.h"
#include "document/hwp/HwpFile.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QtEndian>

#include <cstdio>
#include <functional>

namespace {

// Flags of FileHeader.
constexpr quint32 kCompressed = 0x1;
constexpr quint32 kPassword = 0x2;
constexpr quint32 kDistribution = 0x4;

// A document of one section, as the editor makes it.
QByteArray Written(const std::function<void(QTextDocument&, QTextCursor&)>& fill)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    fill(document, cursor);
    return HwpFile::Bytes(document, PageGeometry());
}

QByteArray Text()
{
    return Written([](QTextDocument&, QTextCursor& cursor) {
        cursor.insertText(QStringLiteral("가나다 abc"));
        cursor.insertBlock();
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        cursor.insertText(QStringLiteral("굵게"), bold);
        cursor.insertText(QStringLiteral(" plain"), QTextCharFormat());
    });
}

// `bytes` with the FileHeader's flags set to `flags`, and its streams stored as the compression flag says.
QByteArray Seed(const QByteArray& bytes, quint32 flags, QString* error)
{
    std::optional<HwpContainer::Streams> streams = HwpContainer::ReadStreams(bytes, error);
    if (!streams)
        return {};
    for (auto it = streams->begin(); it != streams->end(); ++it) {
        const bool records = it.key() == QLatin1String("DocInfo") || it.key().startsWith(QLatin1String("BodyText/"));
        if (records && !(flags & kCompressed)) {
            const std::optional<QByteArray> inflated = HwpContainer::Inflate(it.value());
            if (!inflated)
                return {};
            it.value() = *inflated;
        }
    }
    QByteArray& header = (*streams)[QStringLiteral("FileHeader")];
    auto* properties = reinterpret_cast<uchar*>(header.data()) + 36;
    qToLittleEndian<quint32>((qFromLittleEndian<quint32>(properties) & ~0x7u) | flags, properties);
    return HwpContainer::WriteStreams(*streams, error);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QByteArray controls = Written([](QTextDocument&, QTextCursor& cursor) {
        cursor.insertText(QStringLiteral("\t탭") + QChar(QChar::LineSeparator) + QStringLiteral("줄") +
                          QChar(QChar::Nbsp) + QChar(0x2007));
    });
    const QByteArray table = Written([](QTextDocument&, QTextCursor& cursor) {
        cursor.insertText(QStringLiteral("표"));
        QTextTable* grid = cursor.insertTable(2, 2);
        for (int cell = 0; cell < 4; ++cell)
            grid->cellAt(cell / 2, cell % 2).firstCursorPosition().insertText(QStringLiteral("가나다라").mid(cell, 1));
    });
    const QByteArray equation = Written([](QTextDocument&, QTextCursor& cursor) {
        cursor.insertText(QStringLiteral("근의 공식"));
        cursor.insertText(
            QString(QChar::ObjectReplacementCharacter),
            FormulaObject::MakeFormat(QStringLiteral("x = {-b +- sqrt {b^2 - 4ac}} over {2a}"), 10, Qt::black));
    });
    const QByteArray picture = Written([](QTextDocument& document, QTextCursor& cursor) {
        cursor.insertText(QStringLiteral("그림"));
        QImage grey(1, 1, QImage::Format_Grayscale8);
        grey.fill(128);
        document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("vellorin-picture:1")), grey);
        QTextImageFormat image;
        image.setName(QStringLiteral("vellorin-picture:1"));
        cursor.insertImage(image);
    });
    // A second section: the first one again, with its own text.
    std::optional<HwpModel::Document> sections = HwpFile::ReadModel(
        Written([](QTextDocument&, QTextCursor& cursor) { cursor.insertText(QStringLiteral("하나")); }));
    if (!sections)
        return 1;
    sections->sections.push_back(sections->sections.front());
    HwpModel::Paragraph& second = sections->sections.back().paragraphs.front();
    second.text.replace(QStringLiteral("하나"), QStringLiteral("둘"));
    const QList<std::tuple<const char*, QByteArray, quint32>> seeds{
        {"text-compressed.hwp", Text(), kCompressed},
        {"text.hwp", Text(), 0},
        {"controls.hwp", controls, 0},
        {"table.hwp", table, 0},
        {"equation.hwp", equation, 0},
        {"picture-data.hwp", picture, 0},
        {"two-sections.hwp", HwpFile::Bytes(*sections), 0},
        {"password.hwp", Text(), kCompressed | kPassword},
        {"distribution.hwp", Text(), kCompressed | kDistribution},
    };
    for (const auto& [name, bytes, flags] : seeds) {
        QString error;
        const QByteArray seed = Seed(bytes, flags, &error);
        QFile file(folder.filePath(QLatin1String(name)));
        if (seed.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(seed) != seed.size()) {
            std::fprintf(stderr, "%s: %s\n", name, qPrintable(error.isEmpty() ? file.errorString() : error));
            return 1;
        }
    }
    return 0;
}
