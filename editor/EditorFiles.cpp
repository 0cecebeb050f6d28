// CDHwpCtrl's files: opening, inserting and saving documents, through the operations the program calls and
// through the file dialogs the writer uses.
#include "editor/CDHwpCtrl.h"

#include "document/DocumentFile.h"
#include "document/hwp/HwpFile.h"
#include "editor/PageView.h"

#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QTextBlock>

namespace {

CDHwpCtrl::Asker& askerSlot()
{
    static CDHwpCtrl::Asker asker = [](QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                       const QString& text, QMessageBox::StandardButtons buttons,
                                       QMessageBox::StandardButton defaultButton) {
        QMessageBox box(icon, caption, text, buttons, parent);
        box.setDefaultButton(defaultButton);
        return QMessageBox::StandardButton(box.exec());
    };
    return asker;
}

// Where the writer last took a document from or put one: the next file dialog opens there.
QString& lastFolder()
{
    static QString folder;
    return folder;
}

const QString kDocumentFilter = QStringLiteral("한글 문서 (*.hwp *.hml *.hwpml);;모든 파일 (*)");

} // namespace

void CDHwpCtrl::SetAsker(Asker asker)
{
    askerSlot() = std::move(asker);
}

void CDHwpCtrl::tellFailure(const QString& caption, const QString& text)
{
    askerSlot()(this, QMessageBox::Warning, caption, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool CDHwpCtrl::OpenFile(const QString& path)
{
    m_openError.clear();
    const QString format = DocumentFile::FormatOf(path, &m_openError);
    if (format.isEmpty())
        return false;
    const PageGeometry page = m_page;
    if (!OpenDocument(path, format, QString()))
        return false;
    // A question is written on the bank's page, whatever page the document was written on.
    if (!(m_page == page)) {
        m_page = page;
        m_view->setPage(m_page, Zoom());
    }
    m_document.setModified(true);
    return true;
}

bool CDHwpCtrl::readFile(const QString& path, QTextDocument& into)
{
    m_openError.clear();
    const QString format = DocumentFile::FormatOf(path, &m_openError);
    if (format.isEmpty())
        return false;
    into.setDefaultFont(defaultFont());
    PageGeometry page = m_page;
    DroppedObjects dropped;
    bool ok = false;
    if (format == QLatin1String("HWPML2X"))
        ok = DocumentFile::ImportHwpml(into, path, &m_openError, &page, &dropped);
    else if (DocumentFile::IsNativeFile(path))
        ok = DocumentFile::LoadNative(into, page, path, &m_openError);
    else
        ok = HwpFile::Load(into, page, path, &m_openError, &dropped);
    m_openDropped = ok ? dropped : DroppedObjects();
    return ok;
}

void CDHwpCtrl::tellOpened(bool ok, const QString& caption, const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    if (!ok)
        tellFailure(caption, QStringLiteral("%1\n\n%2").arg(name, m_openError));
    // A document that came in without some of its objects would otherwise look whole.
    else if (m_openDropped.Total() > 0)
        tellFailure(caption, QStringLiteral("%1\n\n이 편집기가 아직 보여 줄 수 없는 개체를 빼고 열었습니다: %2.")
                                 .arg(name, m_openDropped.Describe()));
}

bool CDHwpCtrl::InsertFile(const QString& path)
{
    m_openError.clear();
    m_openDropped = {};
    if (PageView::IsPictureFile(path)) {
        const QImage image = QImageReader(path).read();
        if (image.isNull()) {
            m_openError = QStringLiteral("그림을 읽을 수 없습니다.");
            return false;
        }
        InsertPicture(image);
        return true;
    }
    QTextDocument inserted;
    if (!readFile(path, inserted))
        return false;
    m_view->insertDocument(inserted);
    m_view->setFocus();
    return true;
}

void CDHwpCtrl::ShowOpenDialog()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("문서 열기"), lastFolder(), kDocumentFilter);
    if (path.isEmpty())
        return;
    lastFolder() = QFileInfo(path).absolutePath();
    // What the writer changed here would go with the old document.
    if (m_keptNowhere && askerSlot()(this, QMessageBox::Question, QStringLiteral("문서 열기"),
                                    QStringLiteral("지금 문서에서 고친 내용이 없어집니다. 다른 문서를 열까요?"),
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes) {
        m_view->setFocus();
        return;
    }
    tellOpened(OpenFile(path), QStringLiteral("문서 열기"), path);
    m_view->setFocus();
}

void CDHwpCtrl::ShowInsertDialog()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("문서 끼워 넣기"), lastFolder(),
        QStringLiteral("한글 문서와 그림 (*.hwp *.hml *.hwpml *.png *.jpg *.jpeg *.bmp *.gif);;모든 파일 (*)"));
    if (path.isEmpty())
        return;
    lastFolder() = QFileInfo(path).absolutePath();
    tellOpened(InsertFile(path), QStringLiteral("문서 끼워 넣기"), path);
    m_view->setFocus();
}

void CDHwpCtrl::ShowSaveAsDialog()
{
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("다른 이름으로 저장"),
                                                QDir(lastFolder()).filePath(suggestedFileName()),
                                                QStringLiteral("한글 문서 (*.hwp)"));
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".hwp");
    lastFolder() = QFileInfo(path).absolutePath();
    if (!SaveDocument(path, QStringLiteral("HWP"), QString()))
        tellFailure(QStringLiteral("다른 이름으로 저장"),
                    QStringLiteral("%1\n\n%2").arg(QFileInfo(path).fileName(), m_saveError));
    else
        m_keptNowhere = false;
    m_view->setFocus();
}

QString CDHwpCtrl::suggestedFileName() const
{
    // The first words of the document, as the word processor offers them, without what a file name cannot
    // hold; else the name the program gave.
    QString words;
    for (QTextBlock block = m_document.begin(); block.isValid() && words.isEmpty(); block = block.next())
        words = block.text().remove(QChar::ObjectReplacementCharacter).simplified();
    static const QRegularExpression unfit(QStringLiteral(R"([\\/:*?"<>|\x00-\x1f]+)"));
    words = words.replace(unfit, QStringLiteral(" ")).simplified().left(30).trimmed();
    if (words.isEmpty())
        words = m_fileName.isEmpty() ? QStringLiteral("새 문서") : m_fileName;
    return words + QStringLiteral(".hwp");
}

bool CDHwpCtrl::OpenDocument(const QString& path, const QString& format, const QString& argument)
{
    Q_UNUSED(argument);
    bool ok = false;
    m_openError.clear();
    DroppedObjects dropped;
    if (format.compare(QLatin1String("HWP"), Qt::CaseInsensitive) == 0) {
        // "HWP" files are the word processor's HWP 5.0 documents, or this editor's own format in files that
        // earlier versions wrote under the same name; the first bytes tell them apart.
        PageGeometry page = m_page;
        if (DocumentFile::IsNativeFile(path))
            ok = DocumentFile::LoadNative(m_document, page, path, &m_openError);
        else
            ok = HwpFile::Load(m_document, page, path, &m_openError, &dropped);
        if (ok)
            m_page = page;
    } else if (format.compare(QLatin1String("HWPML2X"), Qt::CaseInsensitive) == 0) {
        // A file without a page of its own is shown on the page the editor has.
        PageGeometry page = m_page;
        ok = DocumentFile::ImportHwpml(m_document, path, &m_openError, &page, &dropped);
        if (ok)
            m_page = page;
    } else {
        m_openError = QStringLiteral("알 수 없는 문서 형식입니다. (%1)").arg(format);
    }
    // What the editor held stays: a caller that wants it gone clears it first.
    if (!ok)
        return false;
    m_openDropped = dropped;
    m_document.clearUndoRedoStacks();
    SetModified(false);
    m_view->setTextCursor(QTextCursor(&m_document));
    m_view->setPage(m_page, Zoom());
    return true;
}

QByteArray CDHwpCtrl::NativeData() const
{
    // Taken every few seconds while the writer types: a picture is encoded once, not at every copy.
    return DocumentFile::NativeBytes(m_document, m_page, &m_pngCache);
}

bool CDHwpCtrl::OpenNativeData(const QByteArray& bytes)
{
    m_openError.clear();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    PageGeometry page = m_page;
    if (!DocumentFile::ReadNative(m_document, page, buffer, &m_openError))
        return false;
    m_page = page;
    m_openDropped = {};
    m_document.clearUndoRedoStacks();
    SetModified(false);
    m_view->setTextCursor(QTextCursor(&m_document));
    m_view->setPage(m_page, Zoom());
    return true;
}

bool CDHwpCtrl::SaveDocument(const QString& path, const QString& format, const QString& argument)
{
    Q_UNUSED(argument);
    m_saveError.clear();
    if (format.compare(QLatin1String("HWP"), Qt::CaseInsensitive) != 0) {
        m_saveError = QStringLiteral("알 수 없는 문서 형식입니다. (%1)").arg(format);
        return false;
    }
    return HwpFile::Save(m_document, m_page, path, &m_saveError);
}
