#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

// Everything the local question-bank server keeps, in one SQLite file: accounts, the school directory and
// the questions with their documents. Safe to use from the server's worker threads.
class QuestionStore
{
public:
    using Fields = std::vector<std::pair<std::string, std::string>>;

    struct Question
    {
        Fields metadata;  // field name → text, as the client sent it
        Fields documents; // "q_hwp", "a_png", … → the file's bytes
    };

    struct User
    {
        std::string login;
        int permission = 0;
    };

    // Opens or creates the database, readable by its owner only; a new one gets the sample school directory.
    // While another process holds the database (say `--add-user`), a call waits up to `busyWait` for it.
    explicit QuestionStore(const std::string& path, std::chrono::milliseconds busyWait = std::chrono::seconds(10));
    ~QuestionStore();
    QuestionStore(const QuestionStore&) = delete;
    QuestionStore& operator=(const QuestionStore&) = delete;

    bool IsOpen() const { return m_db != nullptr; }
    std::string OpenError() const { return m_openError; }

    // Adds the account or replaces its password and permission. `password` is the password's bytes as the
    // client sends them (code page 949). A login has 1 to kMaxLoginBytes bytes.
    bool AddUser(const std::string& login, const std::string& password, int permission);
    // The account's permission when the password is right; nothing when it is not, or when the database cannot
    // be read (then `*failed` is set, and no password was checked).
    std::optional<int> CheckPassword(const std::string& login, const std::string& password, bool* failed = nullptr);
    std::vector<User> Users();
    // Changes whenever the account's password or permission does (each change draws a new salt); nothing
    // when there is no such account, or when the database cannot be read (then `*failed` is set).
    std::optional<std::string> CredentialStamp(const std::string& login, bool* failed = nullptr);
    // Adds the well-known demo account to a database without accounts; whether it did. Only for a server
    // that nobody else can reach.
    bool AddDemoAccountIfEmpty();

    // Schools whose name contains `text`, by name.
    std::vector<std::pair<std::string, std::string>> FindSchools(const std::string& text);

    // Stores the question under its identity, replacing one stored there before, in one transaction.
    bool PutQuestion(const std::string& category, const std::string& identity, const Question& question);
    // Nothing when there is no such question, or when the database cannot be read (then `*failed` is set).
    std::optional<Question> GetQuestion(const std::string& category, const std::string& identity,
                                        bool* failed = nullptr);

    // A document as a reply is made of it: its name and size, and its bytes read only when they are needed.
    struct StoredDocument
    {
        std::string name;
        std::size_t size = 0;
    };
    // Copies `size` bytes of the document at `index` from `offset` on to `out`; false when the database cannot
    // be read.
    using DocumentReader = std::function<bool(std::size_t index, std::size_t offset, char* out, std::size_t size)>;
    using ReplyMaker = std::function<std::optional<std::string>(
        Fields&& metadata, const std::vector<StoredDocument>& documents, const DocumentReader& read)>;
    // Makes a reply of the question: `make` gets its fields and, in the order of their names, its documents with
    // a reader of their bytes, so that no document need be held whole in memory. It runs under the store's lock,
    // so the question cannot change meanwhile. Returns what `make` returns; nothing when there is no such
    // question, or when the database cannot be read, also while `make` reads (then `*failed` is set).
    std::optional<std::string> MakeReply(const std::string& category, const std::string& identity,
                                         const ReplyMaker& make, bool* failed = nullptr);
    // The bytes of the question's fields and documents, without reading them; nothing as GetQuestion.
    std::optional<std::size_t> QuestionSize(const std::string& category, const std::string& identity,
                                            bool* failed = nullptr);
    enum class Removal
    {
        Removed,
        Missing,
        Failed,
    };
    Removal RemoveQuestion(const std::string& category, const std::string& identity);

    static constexpr const char* kDemoLogin = "demo";
    static constexpr const char* kDemoPassword = "demo1234";
    static constexpr std::size_t kMaxLoginBytes = 64;

private:
    bool exec(const char* sql);
    // The question's row, with the lock held.
    std::optional<std::int64_t> questionId(const std::string& category, const std::string& identity, bool* failed);
    std::optional<Fields> fieldsOf(std::int64_t questionId, bool* failed);
    void seed();

    std::mutex m_mutex;
    sqlite3* m_db = nullptr;
    std::string m_openError;
};
