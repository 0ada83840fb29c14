// JSON Lines as the tests read them: each line parsed by a JSON parser of
// the tests' own (objects, arrays, strings with every escape, numbers,
// literals), and each object's top-level fields kept.
#pragma once

#include <map>
#include <string>
#include <vector>

// One object: its fields by name, strings decoded, other values as written.
using JsonObject = std::map<std::string, std::string>;

// Parses every line of `text` as one JSON object; false, with what went
// wrong in `error`, at the first that is not.
bool ParseJsonLines(const std::string& text, std::vector<JsonObject>* objects, std::string* error);
