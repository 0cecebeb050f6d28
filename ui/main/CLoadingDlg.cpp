#include "ui/main/CLoadingDlg.h"

#include "ui/dialogs/MessageBox.h"
#include "core/Messages.h"

#include <QCloseEvent>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QShowEvent>
#include <QVBoxLayout>

CLoadingDlg::CLoadingDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_stcStatus(new QLabel(QStringLiteral("Static"), this)),
      m_ctlProgress(new QProgressBar(this))
{
    setObjectName(QStringLiteral("loadingDialog"));
    setWindowTitle(QString::fromUtf16(Msg::kProgressTitle));
    QFont dialogFont(QStringLiteral("NanumGothic"));
    dialogFont.setPointSize(9);
    setFont(dialogFont);
    m_stcStatus->setObjectName(QStringLiteral("statusText"));
    m_ctlProgress->setObjectName(QStringLiteral("progressBar"));
    m_ctlProgress->setRange(0, 100);
    m_ctlProgress->setValue(0);
    m_ctlProgress->setTextVisible(false);

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    auto* layout = new QVBoxLayout(frame);
    layout->addWidget(m_stcStatus);
    layout->addWidget(m_ctlProgress);
    // About 310 × 43 dialog units in this font.
    resize(540, 78);
}

void CLoadingDlg::SetStatusText(QString text)
{
    m_stcStatus->setText(text);
    Q_EMIT statusTextChanged(text);
}

void CLoadingDlg::SetProgressPos(int position)
{
    m_ctlProgress->setValue(position);
    Q_EMIT progressPosChanged(position);
}

QString CLoadingDlg::StatusText() const
{
    return m_stcStatus->text();
}

int CLoadingDlg::ProgressPos() const
{
    return m_ctlProgress->value();
}

void CLoadingDlg::CenterOn(const QWidget* window)
{
    if (!window)
        return;
    const QRect frame = window->frameGeometry();
    move(frame.center() - QPoint(width() / 2, height() / 2));
}

void CLoadingDlg::keyPressEvent(QKeyEvent* event)
{
    // Neither accepts nor cancels anything: the save runs to its end.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// Scripts that drive the program with keystrokes wait for the save to end by these lines.
void CLoadingDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous() && MessageBox::Reporting())
        MessageBox::Report(QStringLiteral("window: %1").arg(objectName()));
}

void CLoadingDlg::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous() && MessageBox::Reporting())
        MessageBox::Report(QStringLiteral("window hidden: %1").arg(objectName()));
}

void CLoadingDlg::closeEvent(QCloseEvent* event)
{
    if (m_bBusy) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
