#include "document/hwp/Container.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-output-memory.h>
#include <zlib.h>

#include <QStringList>

#include <memory>
#include <mutex>

namespace HwpContainer {

namespace {

struct Unref
{
    void operator()(void* object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template <typename T> using Owned = std::unique_ptr<T, Unref>;

// Reads the entries under `storage` into `streams`, counting entries and bytes against the limits.
bool readStorage(GsfInfile* storage, const QString& prefix, int depth, Streams& streams, int& entries, qsizetype& total,
                 QString& why)
{
    if (depth > kMaxDepth) {
        why = QStringLiteral("저장소가 너무 깊이 중첩되어 있습니다.");
        return false;
    }
    const int count = gsf_infile_num_children(storage);
    for (int i = 0; i < count; ++i) {
        if (++entries > kMaxEntries) {
            why = QStringLiteral("항목이 너무 많습니다.");
            return false;
        }
        const char* name = gsf_infile_name_by_index(storage, i);
        Owned<GsfInput> child(gsf_infile_child_by_index(storage, i));
        if (!name || !child) {
            why = QStringLiteral("항목을 읽을 수 없습니다.");
            return false;
        }
        const QString path = prefix + QString::fromUtf8(name);
        if (gsf_infile_num_children(GSF_INFILE(child.get())) >= 0) {
            if (!readStorage(GSF_INFILE(child.get()), path + u'/', depth + 1, streams, entries, total, why))
                return false;
            continue;
        }
        const gsf_off_t size = gsf_input_size(child.get());
        if (size < 0 || size > kMaxTotalBytes - total) {
            why = QStringLiteral("스트림이 너무 큽니다.");
            return false;
        }
        total += qsizetype(size);
        QByteArray data(qsizetype(size), Qt::Uninitialized);
        if (size > 0 && !gsf_input_read(child.get(), size_t(size), reinterpret_cast<guint8*>(data.data()))) {
            why = QStringLiteral("스트림 \"%1\"을(를) 읽을 수 없습니다.").arg(path);
            return false;
        }
        streams.insert(path, data);
    }
    return true;
}

// libgsf warns on stderr about every broken chain it meets; the caller gets our own error instead.
void quietenLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        g_log_set_handler(
            "libgsf:msole", GLogLevelFlags(G_LOG_LEVEL_MASK),
            [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    });
}

} // namespace

std::optional<Streams> ReadStreams(const QByteArray& bytes, QString* error)
{
    auto fail = [error](const QString& why) -> std::optional<Streams> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    quietenLibrary();
    Owned<GsfInput> input(
        gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes.constData()), bytes.size(), FALSE));
    if (!input)
        return fail(QStringLiteral("문서를 읽을 수 없습니다."));
    GError* gerror = nullptr;
    Owned<GsfInfile> root(gsf_infile_msole_new(input.get(), &gerror));
    if (!root) {
        if (gerror)
            g_error_free(gerror);
        return fail(QStringLiteral("HWP 문서가 아니거나 손상된 파일입니다. (복합 파일을 읽을 수 없습니다.)"));
    }
    Streams streams;
    int entries = 0;
    qsizetype total = 0;
    QString why;
    if (!readStorage(root.get(), QString(), 0, streams, entries, total, why))
        return fail(QStringLiteral("문서가 손상되었습니다. %1").arg(why));
    return streams;
}

QByteArray WriteStreams(const Streams& streams, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return QByteArray();
    };
    for (auto it = streams.cbegin(); it != streams.cend(); ++it) {
        const QStringList parts = it.key().split(u'/');
        for (const QString& part : parts) {
            if (part.isEmpty() || part.size() > 31)
                return fail(QStringLiteral("스트림 이름 \"%1\"을(를) 쓸 수 없습니다.").arg(it.key()));
        }
    }
    Owned<GsfOutput> memory(gsf_output_memory_new());
    Owned<GsfOutfile> root(gsf_outfile_msole_new(memory.get()));
    if (!root)
        return fail(QStringLiteral("문서를 만들 수 없습니다."));
    // Storages stay open until every stream in them is written; QMap's order puts a storage's streams together.
    QMap<QString, GsfOutfile*> storages;
    std::vector<Owned<GsfOutfile>> open;
    bool ok = true;
    for (auto it = streams.cbegin(); ok && it != streams.cend(); ++it) {
        const QStringList parts = it.key().split(u'/');
        GsfOutfile* parent = root.get();
        QString path;
        for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
            path += parts[i] + u'/';
            GsfOutfile*& storage = storages[path];
            if (!storage) {
                storage = GSF_OUTFILE(gsf_outfile_new_child(parent, parts[i].toUtf8().constData(), TRUE));
                if (!storage) {
                    ok = false;
                    break;
                }
                open.emplace_back(storage);
            }
            parent = storage;
        }
        if (!ok)
            break;
        Owned<GsfOutput> stream(gsf_outfile_new_child(parent, parts.last().toUtf8().constData(), FALSE));
        ok = stream && gsf_output_write(stream.get(), size_t(it.value().size()),
                                        reinterpret_cast<const guint8*>(it.value().constData()));
        ok = stream && gsf_output_close(stream.get()) && ok;
    }
    // Inner storages close before the ones holding them.
    for (auto it = open.rbegin(); it != open.rend(); ++it)
        ok = gsf_output_close(GSF_OUTPUT(it->get())) && ok;
    open.clear();
    ok = gsf_output_close(GSF_OUTPUT(root.get())) && ok;
    if (!ok)
        return fail(QStringLiteral("문서를 쓸 수 없습니다."));
    const auto* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory.get()));
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(gsf_output_size(memory.get())));
}

QByteArray Deflate(const QByteArray& data)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = deflate(&stream, Z_FINISH);
    const qsizetype written = qsizetype(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        return {};
    out.truncate(written);
    return out;
}

std::optional<QByteArray> Inflate(const QByteArray& data, qsizetype limit)
{
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK)
        return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    QByteArray out;
    char chunk[65536];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(chunk);
        stream.avail_out = sizeof chunk;
        result = inflate(&stream, Z_NO_FLUSH);
        const qsizetype produced = qsizetype(sizeof chunk - stream.avail_out);
        if (produced > limit - out.size()) {
            result = Z_MEM_ERROR;
            break;
        }
        out.append(chunk, produced);
        if (result == Z_BUF_ERROR && stream.avail_in == 0)
            break;
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END)
        return std::nullopt;
    return out;
}

} // namespace HwpContainer
