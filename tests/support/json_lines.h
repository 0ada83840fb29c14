// JSON Lines as the tests read them: each line parsed by Node.js's JSON
// parser, a parser not of this project, and each object's fields kept.
#pragma once

#include <map>
#include <string>
#include <vector>

// One object: its fields by name, strings as they are (a line end as \n),
// other values as JSON writes them.
using JsonObject = std::map<std::string, std::string>;

// Parses every line of `text` as one JSON object; false, with what went
// wrong in `error`, when one is not.
bool ParseJsonLines(const std::string& text, std::vector<JsonObject>* objects, std::string* error);
