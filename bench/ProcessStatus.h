#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstring>
#include <sys/types.h>
#include <unistd.h>

// A size field of /proc/<pid>/status ("VmHWM:", "VmRSS:") in KiB, or -1.
inline long ProcessStatusKiB(const char* field, pid_t pid = getpid())
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').first().toLong();
    }
    return -1;
}
