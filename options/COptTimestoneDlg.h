#pragma once

#include "options/OptPanel.h"

#include <QStringList>

// Dar Iziza Vizadu: a topic of a subject (read from the subject's topic file) and either the topic's concept
// tip or a numbered exercise of one of three levels.
class COptTimestoneDlg : public COptPanel
{
    Q_OBJECT

public:
    // `topicFolders`: where the topic files are looked for, in order (see DefaultTopicFolders).
    COptTimestoneDlg(QSettings* settings, QWidget* parent = nullptr, QStringList topicFolders = DefaultTopicFolders());
    ~COptTimestoneDlg() override;

    // The current folder, the program's folder, then the installed data folder.
    static QStringList DefaultTopicFolders();
    static const QStringList& TopicFileNames();
    // The topics of a topic file's bytes (code page 949, one a line, CR LF or LF).
    static QStringList ReadTopicList(const QByteArray& bytes);

    // Fills the topic list from the selected subject's file; a file that cannot be read leaves it empty.
    void LoadTopicList();
    // "개념" for "Tip"; three numbers for "Level1"; four for "Level2", "Level3" or no selection.
    void FillNumberCombo();

protected:
    void collectFields(CMapStringToString& fields) const override;
    void applyFields(const CMapStringToString& fields) override;

private:
    QStringList m_topicFolders;
    QComboBox* m_subject;
    QComboBox* m_topic;
    QComboBox* m_type;
    QComboBox* m_number;
};
