// The main window's search-and-load and delete commands. Both run on the user-interface thread under the
// wait cursor: the server call is short, and the window must not change under the user while it runs.

#include "ui/main/CTarvixDlg.h"

#include "editor/CDHwpCtrl.h"
#include "core/Base64.h"
#include "core/HugePages.h"
#include "net/Communicator.h"
#include "options/OptPanel.h"
#include "ui/dialogs/MessageBox.h"
#include "core/Messages.h"
#include "workflow/QuestionFiles.h"

#include <QApplication>
#include <QDir>
#include <QSaveFile>

#include <new>
#include <string>

namespace {

// The wait cursor for as long as it lives or until Release. Message boxes show the normal pointer over it.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { Release(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    void Release()
    {
        if (m_active)
            QApplication::restoreOverrideCursor();
        m_active = false;
    }

private:
    bool m_active = true;
};

// Where one slot's document comes from in a search reply: the HWP document when the reply has one, else the
// HWP XML document.
struct DownloadedDocument
{
    QString key;
    QString extension;
    QString format;
};

std::optional<DownloadedDocument> chooseDocument(const CMapStringToString& reply, DocumentSlot slot)
{
    const QString letter = SlotFileLetter(slot);
    const DownloadedDocument choices[] = {
        {letter + QStringLiteral("_hwp"), QStringLiteral("hwp"), QStringLiteral("HWP")},
        {letter + QStringLiteral("_hml"), QStringLiteral("hml"), QStringLiteral("HWPML2X")},
    };
    for (const DownloadedDocument& choice : choices) {
        if (!reply.Value(choice.key).isEmpty())
            return choice;
    }
    return std::nullopt;
}

// Decodes the Base64 text into `path`. The bytes go to a temporary file that replaces the old one only once
// it is complete, so a failed write leaves no half document under the name the editor opens.
bool writeDownloadedDocument(const QString& path, const QString& base64, QString* error)
{
    // Decoded straight from the text the field map holds, into room for three bytes for every four characters:
    // as much as any decoding needs.
    const auto length = std::size_t(base64.size());
    std::string bytes;
    try {
        bytes = LargeString((3 * length + 3) / 4);
    } catch (const std::bad_alloc&) {
        *error = QStringLiteral("Out of memory");
        return false;
    }
    const std::size_t size = Base64DecodeInto(reinterpret_cast<const char16_t*>(base64.utf16()), length,
                                              reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());

    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    // A full disk first shows as a short write without a reason; the write of the rest then fails with it.
    qint64 written = 0;
    while (written < qint64(size)) {
        const qint64 n = file.write(bytes.data() + written, qint64(size) - written);
        if (n <= 0)
            break;
        written += n;
    }
    if (written != qint64(size) || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace

void CTarvixDlg::OnSearch()
{
    if (!ConfirmDiscard())
        return;
    // A search always starts from an empty screen, so a failed one never leaves the last question behind.
    OnReset();
    WaitCursor waitCursor;

    const std::optional<Category> category = CurrentCategory();
    COptPanel* panel = category ? Panel(*category) : nullptr;
    if (panel && m_pCommunicator) {
        CMapStringToString request;
        CMapStringToString reply;
        panel->GetFieldMap(request);
        if (!m_pCommunicator->GetQuestion(*category, &request, &reply)) {
            MessageBox::Show(this, QMessageBox::Critical, QString::fromUtf16(Msg::kCaptionError),
                             QString::fromUtf16(Msg::kSearchFailed).arg(CategoryMessageLabel(*category)) +
                                 m_pCommunicator->GetLastErrorText());
        } else {
            panel->SetFieldMap(reply);
            if (LoadQuestionDocuments(reply))
                showLastAction(Msg::kLastLoaded, *category);
            // What the editors hold now is what the server has.
            markClean();
        }
    }
    waitCursor.Release();
    SelectDocumentTab(0);
}

bool CTarvixDlg::LoadQuestionDocuments(const CMapStringToString& reply)
{
    QStringList unopened;
    QStringList partial;
    for (DocumentSlot slot : kAllDocumentSlots) {
        const std::optional<DownloadedDocument> document = chooseDocument(reply, slot);
        if (!document) {
            // Without a question there is nothing to load; a question may come without the other two.
            if (slot == DocumentSlot::Question) {
                MessageBox::Show(this, QMessageBox::Critical, QString::fromUtf16(Msg::kCaptionInformation),
                                 QString::fromUtf16(Msg::kNoQuestionFound));
                return false;
            }
            continue;
        }
        const QString path = DownloadedDocumentPath(m_strWorkingFolder, slot, document->extension);
        QString error;
        if (!writeDownloadedDocument(path, reply.Value(document->key), &error)) {
            MessageBox::Error(this,
                              QString::fromUtf16(Msg::kDownloadNotWritten).arg(QDir::toNativeSeparators(path), error));
            return false;
        }
        // An editor that silently stayed empty would look like a question without this document, and a save
        // of the screen would then replace the stored one with nothing.
        CDHwpCtrl* editor = Editor(slot);
        if (!editor->OpenDocument(path, document->format, QString()))
            unopened.append(
                QString::fromUtf16(Msg::kDocumentNotOpened).arg(SlotTabLabel(slot), editor->LastOpenError()));
        else if (const DroppedObjects& dropped = editor->LastOpenDroppedObjects(); dropped.Total() > 0)
            // What the editor cannot show yet would be lost by saving this screen: the writer must know.
            partial.append(QString::fromUtf16(Msg::kDocumentObjectsDropped).arg(SlotTabLabel(slot), dropped.Describe()));
    }
    if (!unopened.isEmpty())
        MessageBox::Error(this, unopened.join(QStringLiteral("\r\n\r\n")));
    if (!partial.isEmpty())
        MessageBox::Show(this, QMessageBox::Warning, QString::fromUtf16(Msg::kCaptionWarning),
                         partial.join(QStringLiteral("\r\n\r\n")));
    return true;
}

void CTarvixDlg::OnDelete()
{
    if (MessageBox::Show(this, QMessageBox::Question, QString::fromUtf16(Msg::kCaptionConfirm),
                         QString::fromUtf16(Msg::kDeleteQuestion),
                         QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    WaitCursor waitCursor;

    const std::optional<Category> category = CurrentCategory();
    COptPanel* panel = category ? Panel(*category) : nullptr;
    if (!panel || !m_pCommunicator)
        return;
    CMapStringToString request;
    panel->GetFieldMap(request);
    if (m_pCommunicator->DeleteQuestion(*category, &request))
        MessageBox::Show(this, QMessageBox::Information, QString::fromUtf16(Msg::kCaptionInformation),
                         QString::fromUtf16(Msg::kDeleted));
    else
        MessageBox::Show(this, QMessageBox::Critical, QString::fromUtf16(Msg::kCaptionError),
                         QString::fromUtf16(Msg::kDeleteFailed).arg(CategoryMessageLabel(*category)) +
                             m_pCommunicator->GetLastErrorText());
}
