#pragma once

#include <string>
#include <string_view>

// Appends `utf8` as a JSON string literal, quotes included.
void AppendJsonString(std::string& out, std::string_view utf8);
