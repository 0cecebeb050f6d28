#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

// Bytes that look like a compressed document: every value equally likely, the same for the same seed.
inline QByteArray RandomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& b : bytes)
        b = char(generator.bounded(256));
    return bytes;
}

// Writes the file and returns its path; a test cannot go on without it.
inline QString WriteTestFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// The file's bytes, or nothing when it cannot be read.
inline QByteArray ReadTestFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

#ifdef VELLORIN_HWP_SAMPLES
// A document the word processor made, from the shared samples.
inline QString SamplePath(const QString& name)
{
    return QStringLiteral(VELLORIN_HWP_SAMPLES "/") + name;
}

// The sample's bytes; a test that reads a sample cannot go on without it.
inline QByteArray ReadSample(const QString& name)
{
    QFile file(SamplePath(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("The sample %s is missing: set VELLORIN_HWP_SAMPLES to the folder of the HWP samples.",
               qPrintable(file.fileName()));
    return file.readAll();
}

// The names of the shared samples that open: every one but the encrypted two, which their own tests refuse.
inline QStringList ReadableSamples()
{
    QStringList names = QDir(QStringLiteral(VELLORIN_HWP_SAMPLES)).entryList({QStringLiteral("*.hwp")}, QDir::Files);
    names.removeAll(QStringLiteral("distribution.hwp"));
    names.removeAll(QStringLiteral("password-12345.hwp"));
    if (names.size() < 20)
        qFatal("Only %d samples in %s.", int(names.size()), VELLORIN_HWP_SAMPLES);
    return names;
}
#endif
