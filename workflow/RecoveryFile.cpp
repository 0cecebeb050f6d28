#include "workflow/RecoveryFile.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr char kSignature[] = "VLRWORK\r\n\x1a\n";
constexpr qsizetype kSignatureSize = sizeof(kSignature) - 1;
constexpr quint32 kFormatVersion = 1;
constexpr qsizetype kHashSize = 32;
// Far above three documents with pictures; a length beyond it is damage, not work.
constexpr qint64 kLargestFile = qint64(1) << 30;

} // namespace

QByteArray CRecoveryFile::Encode(const UnsavedWork& work)
{
    QByteArray bytes(kSignature, kSignatureSize);
    {
        QDataStream out(&bytes, QIODevice::WriteOnly | QIODevice::Append);
        out.setVersion(QDataStream::Qt_6_4);
        out << kFormatVersion << qint32(work.categoryRadioId) << quint32(work.fields.GetCount());
        for (auto it = work.fields.begin(); it != work.fields.end(); ++it)
            out << it.key() << it.value();
        for (const QByteArray& document : work.documents)
            out << document;
    }
    bytes += QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    return bytes;
}

std::optional<UnsavedWork> CRecoveryFile::Decode(const QByteArray& bytes, QString* error)
{
    const auto fail = [error](const char* why) -> std::optional<UnsavedWork> {
        if (error)
            *error = QString::fromUtf8(why);
        return std::nullopt;
    };
    if (bytes.size() < kSignatureSize + kHashSize || !bytes.startsWith(QByteArray(kSignature, kSignatureSize)))
        return fail("복구 파일이 아닙니다.");
    const QByteArray body = bytes.first(bytes.size() - kHashSize);
    if (QCryptographicHash::hash(body, QCryptographicHash::Sha256) != bytes.last(kHashSize))
        return fail("파일이 끝까지 쓰이지 않았거나 손상되었습니다.");

    QDataStream in(body);
    in.setVersion(QDataStream::Qt_6_4);
    in.skipRawData(int(kSignatureSize));
    quint32 version = 0;
    qint32 radioId = 0;
    quint32 fieldCount = 0;
    in >> version;
    if (version != kFormatVersion)
        return fail("이 프로그램이 모르는 판의 복구 파일입니다.");
    in >> radioId >> fieldCount;
    UnsavedWork work;
    work.categoryRadioId = radioId;
    for (quint32 i = 0; i < fieldCount && in.status() == QDataStream::Ok; ++i) {
        QString key;
        QString value;
        in >> key >> value;
        work.fields.SetAt(key, value);
    }
    for (QByteArray& document : work.documents)
        in >> document;
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return fail("복구 파일의 내용이 맞지 않습니다.");
    return work;
}

CRecoveryFile::CRecoveryFile(QString path, std::function<void(bool, const QString&)> written)
    : m_path(std::move(path)), m_written(std::move(written)), m_thread(WorkerThread::Start([this] { run(false); }))
{
}

CRecoveryFile::~CRecoveryFile()
{
    Flush();
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.reset();
}

bool CRecoveryFile::Exists() const
{
    return QFileInfo::exists(m_path);
}

std::optional<UnsavedWork> CRecoveryFile::Read(QString* error) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    if (file.size() > kLargestFile) {
        if (error)
            *error = QStringLiteral("복구 파일이 너무 큽니다.");
        return std::nullopt;
    }
    return Decode(file.readAll(), error);
}

QString CRecoveryFile::SetAside()
{
    Flush();
    const QString aside =
        m_path + QStringLiteral(".damaged-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    return QFile::rename(m_path, aside) ? aside : QString();
}

void CRecoveryFile::WriteLater(const UnsavedWork& work)
{
    QByteArray bytes = Encode(work);
    {
        const std::lock_guard lock(m_mutex);
        m_pending.emplace(std::move(bytes));
    }
    m_wake.notify_one();
    if (!m_thread)
        run(true);
}

void CRecoveryFile::RemoveLater()
{
    {
        const std::lock_guard lock(m_mutex);
        m_pending.emplace(std::nullopt);
    }
    m_wake.notify_one();
    if (!m_thread)
        run(true);
}

void CRecoveryFile::Flush()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_pending && !m_busy; });
}

void CRecoveryFile::run(bool untilIdle)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (untilIdle && !m_pending)
            return;
        m_wake.wait(lock, [this] { return m_stop || m_pending; });
        if (!m_pending && m_stop)
            return;
        const std::optional<QByteArray> next = std::move(*m_pending);
        m_pending.reset();
        m_busy = true;
        lock.unlock();

        if (!next) {
            QFile::remove(m_path);
        } else {
            // Written beside the old file and renamed over it once on the disk: a crash in between leaves
            // the old file, never half of the new one.
            QDir().mkpath(QFileInfo(m_path).absolutePath());
            QSaveFile file(m_path);
            file.setDirectWriteFallback(false);
            const bool ok = file.open(QIODevice::WriteOnly) && file.write(*next) == next->size() && file.commit();
            const QString error = ok ? QString() : file.errorString();
            if (!ok)
                file.cancelWriting();
            if (m_written)
                m_written(ok, error);
        }

        lock.lock();
        m_busy = false;
        if (!m_pending)
            m_idle.notify_all();
    }
}
