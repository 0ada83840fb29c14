#include "support/json_lines.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace {

class Parser {
public:
    explicit Parser(const std::string& text) : text_(text) {}

    bool Object(JsonObject* fields) {
        if (!Take('{')) return false;
        if (Take('}')) return true;
        do {
            std::string name;
            std::string value;
            if (!String(&name) || !Take(':') || !Value(&value)) return false;
            (*fields)[name] = value;
        } while (Take(','));
        return Take('}');
    }
    bool AtEnd() {
        Space();
        return at_ == text_.size();
    }

private:
    void Space() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
    }
    bool Take(char c) {
        Space();
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }
    bool Value(std::string* value) {
        Space();
        const std::size_t start = at_;
        if (at_ >= text_.size()) return false;
        switch (text_[at_]) {
            case '"': return String(value);
            case '{': {
                JsonObject inner;
                if (!Object(&inner)) return false;
                break;
            }
            case '[': {
                ++at_;
                if (!Take(']')) {
                    std::string item;
                    do {
                        if (!Value(&item)) return false;
                    } while (Take(','));
                    if (!Take(']')) return false;
                }
                break;
            }
            default:
                if (!Literal("true") && !Literal("false") && !Literal("null") && !Number()) return false;
        }
        *value = text_.substr(start, at_ - start);
        return true;
    }
    bool Literal(const char* word) {
        const std::string w(word);
        if (text_.compare(at_, w.size(), w) != 0) return false;
        at_ += w.size();
        return true;
    }
    bool Number() {
        const char* start = text_.c_str() + at_;
        char* end = nullptr;
        std::strtod(start, &end);
        if (end == start || (*start != '-' && !std::isdigit(static_cast<unsigned char>(*start)))) return false;
        at_ += static_cast<std::size_t>(end - start);
        return true;
    }
    bool String(std::string* out) {
        if (!Take('"')) return false;
        out->clear();
        while (at_ < text_.size() && text_[at_] != '"') {
            const unsigned char c = static_cast<unsigned char>(text_[at_++]);
            if (c < 0x20) return false;  // a control character must be escaped
            if (c != '\\') {
                out->push_back(static_cast<char>(c));
                continue;
            }
            if (at_ >= text_.size()) return false;
            const char escaped = text_[at_++];
            const std::string simple = "\"\\/bfnrt";
            const std::string meant = "\"\\/\b\f\n\r\t";
            if (simple.find(escaped) != std::string::npos) {
                out->push_back(meant[simple.find(escaped)]);
            } else if (escaped == 'u' && at_ + 4 <= text_.size()) {
                const unsigned long code = std::strtoul(text_.substr(at_, 4).c_str(), nullptr, 16);
                at_ += 4;
                if (code >= 0x80) return false;  // none the program writes
                out->push_back(static_cast<char>(code));
            } else {
                return false;
            }
        }
        return Take('"');
    }

    const std::string& text_;
    std::size_t at_ = 0;
};

}  // namespace

bool ParseJsonLines(const std::string& text, std::vector<JsonObject>* objects, std::string* error) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        JsonObject fields;
        Parser parser(line);
        if (!parser.Object(&fields) || !parser.AtEnd()) {
            *error = "not a JSON object: " + line;
            return false;
        }
        objects->push_back(fields);
    }
    return true;
}
