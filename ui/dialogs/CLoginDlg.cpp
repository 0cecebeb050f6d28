#include "ui/dialogs/CLoginDlg.h"

#include "net/Communicator.h"
#include "ui/dialogs/MessageBox.h"
#include "core/Messages.h"
#include "core/Settings.h"
#include "core/Vocabulary.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QShowEvent>

CLoginDlg::CLoginDlg(QSettings& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_settings(settings), m_editId(new QLineEdit(this)),
      m_editPassword(new QLineEdit(this))
{
    setObjectName(QStringLiteral("loginDialog"));
    // No caption is drawn, but window lists and automation find the dialog by its title.
    setWindowTitle(QString::fromUtf16(Msg::kLoginTitle));
    QFont dialogFont(QStringLiteral("NanumGothic"));
    dialogFont.setPointSize(10);
    setFont(dialogFont);

    m_editId->setObjectName(QStringLiteral("idEdit"));
    m_editPassword->setObjectName(QStringLiteral("passwordEdit"));
    m_editPassword->setEchoMode(QLineEdit::Password);
    auto* idLabel = new QLabel(QString::fromUtf16(Msg::kLoginId), this);
    auto* passwordLabel = new QLabel(QString::fromUtf16(Msg::kLoginPassword), this);
    for (QLabel* label : {idLabel, passwordLabel})
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    idLabel->setBuddy(m_editId);
    passwordLabel->setBuddy(m_editPassword);
    auto* login = new QPushButton(QString::fromUtf16(Msg::kLoginButton), this);
    login->setObjectName(QStringLiteral("loginButton"));
    login->setDefault(true);
    auto* cancel = new QPushButton(QString::fromUtf16(Msg::kCancelButton), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(30, 28, 30, 20);
    grid->setVerticalSpacing(10);
    grid->addWidget(idLabel, 0, 0);
    grid->addWidget(m_editId, 0, 1, 1, 2);
    grid->addWidget(passwordLabel, 1, 0);
    grid->addWidget(m_editPassword, 1, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(login);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 2, 0, 1, 3);
    grid->setColumnStretch(1, 1);

    connect(login, &QPushButton::clicked, this, &CLoginDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CLoginDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    const QString id = ReadSetting(m_settings, Setting::LastLogin).toString();
    m_editId->setText(id);
    m_editPassword->clear();
    // A returning user only types the password.
    (id.isEmpty() ? m_editId : m_editPassword)->setFocus();
    if (MessageBox::Reporting())
        MessageBox::Report(QStringLiteral("window: %1").arg(objectName()));
}

void CLoginDlg::OnOK()
{
    const QString id = m_editId->text();
    const QString password = m_editPassword->text();
    const QString caption = QString::fromLatin1(kApplicationName);

    // The user-interface thread waits for the server here: there is nothing else to do until the login ends.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool session = m_pCommunicator && m_pCommunicator->StartSession();
    const bool login = session && m_pCommunicator->Login(id, password);
    QApplication::restoreOverrideCursor();

    if (!session) {
        MessageBox::Show(this, QMessageBox::Critical, caption, QString::fromUtf16(Msg::kSessionFailed));
        return;
    }
    if (!login) {
        MessageBox::Show(this, QMessageBox::Critical, caption, QString::fromUtf16(Msg::kLoginFailed));
        return;
    }
    WriteSetting(m_settings, Setting::LastLogin, id);
    m_settings.sync();
    accept();
}

void CLoginDlg::mousePressEvent(QMouseEvent* event)
{
    m_drag.Press(this, event);
    QDialog::mousePressEvent(event);
}

void CLoginDlg::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.Move(this, event);
    QDialog::mouseMoveEvent(event);
}
