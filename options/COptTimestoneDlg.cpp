#include "options/COptTimestoneDlg.h"

#include "net/AnsiCodepage.h"
#include "core/Messages.h"
#include "core/Vocabulary.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGridLayout>

const QStringList& COptTimestoneDlg::TopicFileNames()
{
    static const QStringList names = {
        QStringLiteral("ts_math1.txt"),  QStringLiteral("ts_math2.txt"),      QStringLiteral("ts_math3.txt"),
        QStringLiteral("ts_math4.txt"),  QStringLiteral("ts_statistics.txt"), QStringLiteral("ts_calculus.txt"),
        QStringLiteral("ts_vector.txt"),
    };
    return names;
}

QStringList COptTimestoneDlg::DefaultTopicFolders()
{
    // The current folder first, where users have always put their own lists. Then the installed data, found
    // from the program's own place so that an install moved elsewhere or unpacked from an archive works.
    // Last the lists of the source tree, for a program run from its build folder.
    return {QDir::currentPath(),
            QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/vellorin/topics")),
            QStringLiteral(VELLORIN_SOURCE_TOPICS_DIR)};
}

COptTimestoneDlg::COptTimestoneDlg(QSettings* settings, QWidget* parent, QStringList topicFolders)
    : COptPanel(CategorySettingsSection(Category::Timestone), settings, parent), m_topicFolders(std::move(topicFolders))
{
    setObjectName(QStringLiteral("COptTimestoneDlg"));
    m_subject = addCombo(QStringLiteral("subjectCombo"), Msg::kNameSubject);
    m_topic = addCombo(QStringLiteral("topicCombo"), Msg::kNameTopic);
    m_type = addCombo(QStringLiteral("typeCombo"), Msg::kNameLevel);
    m_number = addCombo(QStringLiteral("numberCombo"), Msg::kNameNumber);
    m_grid->addWidget(m_subject, 0, 0);
    m_grid->addWidget(m_topic, 1, 0);
    m_grid->addWidget(m_type, 2, 0);
    m_grid->addWidget(m_number, 3, 0);
    m_grid->setRowStretch(4, 1);

    fillCombo(m_subject,
              {QStringLiteral("수학(상)"), QStringLiteral("수학(하)"), QStringLiteral("수학1"), QStringLiteral("수학2"),
               QStringLiteral("확률과 통계"), QStringLiteral("미적분"), QStringLiteral("기하")});
    LoadTopicList();
    fillCombo(m_type,
              {QStringLiteral("Tip"), QStringLiteral("Level1"), QStringLiteral("Level2"), QStringLiteral("Level3")});
    connect(m_subject, &QComboBox::activated, this, [this] { LoadTopicList(); });
    connect(m_type, &QComboBox::activated, this, [this] { FillNumberCombo(); });

    restoreIndex(m_topic, QStringLiteral("Topic"));
    restoreIndex(m_type, QStringLiteral("Type"));
    FillNumberCombo();
    restoreIndex(m_number, QStringLiteral("Number"));
}

COptTimestoneDlg::~COptTimestoneDlg()
{
    storeIndex(m_topic, QStringLiteral("Topic"));
    storeIndex(m_type, QStringLiteral("Type"));
    storeIndex(m_number, QStringLiteral("Number"));
}

QStringList COptTimestoneDlg::ReadTopicList(const QByteArray& bytes)
{
    // The files are in code page 949 whatever the user's locale; the conversion is explicit.
    QStringList lines = FromKoreanCodepage(bytes).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the line end of the last line
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    return lines;
}

void COptTimestoneDlg::LoadTopicList()
{
    const int subject = m_subject->currentIndex();
    if (subject < 0 || subject >= TopicFileNames().size())
        return;
    m_topic->clear();
    for (const QString& folder : m_topicFolders) {
        QFile file(QDir(folder).filePath(TopicFileNames().at(subject)));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        m_topic->addItems(ReadTopicList(file.readAll()));
        break;
    }
    m_topic->setCurrentIndex(m_topic->count() > 0 ? 0 : -1);
}

void COptTimestoneDlg::FillNumberCombo()
{
    const QString type = comboText(m_type);
    if (type == QLatin1String("Tip"))
        fillCombo(m_number, {QStringLiteral("개념")});
    else if (type == QLatin1String("Level1"))
        fillCombo(m_number, numbered(QStringLiteral("%1번"), 1, 3));
    else
        fillCombo(m_number, numbered(QStringLiteral("%1번"), 1, 4));
}

void COptTimestoneDlg::collectFields(CMapStringToString& fields) const
{
    fields.SetAt(QStringLiteral("topic"), comboText(m_topic));
    fields.SetAt(QStringLiteral("type"), comboText(m_type));
    fields.SetAt(QStringLiteral("number"), comboText(m_number));
}

void COptTimestoneDlg::applyFields(const CMapStringToString& fields)
{
    applyCombo(m_topic, fields, QStringLiteral("topic"));
    applyCombo(m_type, fields, QStringLiteral("type"));
    FillNumberCombo();
    applyCombo(m_number, fields, QStringLiteral("number"));
}
