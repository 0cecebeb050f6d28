#include "server/QuestionStore.h"

#include "core/HugePages.h"
#include "core/Permission.h"
#include "server/Passwords.h"

#include <QFile>

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// One prepared statement, finalised however the function leaves.
class Statement
{
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
            m_stmt = nullptr;
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_stmt != nullptr; }
    Statement& bind(int index, const std::string& text)
    {
        if (m_stmt)
            sqlite3_bind_text(m_stmt, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bindBlob(int index, const std::string& bytes)
    {
        if (m_stmt)
            sqlite3_bind_blob64(m_stmt, index, bytes.data(), bytes.size(), SQLITE_STATIC);
        return *this;
    }
    Statement& bind(int index, sqlite3_int64 value)
    {
        if (m_stmt)
            sqlite3_bind_int64(m_stmt, index, value);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return m_stmt ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    bool run() { return step() == SQLITE_DONE; }

    std::string text(int column) const
    {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
        return data ? std::string(data, std::size_t(sqlite3_column_bytes(m_stmt, column))) : std::string();
    }
    sqlite3_int64 integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// Whether a step ended in an error rather than with a row or the end; sets `*failed` when it did.
bool stepFailed(int rc, bool* failed)
{
    const bool error = rc != SQLITE_ROW && rc != SQLITE_DONE;
    if (error && failed)
        *failed = true;
    return error;
}

// The documents of one question, open for reading while this lives. Read straight from the database into where
// they go: a column's value would first be copied into a buffer of SQLite's own, of the document's size.
class DocumentBlobs
{
public:
    DocumentBlobs() = default;
    ~DocumentBlobs()
    {
        for (sqlite3_blob* blob : m_blobs)
            sqlite3_blob_close(blob);
    }
    DocumentBlobs(const DocumentBlobs&) = delete;
    DocumentBlobs& operator=(const DocumentBlobs&) = delete;

    // Opens every document of the question, in the order of their names; false when the database cannot be read.
    bool open(sqlite3* db, sqlite3_int64 questionId)
    {
        Statement documents(db, "SELECT rowid, name FROM documents WHERE question_id = ? ORDER BY name");
        documents.bind(1, questionId);
        int step = SQLITE_ROW;
        while ((step = documents.step()) == SQLITE_ROW) {
            sqlite3_blob* blob = nullptr;
            if (sqlite3_blob_open(db, "main", "documents", "data", documents.integer(0), 0, &blob) != SQLITE_OK) {
                sqlite3_blob_close(blob);
                return false;
            }
            m_blobs.push_back(blob);
            m_documents.push_back({documents.text(1), std::size_t(sqlite3_blob_bytes(blob))});
        }
        return step == SQLITE_DONE;
    }
    const std::vector<QuestionStore::StoredDocument>& documents() const { return m_documents; }
    bool read(std::size_t index, std::size_t offset, char* out, std::size_t size) const
    {
        return offset + size <= m_documents[index].size &&
               sqlite3_blob_read(m_blobs[index], out, int(size), int(offset)) == SQLITE_OK;
    }

private:
    std::vector<sqlite3_blob*> m_blobs;
    std::vector<QuestionStore::StoredDocument> m_documents;
};

constexpr const char* kSchema = R"sql(
PRAGMA foreign_keys = ON;
CREATE TABLE IF NOT EXISTS users (
    login TEXT PRIMARY KEY,
    salt BLOB NOT NULL,
    hash BLOB NOT NULL,
    iterations INTEGER NOT NULL,
    permission INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS schools (
    name TEXT NOT NULL,
    region TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS questions (
    id INTEGER PRIMARY KEY,
    category TEXT NOT NULL,
    identity TEXT NOT NULL,
    updated TEXT NOT NULL DEFAULT (datetime('now')),
    UNIQUE (category, identity));
CREATE TABLE IF NOT EXISTS question_fields (
    question_id INTEGER NOT NULL REFERENCES questions(id) ON DELETE CASCADE,
    position INTEGER NOT NULL,
    name TEXT NOT NULL,
    value TEXT NOT NULL,
    PRIMARY KEY (question_id, position));
CREATE TABLE IF NOT EXISTS documents (
    question_id INTEGER NOT NULL REFERENCES questions(id) ON DELETE CASCADE,
    name TEXT NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY (question_id, name));
)sql";

} // namespace

QuestionStore::QuestionStore(const std::string& path, std::chrono::milliseconds busyWait)
{
    // The file holds the password hashes: make it before SQLite does, so that it never exists readable by
    // others. SQLite gives its journal files the same mode.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    const int rc = sqlite3_open_v2(path.c_str(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        m_openError = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    sqlite3_busy_timeout(m_db, int(busyWait.count()));
    // A rollback journal, not a write-ahead log: the log's index is a shared-memory file mapped into every
    // process that opens the database, and a mapped file that cannot grow or shrinks under us (a full disk,
    // another process, an administrator) ends the server with SIGBUS instead of an error. The log's gain, readers
    // beside a writer, is none here: the server uses one connection under one lock. A database made with the log
    // is converted when nobody else has it open; until then it keeps working as it is.
    exec("PRAGMA journal_mode = DELETE");
    exec("PRAGMA mmap_size = 0");
    if (!exec(kSchema)) {
        m_openError = sqlite3_errmsg(m_db);
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    seed();
}

QuestionStore::~QuestionStore()
{
    sqlite3_close(m_db);
}

bool QuestionStore::exec(const char* sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void QuestionStore::seed()
{
    std::lock_guard lock(m_mutex);
    Statement count(m_db, "SELECT COUNT(*) FROM schools");
    if (count.step() != SQLITE_ROW || count.integer(0) != 0)
        return;
    QFile file(QStringLiteral(":/data/schools.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        return;
    exec("BEGIN");
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split('\t');
        if (parts.size() != 2 || line.startsWith('#'))
            continue;
        Statement insert(m_db, "INSERT INTO schools (name, region) VALUES (?, ?)");
        insert.bind(1, parts[0].toStdString()).bind(2, parts[1].toStdString()).run();
    }
    exec("COMMIT");
}

bool QuestionStore::AddUser(const std::string& login, const std::string& password, int permission)
{
    if (login.empty() || login.size() > kMaxLoginBytes)
        return false;
    const PasswordHash hash = HashPassword(password);
    std::lock_guard lock(m_mutex);
    Statement insert(m_db, "INSERT INTO users (login, salt, hash, iterations, permission) VALUES (?, ?, ?, ?, ?) "
                           "ON CONFLICT (login) DO UPDATE SET salt = excluded.salt, hash = excluded.hash, "
                           "iterations = excluded.iterations, permission = excluded.permission");
    return insert.bind(1, login)
        .bindBlob(2, hash.salt)
        .bindBlob(3, hash.hash)
        .bind(4, hash.iterations)
        .bind(5, permission)
        .run();
}

bool QuestionStore::AddDemoAccountIfEmpty()
{
    {
        std::lock_guard lock(m_mutex);
        Statement count(m_db, "SELECT COUNT(*) FROM users");
        if (count.step() != SQLITE_ROW || count.integer(0) != 0)
            return false;
    }
    return AddUser(kDemoLogin, kDemoPassword, Permission::kAll);
}

std::optional<int> QuestionStore::CheckPassword(const std::string& login, const std::string& password, bool* failed)
{
    PasswordHash stored;
    int permission = 0;
    bool found = false;
    {
        std::lock_guard lock(m_mutex);
        Statement select(m_db, "SELECT salt, hash, iterations, permission FROM users WHERE login = ?");
        const int rc = select.bind(1, login).step();
        if (stepFailed(rc, failed))
            return std::nullopt;
        found = rc == SQLITE_ROW;
        if (found) {
            stored.salt = select.text(0);
            stored.hash = select.text(1);
            stored.iterations = int(select.integer(2));
            permission = int(select.integer(3));
        }
    }
    // The slow hashes run outside the lock so that one login does not hold up every other request.
    if (!found) {
        VerifyAgainstNoAccount(password);
        return std::nullopt;
    }
    if (!VerifyPassword(password, stored))
        return std::nullopt;
    return permission;
}

std::optional<std::string> QuestionStore::CredentialStamp(const std::string& login, bool* failed)
{
    std::lock_guard lock(m_mutex);
    Statement select(m_db, "SELECT salt, permission FROM users WHERE login = ?");
    const int rc = select.bind(1, login).step();
    if (stepFailed(rc, failed) || rc != SQLITE_ROW)
        return std::nullopt;
    return select.text(0) + ':' + std::to_string(select.integer(1));
}

std::vector<QuestionStore::User> QuestionStore::Users()
{
    std::lock_guard lock(m_mutex);
    std::vector<User> users;
    Statement select(m_db, "SELECT login, permission FROM users ORDER BY login");
    while (select.step() == SQLITE_ROW)
        users.push_back({select.text(0), int(select.integer(1))});
    return users;
}

std::vector<std::pair<std::string, std::string>> QuestionStore::FindSchools(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    std::vector<std::pair<std::string, std::string>> schools;
    // instr() compares bytes, so any substring of the UTF-8 name matches; LIKE would treat % and _ specially.
    Statement select(m_db, "SELECT name, region FROM schools WHERE instr(name, ?) > 0 ORDER BY name");
    select.bind(1, text);
    while (select.step() == SQLITE_ROW)
        schools.emplace_back(select.text(0), select.text(1));
    return schools;
}

bool QuestionStore::PutQuestion(const std::string& category, const std::string& identity, const Question& question)
{
    std::lock_guard lock(m_mutex);
    if (!exec("BEGIN IMMEDIATE"))
        return false;
    bool ok = Statement(m_db, "DELETE FROM questions WHERE category = ? AND identity = ?")
                  .bind(1, category)
                  .bind(2, identity)
                  .run();
    ok = ok && Statement(m_db, "INSERT INTO questions (category, identity) VALUES (?, ?)")
                   .bind(1, category)
                   .bind(2, identity)
                   .run();
    const sqlite3_int64 id = sqlite3_last_insert_rowid(m_db);
    for (std::size_t i = 0; ok && i < question.metadata.size(); ++i) {
        ok = Statement(m_db, "INSERT INTO question_fields (question_id, position, name, value) VALUES (?, ?, ?, ?)")
                 .bind(1, id)
                 .bind(2, sqlite3_int64(i))
                 .bind(3, question.metadata[i].first)
                 .bind(4, question.metadata[i].second)
                 .run();
    }
    for (std::size_t i = 0; ok && i < question.documents.size(); ++i) {
        ok = Statement(m_db, "INSERT OR REPLACE INTO documents (question_id, name, data) VALUES (?, ?, ?)")
                 .bind(1, id)
                 .bind(2, question.documents[i].first)
                 .bindBlob(3, question.documents[i].second)
                 .run();
    }
    if (!ok || !exec("COMMIT")) {
        exec("ROLLBACK");
        return false;
    }
    return true;
}

std::optional<std::int64_t> QuestionStore::questionId(const std::string& category, const std::string& identity,
                                                      bool* failed)
{
    Statement find(m_db, "SELECT id FROM questions WHERE category = ? AND identity = ?");
    const int rc = find.bind(1, category).bind(2, identity).step();
    if (stepFailed(rc, failed) || rc != SQLITE_ROW)
        return std::nullopt;
    return find.integer(0);
}

std::optional<QuestionStore::Fields> QuestionStore::fieldsOf(std::int64_t questionId, bool* failed)
{
    Fields metadata;
    Statement fields(m_db, "SELECT name, value FROM question_fields WHERE question_id = ? ORDER BY position");
    fields.bind(1, sqlite3_int64(questionId));
    int step = SQLITE_ROW;
    while ((step = fields.step()) == SQLITE_ROW)
        metadata.emplace_back(fields.text(0), fields.text(1));
    if (stepFailed(step, failed))
        return std::nullopt;
    return metadata;
}

std::optional<QuestionStore::Question> QuestionStore::GetQuestion(const std::string& category,
                                                                  const std::string& identity, bool* failed)
{
    std::lock_guard lock(m_mutex);
    const std::optional<std::int64_t> id = questionId(category, identity, failed);
    std::optional<Fields> metadata = id ? fieldsOf(*id, failed) : std::nullopt;
    if (!metadata)
        return std::nullopt;
    Question question;
    question.metadata = std::move(*metadata);
    DocumentBlobs blobs;
    bool read = blobs.open(m_db, *id);
    for (std::size_t i = 0; read && i < blobs.documents().size(); ++i) {
        const StoredDocument& document = blobs.documents()[i];
        std::string data = LargeString(document.size);
        read = blobs.read(i, 0, data.data(), data.size());
        question.documents.emplace_back(document.name, std::move(data));
    }
    if (!read) {
        if (failed)
            *failed = true;
        return std::nullopt;
    }
    return question;
}

std::optional<std::string> QuestionStore::MakeReply(const std::string& category, const std::string& identity,
                                                    const ReplyMaker& make, bool* failed)
{
    std::lock_guard lock(m_mutex);
    const std::optional<std::int64_t> id = questionId(category, identity, failed);
    std::optional<Fields> metadata = id ? fieldsOf(*id, failed) : std::nullopt;
    if (!metadata)
        return std::nullopt;
    DocumentBlobs blobs;
    bool readable = blobs.open(m_db, *id);
    std::optional<std::string> reply;
    if (readable) {
        reply = make(std::move(*metadata), blobs.documents(),
                     [&](std::size_t index, std::size_t offset, char* out, std::size_t size) {
                         readable = readable && blobs.read(index, offset, out, size);
                         return readable;
                     });
    }
    if (!readable) {
        if (failed)
            *failed = true;
        return std::nullopt;
    }
    return reply;
}

std::optional<std::size_t> QuestionStore::QuestionSize(const std::string& category, const std::string& identity,
                                                       bool* failed)
{
    std::lock_guard lock(m_mutex);
    const std::optional<std::int64_t> found = questionId(category, identity, failed);
    if (!found)
        return std::nullopt;
    const sqlite3_int64 id = *found;
    Statement size(m_db,
                   "SELECT (SELECT COALESCE(SUM(length(CAST(name AS BLOB)) + length(CAST(value AS BLOB))), 0) FROM "
                   "question_fields "
                   "WHERE question_id = ?1) + (SELECT COALESCE(SUM(length(CAST(name AS BLOB)) + length(data)), 0) "
                   "FROM documents WHERE question_id = ?1)");
    const int sized = size.bind(1, id).step();
    if (stepFailed(sized, failed) || sized != SQLITE_ROW)
        return std::nullopt;
    return std::size_t(size.integer(0));
}

QuestionStore::Removal QuestionStore::RemoveQuestion(const std::string& category, const std::string& identity)
{
    std::lock_guard lock(m_mutex);
    Statement remove(m_db, "DELETE FROM questions WHERE category = ? AND identity = ?");
    if (!remove.bind(1, category).bind(2, identity).run())
        return Removal::Failed;
    return sqlite3_changes(m_db) > 0 ? Removal::Removed : Removal::Missing;
}
