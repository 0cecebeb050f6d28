#pragma once

#include "server/QuestionStore.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The JSON bodies of the question bank's answers, written by a JSON library so that every text is escaped
// and every key comes once.
namespace JsonReply {

std::string Result(int code, std::string_view message);
// A result that carries `"result": null`.
std::string EmptyResult(int code, std::string_view message);
std::string Version(int version);
std::string Permission(int permission);
std::string Schools(const std::vector<std::pair<std::string, std::string>>& schools);
// The question's fields as texts and its documents in Base64, under "result", the documents read a piece at a
// time as they are encoded; nothing when a read fails.
std::optional<std::string> Question(int code, std::string_view message, QuestionStore::Fields&& metadata,
                                    const std::vector<QuestionStore::StoredDocument>& documents,
                                    const QuestionStore::DocumentReader& read);

} // namespace JsonReply
