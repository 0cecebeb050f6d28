#include "editor/FindReplaceDlg.h"

#include "editor/PageView.h"

#include "document/FormulaObject.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

constexpr char16_t kTitle[] = u"찾아 바꾸기";
constexpr char16_t kNotFound[] = u"찾는 내용이 없습니다.";
constexpr char16_t kWrapped[] = u"문서 끝까지 찾아서 처음부터 다시 찾았습니다.";
constexpr char16_t kReplaced[] = u"%1개를 바꾸었습니다.";

} // namespace

FindReplaceDlg::FindReplaceDlg(PageView* view, QWidget* parent) : QDialog(parent), m_view(view)
{
    setObjectName(QStringLiteral("findReplaceDlg"));
    setWindowTitle(QString::fromUtf16(kTitle));
    m_findEdit = new QLineEdit(this);
    m_findEdit->setObjectName(QStringLiteral("findEdit"));
    m_replaceEdit = new QLineEdit(this);
    m_replaceEdit->setObjectName(QStringLiteral("replaceEdit"));
    m_caseCheck = new QCheckBox(QStringLiteral("대소문자 구분"), this);
    m_caseCheck->setObjectName(QStringLiteral("caseCheck"));
    m_wholeWordCheck = new QCheckBox(QStringLiteral("온전한 낱말"), this);
    m_wholeWordCheck->setObjectName(QStringLiteral("wholeWordCheck"));
    // Formulas are found like text, but their scripts are changed only when the writer asks for it: a word of
    // the text ("sin", "over") is often a word of the script too.
    m_formulaCheck = new QCheckBox(QStringLiteral("수식 안에서도 바꾸기"), this);
    m_formulaCheck->setObjectName(QStringLiteral("formulaCheck"));
    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("찾을 내용"), this), 0, 0);
    fields->addWidget(m_findEdit, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("바꿀 내용"), this), 1, 0);
    fields->addWidget(m_replaceEdit, 1, 1);
    fields->addWidget(m_caseCheck, 2, 1);
    fields->addWidget(m_wholeWordCheck, 3, 1);
    fields->addWidget(m_formulaCheck, 4, 1);
    fields->addWidget(m_statusLabel, 5, 0, 1, 2);

    auto* buttons = new QVBoxLayout;
    const auto button = [this, buttons](const QString& text, const QString& name, auto&& slot) {
        auto* push = new QPushButton(text, this);
        push->setObjectName(name);
        connect(push, &QPushButton::clicked, this, slot);
        buttons->addWidget(push);
        return push;
    };
    // Enter in either field finds the next match.
    button(QStringLiteral("찾기"), QStringLiteral("findButton"), [this] { findNext(); })->setDefault(true);
    button(QStringLiteral("바꾸기"), QStringLiteral("replaceButton"), [this] { replace(); });
    button(QStringLiteral("모두 바꾸기"), QStringLiteral("replaceAllButton"), [this] { replaceAll(); });
    button(QStringLiteral("닫기"), QStringLiteral("closeButton"), [this] { close(); });
    buttons->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(fields, 1);
    layout->addLayout(buttons);
}

void FindReplaceDlg::setFindText(const QString& text)
{
    m_findEdit->setText(text);
    m_findEdit->selectAll();
    m_findEdit->setFocus();
    m_statusLabel->clear();
}

QTextDocument::FindFlags FindReplaceDlg::flags() const
{
    QTextDocument::FindFlags flags;
    if (m_caseCheck->isChecked())
        flags |= QTextDocument::FindCaseSensitively;
    if (m_wholeWordCheck->isChecked())
        flags |= QTextDocument::FindWholeWords;
    return flags;
}

QRegularExpression FindReplaceDlg::scriptPattern() const
{
    QString pattern = QRegularExpression::escape(m_findEdit->text());
    if (m_wholeWordCheck->isChecked())
        pattern = QStringLiteral("\\b%1\\b").arg(pattern);
    return QRegularExpression(pattern, m_caseCheck->isChecked() ? QRegularExpression::NoPatternOption
                                                                : QRegularExpression::CaseInsensitiveOption);
}

QTextCursor FindReplaceDlg::formulaFrom(int from) const
{
    const QRegularExpression pattern = scriptPattern();
    QTextDocument* document = m_view->document();
    for (int position : FormulaObject::Positions(*document)) {
        if (position < from)
            continue;
        if (FormulaObject::Script(FormulaObject::FormatAt(*document, position)).contains(pattern)) {
            QTextCursor found(document);
            found.setPosition(position);
            found.setPosition(position + 1, QTextCursor::KeepAnchor);
            return found;
        }
    }
    return {};
}

QTextCursor FindReplaceDlg::matchFrom(int from) const
{
    QTextCursor text = m_view->document()->find(m_findEdit->text(), from, flags());
    QTextCursor formula = formulaFrom(from);
    if (formula.isNull() || (!text.isNull() && text.selectionStart() < formula.selectionStart()))
        return text;
    return formula;
}

bool FindReplaceDlg::findNext()
{
    if (m_findEdit->text().isEmpty())
        return false;
    // After the selection when there is one: the match found last is not found again.
    const QTextCursor cursor = m_view->textCursor();
    QTextCursor found = matchFrom(cursor.hasSelection() ? cursor.selectionEnd() : cursor.position());
    bool wrapped = false;
    if (found.isNull()) {
        found = matchFrom(0);
        wrapped = true;
    }
    if (found.isNull()) {
        m_statusLabel->setText(QString::fromUtf16(kNotFound));
        return false;
    }
    m_statusLabel->setText(wrapped ? QString::fromUtf16(kWrapped) : QString());
    m_view->setTextCursor(found);
    return true;
}

bool FindReplaceDlg::selectionIsMatch() const
{
    const QTextCursor cursor = m_view->textCursor();
    if (!cursor.hasSelection())
        return false;
    const QTextCursor match = matchFrom(cursor.selectionStart());
    return !match.isNull() && match.selectionStart() == cursor.selectionStart() &&
           match.selectionEnd() == cursor.selectionEnd();
}

bool FindReplaceDlg::replaceInFormula(int position)
{
    QTextDocument* document = m_view->document();
    const QTextCharFormat format = FormulaObject::FormatAt(*document, position);
    QString script = FormulaObject::Script(format);
    QString replacement = m_replaceEdit->text();
    // The replacement is taken as it is written: a backslash in it is no reference to a group.
    replacement.replace(u'\\', QStringLiteral("\\\\"));
    script.replace(scriptPattern(), replacement);
    if (script == FormulaObject::Script(format) || script.trimmed().isEmpty())
        return false;
    // One step to undo for each formula.
    QTextCursor cursor(document);
    cursor.setPosition(position);
    cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
    cursor.setCharFormat(
        FormulaObject::MakeFormat(script, FormulaObject::PointSize(format), FormulaObject::Colour(format), format));
    return true;
}

void FindReplaceDlg::replace()
{
    if (m_findEdit->text().isEmpty())
        return;
    if (selectionIsMatch()) {
        QTextCursor cursor = m_view->textCursor();
        const int start = cursor.selectionStart();
        const bool formula = cursor.selectionEnd() == start + 1 &&
                             FormulaObject::IsFormula(FormulaObject::FormatAt(*m_view->document(), start));
        if (!formula) {
            cursor.insertText(m_replaceEdit->text());
            m_view->setTextCursor(cursor);
        } else if (m_formulaCheck->isChecked()) {
            replaceInFormula(start);
        }
    }
    findNext();
}

int FindReplaceDlg::replaceAll()
{
    const QString text = m_findEdit->text();
    if (text.isEmpty())
        return 0;
    QTextDocument* document = m_view->document();
    int count = 0;
    // A formula's change keeps the document's length, so the positions stay good for the text after them.
    if (m_formulaCheck->isChecked()) {
        for (int position : FormulaObject::Positions(*document))
            count += replaceInFormula(position) ? 1 : 0;
    }
    QTextCursor edit(document);
    edit.beginEditBlock();
    // Each search starts after the text just put in, so a replacement that contains what is searched for is
    // not replaced again.
    for (QTextCursor found = document->find(text, 0, flags()); !found.isNull();
         found = document->find(text, found, flags())) {
        found.insertText(m_replaceEdit->text());
        ++count;
    }
    edit.endEditBlock();
    m_statusLabel->setText(count > 0 ? QString::fromUtf16(kReplaced).arg(count) : QString::fromUtf16(kNotFound));
    // The cursor's selection may have been replaced: keep its place without it.
    QTextCursor cursor = m_view->textCursor();
    cursor.clearSelection();
    m_view->setTextCursor(cursor);
    return count;
}
