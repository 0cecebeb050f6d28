#pragma once

#include "net/FieldMap.h"

#include <QString>

#include <initializer_list>
#include <string>

enum class FormPart
{
    Key,
    Value,
};

// Builds the form body of a request directly as the UTF-8 bytes that go on the wire, so that documents
// of several megabytes are held once rather than as UTF-16 and UTF-8 copies.
//
// The first field is always the session token, as the cookie gave it. Keys and values may hold any text:
// whatever a form decoder would read differently ("&", "+", "%", blanks, control and non-ASCII bytes, and
// "=" in a key) is percent-escaped, so that the server decodes exactly the text that was given. Document
// fields carry Base64 text, of which only "+" needs escaping.
class FormBody
{
public:
    explicit FormBody(const QString& token);

    void AddField(const QString& key, const QString& value);
    // Every entry of the map, in the map's own order.
    void AddFields(const CMapStringToString& fields);

    // Makes room once for the documents that AddDocumentFile will append, so that the body is not copied
    // while it grows.
    void ReserveForDocuments(std::initializer_list<const CMapStringToString*> fileMaps);
    // Appends the key and the Base64 text of the file's bytes. False when the file cannot be opened or read
    // whole: the value is then left empty, and the body must not be sent, since the server would store the
    // empty value in place of the document.
    bool AddDocumentFile(const QString& key, const QString& path);

    const std::string& Text() const { return m_body; }
    std::string Take() { return std::move(m_body); }

private:
    void appendEscaped(const QString& text, FormPart part);

    std::string m_body;
};

// The escaped form of a key or value as it appears in the body.
std::string EscapeFormText(const QString& text, FormPart part);
