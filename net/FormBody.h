#pragma once

#include "net/FieldMap.h"

#include <QString>

#include <initializer_list>
#include <string>

// Builds the form body of a request directly as the UTF-8 bytes that go on the wire, so that documents
// of several megabytes are held once rather than as UTF-16 and UTF-8 copies.
//
// The first field is always the session token. A value may hold any text: "%", "&" and "+" are escaped so
// that no value can add a field or turn into a space; everything else, Korean text and spaces included,
// goes as it is. Document fields carry Base64 text, of which only "+" needs escaping.
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
    void appendEscaped(const QString& text);

    std::string m_body;
};

// The escaped form of a key or value as it appears in the body (UTF-8).
std::string EscapeFormText(const QString& text);
