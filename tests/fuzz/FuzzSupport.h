#pragma once

// What the fuzz harnesses share: a check that stops the run, a folder of the process's own, and the
// application object that text documents need.

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QString>
#include <QTemporaryDir>
#include <QTextDocument>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken promise stops the run: libFuzzer keeps the input, and the replay test fails on it.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

inline QByteArray FuzzBytes(const std::uint8_t* data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Removed when the process ends; several fuzzing processes never share one.
inline QString FuzzFolder()
{
    static const QTemporaryDir folder;
    FUZZ_CHECK(folder.isValid());
    return folder.path();
}

inline QString WriteFuzzFile(const QString& name, const QByteArray& bytes)
{
    const QString path = FuzzFolder() + u'/' + name;
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return path;
}

// Text documents need fonts, so a GUI application on the offscreen platform, made once.
inline void EnsureGuiApplication()
{
    static const QGuiApplication* application = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        // Qt's warnings about damaged pictures and unknown types, thousands a second, would slow the run.
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return new QGuiApplication(argc, argv);
    }();
    (void)application;
}

// The input as a device to read, and a document that holds "kept" until a reader changes it.
struct FuzzDocumentInput
{
    explicit FuzzDocumentInput(const std::uint8_t* data, std::size_t size)
        : bytes(FuzzBytes(data, size))
    {
        device.setBuffer(&bytes);
        device.open(QIODevice::ReadOnly);
        document.setPlainText(QStringLiteral("kept"));
    }
    // First: documents need the application object.
    bool applicationReady = (EnsureGuiApplication(), true);
    QByteArray bytes;
    QBuffer device;
    QTextDocument document;
};
