#include "workflow/PageImage.h"

#include "tests/support/TestFiles.h"
#include "tests/workflow/BmpFile.h"

#include <QDir>
#include <QImage>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The image as Qt's own decoders see it: an independent reader of what we wrote.
QImage decoded(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_RGB888);
}

// Lets the files of this process grow to `bytes` only, as a full disk would (root included): a write beyond
// fails, or ends the process when SIGXFSZ is left at its default.
void LimitFileSize(rlim_t bytes)
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

// A save's trims and conversions of three pages, in its order and with its stops: the question's trim must
// find content, and a conversion that fails stops the run unless its page was found empty.
struct PageSteps
{
    std::function<bool(int)> trim;
    std::function<bool(int, QString*)> convert;
};

void RunSaveSteps(const PageSteps& steps)
{
    bool present[3] = {true, true, true};
    if (!steps.trim(0))
        return;
    present[1] = steps.trim(1);
    present[2] = steps.trim(2);
    for (int page = 0; page < 3; ++page) {
        QString error;
        if (!steps.convert(page, &error) && present[page])
            return;
    }
}

// A conversion that fails says why, and leaves the caller's path as it was.
bool conversionFails(const QString& bitmap)
{
    QString png = QStringLiteral("unchanged");
    QString error;
    return !ConvertPageImageToPng(bitmap, png, &error) && png == QLatin1String("unchanged") && !error.isEmpty();
}

// Every file of a folder with its bytes.
QMap<QString, QByteArray> FolderContents(const QString& folder)
{
    QMap<QString, QByteArray> contents;
    const auto all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (const QFileInfo& entry : QDir(folder).entryInfoList(all))
        contents.insert(entry.fileName(), entry.isDir() ? QByteArray("folder") : ReadTestFile(entry.filePath()));
    return contents;
}

} // namespace

class TestPageImage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    // Every row's content is the block: in its own colour, or with a colour for each pixel (so that a shifted or
    // swapped channel shows) when none is given.
    void trimsToContentWithFrame_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QRect>("block");
        QTest::addColumn<bool>("topDown");
        QTest::addColumn<int>("bitsPerPixel");
        QTest::addColumn<QColor>("colour");

        QTest::newRow("2 x 2 in the middle") << 10 << 10 << QRect(4, 4, 2, 2) << false << 24 << QColor();
        QTest::newRow("content from x = 2") << 37 << 21 << QRect(2, 5, 3, 3) << false << 24 << QColor();
        // On the right and at the bottom one white line is enough: the result is that line's index.
        QTest::newRow("content to W - 2 and H - 2") << 37 << 21 << QRect(30, 10, 6, 10) << false << 24 << QColor();
        QTest::newRow("odd width, row padding") << 1023 << 31 << QRect(100, 10, 801, 7) << false << 24 << QColor();
        QTest::newRow("top-down rows") << 55 << 40 << QRect(10, 3, 20, 30) << true << 24 << QColor();
        // Near white is content, in every channel.
        QTest::newRow("near-white grey") << 20 << 20 << QRect(9, 9, 1, 1) << false << 24 << QColor(254, 254, 254);
        QTest::newRow("near-white blue") << 20 << 20 << QRect(9, 9, 1, 1) << false << 24 << QColor(255, 255, 254);
        // A layout the renderer does not write goes through the library.
        QTest::newRow("32 bits") << 33 << 17 << QRect(5, 6, 8, 4) << false << 32 << QColor(200, 30, 90);
    }

    void trimsToContentWithFrame()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QRect, block);
        QFETCH(bool, topDown);
        QFETCH(int, bitsPerPixel);
        QFETCH(QColor, colour);

        BmpFile bmp;
        bmp.width = width;
        bmp.height = height;
        bmp.topDown = topDown;
        bmp.bitsPerPixel = bitsPerPixel;
        bmp.pixel = [block, colour](int x, int y) {
            if (!block.contains(x, y))
                return QColor(255, 255, 255);
            return colour.isValid() ? colour : QColor(x % 200, y % 200, (x * 7 + y) % 250);
        };
        const QString file = path(QStringLiteral("_q.BMP"));
        QVERIFY(bmp.write(file));
        QVERIFY(TrimPageImage(file));

        const QImage trimmed = decoded(file);
        QCOMPARE(trimmed.size(), block.size() + QSize(2, 2));
        for (int y = 0; y < trimmed.height(); ++y) {
            for (int x = 0; x < trimmed.width(); ++x) {
                const QColor expected = bmp.pixel(block.left() - 1 + x, block.top() - 1 + y);
                QCOMPARE(trimmed.pixelColor(x, y), expected);
            }
        }
        // The result is a 24-bit BMP again.
        QCOMPARE(ReadTestFile(file).mid(28, 2), QByteArray("\x18\x00", 2));

        // Converted, the trimmed page is the PNG, the bitmap is gone, and a PNG from an earlier run that sat at
        // the target does not survive as this run's page.
        QVERIFY(QImage(5, 5, QImage::Format_RGB888).save(PngPathFor(file)));
        QString png;
        QString error;
        QVERIFY2(ConvertPageImageToPng(file, png, &error), qPrintable(error));
        QCOMPARE(png, PngPathFor(file));
        QVERIFY(!QFile::exists(file));
        QCOMPARE(ReadTestFile(png).left(8), QByteArray("\x89PNG\r\n\x1a\n"));
        QCOMPARE(decoded(png), trimmed);
    }

    // The trim finds nothing to cut and leaves the file as it was: the page is all white, its content touches an
    // edge, or the file is no bitmap it can read.
    void trimLeavesTheFile_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file at all
        QTest::addColumn<bool>("readable");
        // An empty block is no pixel at all: the page is all white.
        const auto page = [](QRect block, int width = 101, int height = 53) {
            return PageWithBlock(width, height, block.left(), block.top(), block.right(), block.bottom()).bytes();
        };
        QTest::newRow("all white") << page(QRect()) << true;
        QTest::newRow("touches left") << page(QRect(0, 20, 5, 5)) << true;
        QTest::newRow("touches top") << page(QRect(40, 0, 5, 5)) << true;
        QTest::newRow("touches right") << page(QRect(96, 20, 5, 5)) << true;
        QTest::newRow("touches bottom") << page(QRect(40, 48, 5, 5)) << true;
        // One white column left of the content gives left = 0, which counts as touching.
        QTest::newRow("content from x = 1") << page(QRect(1, 20, 5, 5)) << true;
        QTest::newRow("content from y = 1") << page(QRect(40, 1, 5, 5)) << true;
        QTest::newRow("one pixel wide page") << page(QRect(), 1, 9) << true;

        const QByteArray good = PageWithBlock(64, 64, 10, 10, 20, 20).bytes();
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("truncated pixels") << good.left(good.size() - 100) << false;
        QTest::newRow("header only") << good.left(54) << false;
        QTest::newRow("cut header") << good.left(20) << false;
        QTest::newRow("empty") << QByteArray("") << false;
        QTest::newRow("not a bitmap") << QByteArray("%PDF-1.7 this is no image at all, just text of some length.")
                                      << false;
        QByteArray huge = good;
        huge.replace(18, 4, QByteArray("\xff\xff\xff\x7f", 4)); // width 2^31 - 1
        QTest::newRow("absurd width") << huge << false;
    }

    void trimLeavesTheFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, readable);
        const QString file = path(QStringLiteral("page.bmp"));
        QFile::remove(file);
        if (!content.isNull())
            WriteTestFile(file, content);
        QVERIFY(!TrimPageImage(file));
        QCOMPARE(ReadTestFile(file), content);
        if (readable)
            return;

        // A PNG of an earlier save must not outlive a conversion that failed: it would be uploaded as this
        // save's page.
        QVERIFY(QImage(5, 5, QImage::Format_RGB888).save(PngPathFor(file)));
        QVERIFY(conversionFails(file));
        QCOMPARE(QFile::exists(file), !content.isNull());
        QVERIFY(!QFile::exists(PngPathFor(file)));
    }

    void scanThreadThatCannotStart()
    {
        const QString file = path(QStringLiteral("threads.bmp"));
        QVERIFY(PageWithBlock(300, 200, 50, 50, 100, 100).write(file));
        const QByteArray before = ReadTestFile(file);
        std::atomic<int> started{0};
        std::atomic<int> finished{0};
        // The third thread cannot be started: the two running scans must end before the trim gives up.
        const ThreadStarter failThird = [&](std::function<void()> work) -> std::optional<WorkerThread> {
            if (started++ == 2)
                return std::nullopt;
            return WorkerThread::Start([&finished, work = std::move(work)] {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                work();
                ++finished;
            });
        };
        QVERIFY(!TrimPageImage(file, failThird));
        QCOMPARE(finished.load(), 2);
        QCOMPARE(ReadTestFile(file), before);
    }

    // The trimmed page is written beside the bitmap and renamed over it: a write that fails leaves the page
    // as it was, never half of it. A folder where the new file would go makes the write fail; one where the
    // PNG would go makes the conversion fail and keeps the bitmap.
    void failedWriteKeepsThePage()
    {
        const QString file = path(QStringLiteral("blocked.bmp"));
        QVERIFY(PageWithBlock(30, 20, 5, 5, 9, 9).write(file));
        const QByteArray before = ReadTestFile(file);
        QVERIFY(QDir().mkpath(file + QStringLiteral(".trim")));
        QVERIFY(!TrimPageImage(file));
        QCOMPARE(ReadTestFile(file), before);
        QVERIFY(QDir().rmdir(file + QStringLiteral(".trim")));
        QVERIFY(TrimPageImage(file));
        QVERIFY(!QFile::exists(file + QStringLiteral(".trim")));

        QVERIFY(QDir().mkpath(PngPathFor(file)));
        QVERIFY(conversionFails(file));
        QVERIFY(QFile::exists(file));
    }

    void pngPath()
    {
        QCOMPARE(PngPathFor(QStringLiteral("/w/_q.BMP")), QStringLiteral("/w/_q.png"));
        QCOMPARE(PngPathFor(QStringLiteral("/a.b/c.d.BMP")), QStringLiteral("/a.b/c.d.png"));
        QCOMPARE(PngPathFor(QStringLiteral("_d.BMP")), QStringLiteral("_d.png"));
        QCOMPARE(PngPathFor(QStringLiteral("/문제/_a.BMP")), QStringLiteral("/문제/_a.png"));
    }

    // A PNG cut short by a full disk leaves nothing under the PNG's name, whether the program dies in the
    // write or lives on, and no working file after a failure it lives through. This PNG is smaller than the
    // stream's buffer, so it first meets the disk when the file is closed.
    void convertCutShortLeavesNoPng()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("_q.BMP"));
        QVERIFY(PageWithBlock(40, 30, 5, 5, 30, 20, QColor(10, 200, 60)).write(file));
        const QByteArray before = ReadTestFile(file);
        const rlim_t room = 40; // the signature and the header fit, the pixels do not

        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            std::signal(SIGXFSZ, SIG_DFL);
            LimitFileSize(room);
            QString png;
            ConvertPageImageToPng(file, png);
            _exit(0);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ, qPrintable(QString::number(status)));
        QVERIFY(!QFile::exists(PngPathFor(file)));
        QCOMPARE(ReadTestFile(file), before);

        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        LimitFileSize(room);
        const bool failed = conversionFails(file);
        LimitFileSize(RLIM_INFINITY);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(failed);
        QCOMPARE(ReadTestFile(file), before);
        QCOMPARE(FolderContents(dir.path()).keys(), QStringList{QStringLiteral("_q.BMP")});

        QString png;
        QVERIFY(ConvertPageImageToPng(file, png));
        QCOMPARE(FolderContents(dir.path()).keys(), QStringList{QStringLiteral("_q.png")});
    }

    // Pages prepared at once and committed in the save's order leave every file as the plain calls one after
    // the other do, byte for byte, whichever step stops the run.
    void preparedPagesEndAsThePlainSteps_data()
    {
        QTest::addColumn<QString>("scenario");
        for (const char* scenario : {"three pages", "empty answer", "empty question", "question's PNG blocked",
                                     "answer's PNG blocked", "empty answer's PNG blocked", "unreadable explanation"})
            QTest::newRow(scenario) << QString::fromLatin1(scenario);
    }

    void preparedPagesEndAsThePlainSteps()
    {
        QFETCH(QString, scenario);
        const auto setUp = [&scenario](const QString& folder, QStringList* pages) {
            const QStringList names = {QStringLiteral("_q"), QStringLiteral("_a"), QStringLiteral("_d")};
            for (int page = 0; page < 3; ++page) {
                const QString bitmap = folder + u'/' + names[page] + QStringLiteral(".BMP");
                pages->append(bitmap);
                const bool empty =
                    (page == 0 && scenario == "empty question") || (page == 1 && scenario.startsWith("empty answer"));
                // Content and size differ from page to page, so that a page taken for another shows.
                BmpFile bmp = PageWithBlock(300 + 7 * page, 200, 20 + page, 30, 250, 150 - page,
                                            QColor(40 * page, 90, 200 - page));
                if (empty)
                    bmp.pixel = [](int, int) { return QColor(255, 255, 255); };
                QVERIFY(bmp.write(bitmap));
            }
            if (scenario == "unreadable explanation")
                WriteTestFile(pages->at(2), "BM not a bitmap");
            const int blocked = scenario.startsWith("question") ? 0 : scenario.contains("answer's PNG") ? 1 : -1;
            if (blocked >= 0)
                QVERIFY(QDir().mkpath(PngPathFor(pages->at(blocked))));
        };

        QTemporaryDir plainDir;
        QStringList plain;
        setUp(plainDir.path(), &plain);
        RunSaveSteps({[&](int page) { return TrimPageImage(plain[page]); },
                      [&](int page, QString* error) {
                          QString png;
                          return ConvertPageImageToPng(plain[page], png, error);
                      }});

        QTemporaryDir preparedDir;
        QStringList prepared;
        setUp(preparedDir.path(), &prepared);
        {
            std::vector<std::unique_ptr<PreparedPageImage>> pages;
            std::vector<WorkerThread> threads;
            for (const QString& bitmap : prepared) {
                pages.push_back(std::make_unique<PreparedPageImage>(bitmap));
                threads.push_back(*WorkerThread::Start([page = pages.back().get()] { page->Prepare(); }));
            }
            for (WorkerThread& thread : threads)
                thread.join();
            RunSaveSteps({[&](int page) { return pages[std::size_t(page)]->CommitTrim(); },
                          [&](int page, QString* error) {
                              QString png;
                              return pages[std::size_t(page)]->CommitPng(png, error);
                          }});
        }
        const QMap<QString, QByteArray> expected = FolderContents(plainDir.path());
        QCOMPARE(FolderContents(preparedDir.path()).keys(), expected.keys());
        QVERIFY(FolderContents(preparedDir.path()) == expected);
    }

    // The replaced and deleted bitmaps are let go of off the caller's way, but let go of: a save a minute
    // for a working day must not run out of files.
    void bitmapsLeaveNoFilesOpen()
    {
        const auto openFiles = [] {
            return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size();
        };
        const qsizetype before = openFiles();
        for (int round = 0; round < 20; ++round) {
            const QString file = path(QStringLiteral("_r.BMP"));
            QVERIFY(PageWithBlock(60, 40, 5, 5, 30, 20).write(file));
            QVERIFY(TrimPageImage(file));
            QString png;
            QVERIFY(ConvertPageImageToPng(file, png));
        }
        // Files that earlier tests let go of may close meanwhile: none may be left open by these rounds.
        QTRY_VERIFY2(openFiles() <= before, qPrintable(QString::number(openFiles()) + u'/' + QString::number(before)));
    }
};

QTEST_GUILESS_MAIN(TestPageImage)
#include "tst_pageimage.moc"
