#pragma once

#include <QString>

#include <cpprest/json.h>

#include <string>
#include <vector>

// A reply's JSON as the library reads it, with the long texts (the documents' Base64, megabytes each) kept out
// of the library's hands: its parser copies a text a character at a time, and its value would be one more copy
// of every document beside the reply and the field map. A long value that has no escape but "\/" is cut out
// of the text and left in place as a marker that no reply can hold; the library parses the rest, and Text reads
// the marker's text straight from the reply into the QString. Whatever the library would make of the whole
// reply, this makes of it: the same values, and the same exception for a reply that is not JSON.
class ParsedReply
{
public:
    // Throws what json::value::parse throws for the body. Keeps a reference to `body`, which must outlive it.
    explicit ParsedReply(const std::string& body);

    const web::json::value& Value() const { return m_value; }
    // The text of a string value, as QString::fromUtf8 makes it of the library's string.
    QString Text(const web::json::value& string) const;

    // Texts from this many bytes on are cut out of the reply before the library sees it.
    static constexpr std::size_t kLongText = 4096;

private:
    // A long text: its bytes in the reply, between the quotes, and how many "\/" it holds.
    struct Cut
    {
        std::size_t offset;
        std::size_t length;
        std::size_t escapedSlashes;
        bool ascii;
    };

    // The reply with its long texts replaced by markers, or nothing when the library must read it whole.
    std::optional<std::string> cutLongTexts();
    QString cutText(const Cut& cut) const;

    const std::string& m_body;
    std::vector<Cut> m_cuts;
    web::json::value m_value;
};
