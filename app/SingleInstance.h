#pragma once

#include <QString>

// One running copy per machine, for every user: a name in the abstract socket namespace, which any process
// can see whatever its user, which needs no file (nothing to clean up, nothing another user cannot open),
// and which the system frees as soon as the holding process ends, however it ends.
class CSingleInstance
{
public:
    static constexpr char kName[] = "Tarvix_{BBE0EAA9-9FEA-4CF2-8495-7D7F03799418}";

    enum class Result
    {
        Acquired,
        AlreadyRunning,
        Failed,
    };

    explicit CSingleInstance(QString name = QString::fromLatin1(kName));
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    Result Acquire();
    // The system's error number when Acquire failed.
    int Error() const { return m_error; }
    void Release();

private:
    QString m_name;
    int m_fd = -1;
    int m_error = 0;
};
