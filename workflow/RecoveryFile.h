#pragma once

#include "core/WorkerThread.h"

// The writer's work since the last save, kept in one file of the per-user data folder while they write, so
// that a crash, a kill or a power cut costs no more than the last few seconds. The program offers it back
// at its next start.
//
// File: the signature "VLRWORK" 0D 0A 1A 0A, then a Qt data stream (Qt 6.4, big-endian) holding: quint32
// format version (1); qint32 the category's radio id (0 for none); quint32 field count, then per field its
// key and value (QString); the three documents in slot order, each in the editor's own format (QByteArray,
// empty for an editor that could not write it); then the SHA-256 of every byte before it, so that a file cut
// short or damaged on the disk is told apart from one that was written whole.

#include "net/FieldMap.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

struct UnsavedWork
{
    int categoryRadioId = 0;
    CMapStringToString fields;
    std::array<QByteArray, 3> documents;

    bool operator==(const UnsavedWork& other) const = default;
};

class CRecoveryFile
{
public:
    static QByteArray Encode(const UnsavedWork& work);
    // Nothing, and *error (when given) says why, for bytes that are not a whole file of this format.
    static std::optional<UnsavedWork> Decode(const QByteArray& bytes, QString* error = nullptr);

    // `written` is told on the writing thread after each write: whether it succeeded, and why not.
    explicit CRecoveryFile(QString path, std::function<void(bool ok, const QString& error)> written = {});
    // Finishes what was asked for.
    ~CRecoveryFile();
    CRecoveryFile(const CRecoveryFile&) = delete;
    CRecoveryFile& operator=(const CRecoveryFile&) = delete;

    QString Path() const { return m_path; }
    // Reads the file as it is on the disk now.
    bool Exists() const;
    std::optional<UnsavedWork> Read(QString* error = nullptr) const;
    // Moves a file that cannot be read out of the way under a name of its own, which it gives; empty when it
    // could not be moved.
    QString SetAside();

    // On a thread of its own, in the order asked, never holding up the caller; a write that has not begun
    // when a newer write or a removal is asked for is dropped. The file is replaced whole or not at all.
    void WriteLater(const UnsavedWork& work);
    void RemoveLater();
    // Waits until everything asked for so far is done.
    void Flush();

private:
    // Writes what is asked for; on the file's own thread until it stops, on the caller's until nothing is pending.
    void run(bool untilIdle);

    const QString m_path;
    const std::function<void(bool, const QString&)> m_written;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    // What the file should become next: bytes to write, or nothing to remove it.
    std::optional<std::optional<QByteArray>> m_pending;
    bool m_busy = false;
    bool m_stop = false;
    // Nothing when the system gave no thread: the file is then written by the caller.
    std::optional<WorkerThread> m_thread;
};
