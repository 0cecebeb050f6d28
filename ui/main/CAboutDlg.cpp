#include "ui/main/CAboutDlg.h"

#include "ui/main/Messages.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal s = size;
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x1f, 0x5f, 0xa8));
        painter.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);
        // A page with a check mark: a question, registered.
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(s * 0.22, s * 0.14, s * 0.56, s * 0.72));
        QPainterPath check;
        check.moveTo(s * 0.32, s * 0.50);
        check.lineTo(s * 0.46, s * 0.66);
        check.lineTo(s * 0.70, s * 0.34);
        QPen pen(QColor(0x1f, 0x5f, 0xa8), qMax(1.5, s * 0.08), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(check);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QString::fromUtf16(Msg::kAboutTitle));
    auto* icon = new QLabel(this);
    icon->setPixmap(ProgramIcon().pixmap(32, 32));
    auto* text = new QLabel(QString::fromUtf16(Msg::kAboutText), this);
    text->setObjectName(QStringLiteral("aboutText"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(text, 0, 1);
    layout->addWidget(ok, 1, 2);
    layout->setColumnStretch(1, 1);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
