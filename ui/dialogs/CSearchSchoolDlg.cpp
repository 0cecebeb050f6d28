#include "ui/dialogs/CSearchSchoolDlg.h"

#include "net/Communicator.h"
#include "ui/dialogs/MessageBox.h"
#include "core/Messages.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

namespace {

constexpr char kSearchFailed[] = "Error: Communicator search school failed. \r\n";
constexpr int kSchoolRole = Qt::UserRole + 1;

} // namespace

QString CSearchSchoolDlg::UserInputItemText()
{
    return QStringLiteral("사용자 입력 사용");
}

CSearchSchoolDlg::CSearchSchoolDlg(CCommunicator* communicator, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_communicator(communicator)
{
    setObjectName(QStringLiteral("searchSchoolDialog"));
    setWindowTitle(QStringLiteral("학교 찾기"));
    QFont dialogFont(QStringLiteral("NanumGothic"));
    dialogFont.setPointSize(9);
    setFont(dialogFont);

    m_editSchool = new QLineEdit(this);
    m_editSchool->setObjectName(QStringLiteral("schoolEdit"));
    m_editSchool->setAccessibleName(QString::fromUtf16(Msg::kNameSchoolSearchText));
    m_findButton = new QPushButton(QStringLiteral("찾기"), this);
    m_findButton->setObjectName(QStringLiteral("findButton"));
    m_findButton->setDefault(true);
    m_listSchools = new QListWidget(this);
    m_listSchools->setObjectName(QStringLiteral("schoolList"));
    m_listSchools->setAccessibleName(QString::fromUtf16(Msg::kNameSchoolResults));
    // "확인" and "취소" press on Enter while they have the focus; anywhere else Enter is "찾기".
    auto* ok = new QPushButton(QStringLiteral("확인"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setAutoDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("취소"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(true);
    // "취소" comes before "확인" for the keyboard, although "확인" stands to its left.
    setTabOrder(m_editSchool, m_findButton);
    setTabOrder(m_findButton, m_listSchools);
    setTabOrder(m_listSchools, cancel);
    setTabOrder(cancel, ok);

    // A pop-up without a caption, so a thin border of its own sets it off from the window behind.
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("border"));
    frame->setFrameShape(QFrame::Box);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    auto* layout = new QGridLayout(frame);
    layout->addWidget(m_editSchool, 0, 0, 1, 2);
    layout->addWidget(m_findButton, 0, 2);
    layout->addWidget(m_listSchools, 1, 0, 1, 3);
    layout->addWidget(ok, 2, 1);
    layout->addWidget(cancel, 2, 2);
    layout->setColumnStretch(0, 1);
    resize(420, 330);

    // Enter in the search field reaches the dialog, which presses the default button "찾기": one search,
    // and never OK. A returnPressed handler of its own would search a second time.
    connect(m_findButton, &QPushButton::clicked, this, &CSearchSchoolDlg::OnFindSchool);
    connect(ok, &QPushButton::clicked, this, &CSearchSchoolDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_listSchools, &QListWidget::itemDoubleClicked, this, &CSearchSchoolDlg::OnOK);
}

int CSearchSchoolDlg::exec()
{
    if (!m_strSchool.isEmpty())
        m_editSchool->setText(m_strSchool);
    m_editSchool->setFocus();
    return QDialog::exec();
}

void CSearchSchoolDlg::OnFindSchool()
{
    const QString text = m_editSchool->text();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    CFieldMapList results;
    const bool found = m_communicator && m_communicator->FindSchools(text, &results);
    QApplication::restoreOverrideCursor();
    if (!found) {
        MessageBox::Error(this, QLatin1String(kSearchFailed) +
                                    (m_communicator ? m_communicator->GetLastErrorText() : QString()));
        return;
    }
    ClearList();
    m_listSchools->addItem(UserInputItemText());
    for (const CMapStringToString& school : results) {
        const QString name = school.Value(QStringLiteral("schoolName"));
        const QString region = school.Value(QStringLiteral("region"));
        auto* item = new QListWidgetItem(QStringLiteral("%1 (%2)").arg(name, region), m_listSchools);
        item->setData(kSchoolRole, name);
    }
    m_communicator->FreeResultList(&results);
    m_listSchools->setFocus();
}

void CSearchSchoolDlg::OnOK()
{
    if (m_listSchools->currentRow() < 0 || m_listSchools->selectedItems().isEmpty()) {
        MessageBox::Show(this, QMessageBox::Critical, QCoreApplication::applicationName(),
                         QStringLiteral("Not selected."));
        return;
    }
    accept();
}

void CSearchSchoolDlg::done(int result)
{
    // The choice is taken from the selection however the dialog ends; callers use it only after OK.
    const int row = m_listSchools->selectedItems().isEmpty() ? -1 : m_listSchools->currentRow();
    if (row == 0)
        m_strSchool = m_editSchool->text();
    else if (row > 0)
        m_strSchool = m_listSchools->item(row)->data(kSchoolRole).toString();
    ClearList();
    QDialog::done(result);
}

void CSearchSchoolDlg::ClearList()
{
    m_listSchools->clear();
}

void CSearchSchoolDlg::mousePressEvent(QMouseEvent* event)
{
    // No title bar: the dialog is dragged by its surface.
    m_drag.Press(this, event);
    QDialog::mousePressEvent(event);
}

void CSearchSchoolDlg::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.Move(this, event);
    QDialog::mouseMoveEvent(event);
}
