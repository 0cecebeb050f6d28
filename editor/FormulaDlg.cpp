#include "editor/FormulaDlg.h"

#include "formula/Formula.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The formula of the script as it stands, twice its printed size, smaller only when it would not fit.
class FormulaPreview : public QWidget
{
public:
    FormulaPreview(double pointSize, const QColor& colour, QWidget* parent)
        : QWidget(parent), m_pointSize(pointSize), m_colour(colour)
    {
        setObjectName(QStringLiteral("formulaPreview"));
        setMinimumSize(360, 120);
        setAutoFillBackground(true);
        setBackgroundRole(QPalette::Base);
    }

    void setScript(const QString& script)
    {
        m_script = script;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (m_script.trimmed().isEmpty())
            return;
        const auto layout = formula::Lay(m_script, m_pointSize);
        const QRectF bounds = layout->bounds();
        if (bounds.width() <= 0 || bounds.height() <= 0)
            return;
        const QRectF room = QRectF(rect()).adjusted(8, 8, -8, -8);
        const double pixelsPerPoint = logicalDpiY() / 72.0;
        const double scale =
            std::min({2 * pixelsPerPoint, room.width() / bounds.width(), room.height() / bounds.height()});
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(room.center());
        painter.scale(scale, scale);
        layout->paint(&painter, -bounds.center(), m_colour);
    }

private:
    QString m_script;
    double m_pointSize;
    QColor m_colour;
};

} // namespace

const QList<FormulaDlg::Structure>& FormulaDlg::Structures()
{
    static const QList<Structure> structures = {
        {"fractionButton", QStringLiteral("분수"), QStringLiteral("분수: 분자 over 분모"), QStringLiteral("{} over {}"),
         1},
        {"sqrtButton", QStringLiteral("√"), QStringLiteral("제곱근"), QStringLiteral("sqrt {}"), 6},
        {"rootButton", QStringLiteral("ⁿ√"), QStringLiteral("거듭제곱근: root 지수 of 근호 안"),
         QStringLiteral("root {} of {}"), 6},
        {"powerButton", QStringLiteral("xⁿ"), QStringLiteral("위 첨자 (지수)"), QStringLiteral("^{}"), 2},
        {"indexButton", QStringLiteral("xₙ"), QStringLiteral("아래 첨자"), QStringLiteral("_{}"), 2},
        {"sumButton", QStringLiteral("Σ"), QStringLiteral("합: 아래 끝과 위 끝"), QStringLiteral("sum from {} to {}"),
         10},
        {"integralButton", QStringLiteral("∫"), QStringLiteral("적분: 아래 끝과 위 끝"),
         QStringLiteral("int from {} to {}"), 10},
        {"limitButton", QStringLiteral("lim"), QStringLiteral("극한"), QStringLiteral("lim from {}"), 10},
        {"bracketsButton", QStringLiteral("( )"), QStringLiteral("늘어나는 괄호"), QStringLiteral("left ( right )"), 7},
        {"matrixButton", QStringLiteral("행렬"), QStringLiteral("행렬: 칸은 &, 줄은 #으로 나눔"),
         QStringLiteral("pmatrix {  &  #  &  }"), 10},
        {"casesButton", QStringLiteral("경우"), QStringLiteral("경우 나누기: 칸은 &, 줄은 #으로 나눔"),
         QStringLiteral("cases { & # & }"), 8},
        {"vectorButton", QStringLiteral("벡터"), QStringLiteral("벡터 화살표"), QStringLiteral("vec {}"), 5},
        {"barButton", QStringLiteral("윗줄"), QStringLiteral("윗줄 (평균, 켤레)"), QStringLiteral("bar {}"), 5},
    };
    return structures;
}

FormulaDlg::FormulaDlg(const QString& script, double pointSize, const QColor& colour, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("formulaDlg"));
    setWindowTitle(QStringLiteral("수식 입력"));
    m_script = new QPlainTextEdit(this);
    m_script->setObjectName(QStringLiteral("scriptEdit"));
    m_script->setTabChangesFocus(true);
    m_script->installEventFilter(this);
    auto* preview = new FormulaPreview(pointSize, colour, this);
    connect(m_script, &QPlainTextEdit::textChanged, this,
            [this, preview] { preview->setScript(m_script->toPlainText()); });

    auto* structures = new QGridLayout;
    structures->setSpacing(2);
    int index = 0;
    for (const Structure& structure : Structures()) {
        auto* button = new QPushButton(structure.label, this);
        button->setObjectName(QLatin1String(structure.name));
        button->setToolTip(structure.tip);
        // Enter belongs to the script: it takes the formula, it does not press the last button used.
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, [this, structure] {
            QTextCursor cursor = m_script->textCursor();
            const int start = std::min(cursor.position(), cursor.anchor());
            cursor.insertText(structure.text);
            cursor.setPosition(start + structure.cursorAt);
            m_script->setTextCursor(cursor);
            m_script->setFocus();
        });
        structures->addWidget(button, index / 7, index % 7);
        ++index;
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("넣기"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("취소"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(structures);
    layout->addWidget(m_script, 1);
    layout->addWidget(preview, 1);
    layout->addWidget(buttons);
    m_script->setPlainText(script);
    m_script->moveCursor(QTextCursor::End);
    m_script->setFocus();
    resize(520, 360);
}

QString FormulaDlg::Script() const
{
    return m_script->toPlainText();
}

bool FormulaDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_script && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !(key->modifiers() & Qt::ShiftModifier)) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
