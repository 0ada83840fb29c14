#include "support/json_lines.h"

#include <fstream>
#include <sstream>

#include "support/child_process.h"

// Node.js's own JSON parser reads each line, and tells each object's fields
// a line each, "name<TAB>value" (a string as it is, line ends as \n; any
// other value as JSON), with a form feed after each object.
bool ParseJsonLines(const std::string& text, std::vector<JsonObject>* objects, std::string* error) {
    TempFolder folder;
    std::ofstream(folder.root() + "/lines.json") << text;
    const char* script =
        "for (const line of require('fs').readFileSync(process.argv[1], 'utf8').split('\\n').filter(Boolean)) {"
        "  const object = JSON.parse(line);"
        "  if (typeof object !== 'object' || object === null || Array.isArray(object)) throw new Error(line);"
        "  for (const [name, value] of Object.entries(object)) console.log(name + '\\t' +"
        "    (typeof value === 'string' ? value : JSON.stringify(value)).replace(/\\n/g, '\\\\n'));"
        "  console.log('\\f');"
        "}";
    std::string fields;
    if (RunIn(folder, "/usr/bin/node", &fields, {"-e", script, folder.root() + "/lines.json"}, error) != 0) {
        return false;
    }
    std::istringstream told(fields);
    JsonObject object;
    for (std::string line; std::getline(told, line);) {
        if (line == "\f") {
            objects->push_back(object);
            object.clear();
            continue;
        }
        const std::size_t tab = line.find('\t');
        object[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return true;
}
