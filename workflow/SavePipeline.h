#pragma once

#include "core/Vocabulary.h"
#include "net/FieldMap.h"

#include <QString>

#include <optional>

class CCommunicator;

// What the editors do for a save, on the user-interface thread: render each document's page image, then
// write each document.
enum class EditorStep
{
    RenderPageImages,
    SaveDocuments,
};

// A stage of the save as the user is shown it: a position from 0 to 100 and what is being done. The position
// is shown first; without a text the previous one stays.
struct SaveStage
{
    int position = 0;
    QString status;

    friend bool operator==(const SaveStage&, const SaveStage&) = default;
};

// Something the save has to tell or ask the user, and must wait for.
enum class SaveAnswer
{
    Ok,
    Yes,
    No,
};

struct SaveQuestion
{
    enum class Kind
    {
        Error,   // an error, with an OK button
        YesOrNo, // a question, with Yes and No buttons
    };
    Kind kind = Kind::Error;
    QString caption;
    QString text;
    // What Enter answers to a question.
    SaveAnswer defaultAnswer = SaveAnswer::Yes;
    // Where set, a run without a user is not asked: this is printed instead, and the save goes on.
    QString unattendedNote = {};
};

// What a save needs of the program that hosts it. The save runs on a thread of its own and calls the host
// from there; each call returns once the host has done what it asks, on whatever thread the host does it.
class ISaveHost
{
public:
    virtual ~ISaveHost() = default;

    // The save begins: the first stage is shown and the user can change nothing until SaveEnded.
    virtual void SaveStarted(const SaveStage& first) = 0;
    virtual void ReportStage(const SaveStage& stage) = 0;
    // The user's answer; a host that cannot ask (the program is ending) answers No, or Ok where there is no No.
    virtual SaveAnswer Ask(const SaveQuestion& question) = 0;
    // The save has ended and has said everything it had to say; `uploaded` when the question was registered.
    virtual void SaveEnded(bool uploaded) = 0;

    // The category that is chosen now, if any.
    virtual std::optional<Category> CurrentCategory() = 0;
    // What the category's metadata says now; nothing when the host has no metadata for it.
    virtual std::optional<CMapStringToString> FieldMap(Category category) = 0;
    // Has the editors take the step and returns what went wrong, one line per editor that could not do its
    // part, or nothing. A document that was not written is also found later, when the save reads it.
    virtual QString RunEditorStep(EditorStep step) = 0;
    // The documents whose content runs past their first page, which the page images do not show.
    virtual QList<DocumentSlot> DocumentsPastFirstPage() = 0;

    // Used only by the save while it runs; the host makes no server call meanwhile.
    virtual CCommunicator* Communicator() = 0;
    virtual QString WorkingFolder() const = 0;
};

// Registers the question on screen: duplicate check and overwrite question, page images and documents from
// the editors, trim and PNG conversion, upload, and the outcome.
void RunSavePipeline(ISaveHost& host);
