#pragma once

#include "server/QuestionBankServer.h"
#include "server/QuestionStore.h"

#include "tests/support/TestTls.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// The local question-bank server, in this process, on a free port of 127.0.0.1, with a new database that
// holds the demo account (permission 32768).
class LocalQuestionBank
{
public:
    LocalQuestionBank()
    {
        const TestTls& tls = TestTls::instance();
        m_store = std::make_unique<QuestionStore>(QFile::encodeName(databasePath()).toStdString());
        // A new database takes the demo account once.
        if (!m_store->IsOpen() || !m_store->AddDemoAccountIfEmpty())
            qFatal("the local question bank cannot open its database: %s", m_store->OpenError().c_str());
        m_server = std::make_unique<QuestionBankServer>(*m_store, QFile::encodeName(tls.certificatePath).toStdString(),
                                                        QFile::encodeName(tls.keyPath).toStdString());
        m_port = m_server->IsValid() ? m_server->Bind("127.0.0.1", 0) : 0;
        if (m_port <= 0)
            qFatal("the local question bank cannot listen");
        m_server->Start();
    }

    QString baseUrl() const { return QStringLiteral("https://127.0.0.1:%1/").arg(m_port); }
    int port() const { return m_port; }
    QString databasePath() const { return m_dir.filePath(QStringLiteral("qb.sqlite3")); }
    QuestionStore& store() { return *m_store; }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QuestionStore> m_store;
    std::unique_ptr<QuestionBankServer> m_server;
    int m_port = 0;
};
