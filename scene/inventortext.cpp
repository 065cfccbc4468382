#include "scene/inventortext.h"

#include <charconv>
#include <cmath>
#include <initializer_list>
#include <unordered_map>
#include <vector>

namespace {

// A node kind with its article: "a Cube", "an IndexedFaceSet".
std::string aKind(const std::string& kind) {
    const bool vowel = !kind.empty() && std::string("AEIOU").find(kind[0]) != std::string::npos;
    return (vowel ? "an " : "a ") + kind;
}

// How a field's value is written.
enum class Form {
    Number,      // one number
    Triple,      // three numbers
    TripleList,  // one triple, or [ triple, triple, ... ]
    IndexList,   // one index, or [ index, index, ... ]
    Word,        // one of the field's words
};

struct FieldRule {
    const char* name;
    Form form;
    std::initializer_list<const char*> words;  // for Form::Word
};

struct KindRule {
    const char* name;
    bool holdsChildren;
    std::initializer_list<FieldRule> fields;
};

const KindRule kKinds[] = {
    {"Separator", true, {{"renderCaching", Form::Word, {"ON", "OFF", "AUTO"}}}},
    {"Group", true, {}},
    {"ShapeHints",
     false,
     {{"vertexOrdering", Form::Word, {"UNKNOWN_ORDERING", "CLOCKWISE", "COUNTERCLOCKWISE"}},
      {"shapeType", Form::Word, {"UNKNOWN_SHAPE_TYPE", "SOLID"}}}},
    {"LightModel", false, {{"model", Form::Word, {"BASE_COLOR", "PHONG"}}}},
    {"Material", false, {{"diffuseColor", Form::TripleList, {}}}},
    {"BaseColor", false, {{"rgb", Form::TripleList, {}}}},
    {"MaterialBinding",
     false,
     {{"value", Form::Word, {"DEFAULT", "OVERALL", "PER_VERTEX_INDEXED"}}}},
    {"Coordinate3", false, {{"point", Form::TripleList, {}}}},
    {"IndexedFaceSet", false, {{"coordIndex", Form::IndexList, {}}}},
    {"Translation", false, {{"translation", Form::Triple, {}}}},
    {"Cube",
     false,
     {{"width", Form::Number, {}}, {"height", Form::Number, {}}, {"depth", Form::Number, {}}}},
    {"Sphere", false, {{"radius", Form::Number, {}}}},
    {"Cone", false, {{"bottomRadius", Form::Number, {}}, {"height", Form::Number, {}}}},
    {"Cylinder", false, {{"radius", Form::Number, {}}, {"height", Form::Number, {}}}},
};

const KindRule* kindRule(std::string_view name) {
    for (const KindRule& kind : kKinds) {
        if (name == kind.name) {
            return &kind;
        }
    }
    return nullptr;
}

const FieldRule* fieldRule(const KindRule& kind, std::string_view name) {
    for (const FieldRule& field : kind.fields) {
        if (name == field.name) {
            return &field;
        }
    }
    return nullptr;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isPunctuation(char c) {
    return c == '{' || c == '}' || c == '[' || c == ']' || c == ',';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

// The characters a word of an admitted model is made of: names, field words and numbers.
bool isWordChar(char c) {
    return isLetter(c) || isDigit(c) || c == '.' || c == '+' || c == '-';
}

bool acceptedHeader(std::string_view line) {
    while (!line.empty() && isSpace(line.back())) {
        line.remove_suffix(1);
    }
    return line == "#Inventor V2.1 ascii";
}

// An optional sign, digits with an optional fraction (or a fraction alone), an optional exponent.
bool isNumberForm(std::string_view w) {
    size_t i = 0;
    if (i < w.size() && (w[i] == '+' || w[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < w.size() && isDigit(w[i])) {
        ++i;
        ++digits;
    }
    if (i < w.size() && w[i] == '.') {
        ++i;
        while (i < w.size() && isDigit(w[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < w.size() && (w[i] == 'e' || w[i] == 'E')) {
        ++i;
        if (i < w.size() && (w[i] == '+' || w[i] == '-'))
            ++i;
        const size_t start = i;
        while (i < w.size() && isDigit(w[i]))
            ++i;
        if (i == start)
            return false;
    }
    return i == w.size();
}

std::string quoted(std::string_view word) {
    constexpr size_t shown = 40;
    if (word.size() > shown) {
        return "\"" + std::string(word.substr(0, shown)) + "...\" (" + std::to_string(word.size()) +
               " characters)";
    }
    return "\"" + std::string(word) + "\"";
}

std::string numberProblem(std::string_view w) {
    if (w.size() > kMaxModelNumberChars) {
        return "a number of " + std::to_string(w.size()) + " characters (at most " +
               std::to_string(kMaxModelNumberChars) + ")";
    }
    if (!isNumberForm(w)) {
        return quoted(w) + " where a number belongs";
    }
    // from_chars takes no leading '+' and reads in the C locale whatever the process's is.
    if (w.front() == '+')
        w.remove_prefix(1);
    double value = 0.0;
    const auto result = std::from_chars(w.data(), w.data() + w.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Out of range of a double: too large, or too small to matter, which Coin reads as 0.
        const size_t e = w.find_first_of("eE");
        return e != std::string_view::npos && w.substr(e + 1).find('-') != std::string_view::npos
                   ? std::string()
                   : "the number " + quoted(w) + ", beyond 1e18";
    }
    if (result.ec != std::errc() || !std::isfinite(value) || std::fabs(value) > 1e18) {
        return "the number " + quoted(w) + ", beyond 1e18";
    }
    return std::string();
}

std::string indexProblem(std::string_view w) {
    if (w == "-1")
        return std::string();
    bool digits = !w.empty() && w.size() <= 10;
    for (char c : w)
        digits = digits && isDigit(c);
    if (!digits || std::stoll(std::string(w)) > 2147483647LL) {
        return quoted(w) + " where an index (-1 or 0 to 2^31-1) belongs";
    }
    return std::string();
}

bool isName(std::string_view w) {
    if (w.empty() || !isLetter(w.front()))
        return false;
    for (char c : w) {
        if (!isLetter(c) && !isDigit(c))
            return false;
    }
    return true;
}

enum class Tok { End, Word, Open, Close, OpenList, CloseList, Comma };

// Splits the text into Coin's tokens, skipping white space and comments. A problem with the
// characters themselves ends the scan.
class Lexer {
public:
    explicit Lexer(std::string_view text, size_t start) : text_(text), i_(start) {}

    // The next token; Tok::End with problem() set when the text holds something no model has.
    Tok next() {
        skipBlank();
        word_ = std::string_view();
        if (i_ >= text_.size())
            return Tok::End;
        const char c = text_[i_];
        switch (c) {
            case '{':
                ++i_;
                return Tok::Open;
            case '}':
                ++i_;
                return Tok::Close;
            case '[':
                ++i_;
                return Tok::OpenList;
            case ']':
                ++i_;
                return Tok::CloseList;
            case ',':
                ++i_;
                return Tok::Comma;
            default:
                break;
        }
        if (!isWordChar(c)) {
            problem_ = characterProblem(c);
            return Tok::End;
        }
        size_t end = i_;
        while (end < text_.size() && isWordChar(text_[end]))
            ++end;
        if (end < text_.size() && !isSpace(text_[end]) && !isPunctuation(text_[end])) {
            // "Cube#x" is one word to Coin in some places and a comment in others.
            problem_ = text_[end] == '#' ? std::string("a '#' inside a word")
                                         : characterProblem(text_[end]);
            return Tok::End;
        }
        word_ = text_.substr(i_, end - i_);
        i_ = end;
        return Tok::Word;
    }

    // The next token without taking it.
    Tok peek() {
        const size_t saved = i_;
        const std::string_view word = word_;
        const Tok tok = next();
        i_ = saved;
        word_ = word;
        return tok;
    }

    std::string_view word() const { return word_; }
    const std::string& problem() const { return problem_; }

private:
    void skipBlank() {
        while (i_ < text_.size()) {
            if (isSpace(text_[i_])) {
                ++i_;
            } else if (text_[i_] == '#') {
                const size_t end = text_.find('\n', i_);
                i_ = end == std::string_view::npos ? text_.size() : end + 1;
            } else {
                break;
            }
        }
    }

    static std::string characterProblem(char c) {
        if (c == '"')
            return "a quoted string";
        if (c == '=')
            return "a field connection ('=')";
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7f)
            return "the byte " + std::to_string(u) + ", which no model holds";
        return std::string("the character '") + c + "', which no model holds";
    }

    std::string_view text_;
    size_t i_;
    std::string_view word_;
    std::string problem_;
};

std::string describe(Tok tok, std::string_view word) {
    switch (tok) {
        case Tok::End:
            return "the end of the text";
        case Tok::Word:
            return quoted(word);
        case Tok::Open:
            return "\"{\"";
        case Tok::Close:
            return "\"}\"";
        case Tok::OpenList:
            return "\"[\"";
        case Tok::CloseList:
            return "\"]\"";
        case Tok::Comma:
            return "\",\"";
    }
    return std::string();
}

class Scanner {
public:
    Scanner(std::string_view text, size_t start) : lex_(text, start) {}

    std::string scan() {
        for (;;) {
            const Tok tok = lex_.next();
            if (tok == Tok::End)
                return lex_.problem();
            if (tok != Tok::Word)
                return unexpected(tok, "outside any node");
            // Coin reports text after the scene only once in a process and hands the scene back,
            // so a second read of the same file would take what the first refused.
            if (lex_.word() != "DEF" && lex_.word() != "USE" && lex_.peek() != Tok::Open)
                return quoted(lex_.word()) + " outside any node";
            std::string problem = node(0);
            if (!problem.empty())
                return problem;
        }
    }

private:
    std::string unexpected(Tok tok, const char* where) {
        if (!lex_.problem().empty())
            return lex_.problem();
        if (tok == Tok::Close && std::string_view(where) == "outside any node")
            return "a closing brace too many";
        return describe(tok, lex_.word()) + " " + where;
    }

    // A node whose first word was just read: [DEF name] Kind { ... } or USE name.
    std::string node(int depth) {
        std::string_view word = lex_.word();
        std::string defined;
        if (word == "USE" || word == "DEF") {
            const bool use = word == "USE";
            const Tok tok = lex_.next();
            if (tok != Tok::Word)
                return unexpected(tok, use ? "after USE" : "after DEF");
            const std::string_view name = lex_.word();
            if (name.size() > kMaxModelNameChars) {
                return "a name of " + std::to_string(name.size()) + " characters (at most " +
                       std::to_string(kMaxModelNameChars) + ")";
            }
            if (!isName(name))
                return "the name " + quoted(name) + ", not letters, digits and '_'";
            if (use) {
                const auto found = names_.find(std::string(name));
                if (found == names_.end())
                    return "USE of " + quoted(name) + ", which no DEF before names";
                if (found->second.open)
                    return aKind(found->second.kind) + " that holds itself";
                return std::string();
            }
            defined = name;
            const Tok kind = lex_.next();
            if (kind != Tok::Word)
                return unexpected(kind, "after a DEF name");
            word = lex_.word();
        }
        const KindRule* kind = kindRule(word);
        if (kind == nullptr) {
            return "a node of kind " + quoted(word) + ", which a model may not hold";
        }
        const Tok open = lex_.next();
        if (open != Tok::Open)
            return unexpected(open, "after a node's kind, where \"{\" belongs");
        if (depth + 1 > kMaxModelNesting)
            return "nodes nested deeper than " + std::to_string(kMaxModelNesting);
        int generation = 0;
        if (!defined.empty()) {
            Name& entry = names_[defined];
            entry.open = true;
            entry.kind = kind->name;
            generation = ++entry.generation;
        }
        bool childrenBegun = false;
        for (;;) {
            const Tok tok = lex_.next();
            if (tok == Tok::Close)
                break;
            if (tok != Tok::Word)
                return unexpected(tok, ("in " + aKind(kind->name)).c_str());
            const std::string_view name = lex_.word();
            const FieldRule* field = fieldRule(*kind, name);
            if (field != nullptr && !childrenBegun && lex_.peek() != Tok::Open) {
                std::string problem = value(*field);
                if (!problem.empty())
                    return problem;
                continue;
            }
            if (!kind->holdsChildren) {
                return "the field " + quoted(name) + ", which " + aKind(kind->name) +
                       " of a model does not have";
            }
            childrenBegun = true;
            std::string problem = node(depth + 1);
            if (!problem.empty())
                return problem;
        }
        if (!defined.empty()) {
            Name& entry = names_[defined];
            if (entry.generation == generation)
                entry.open = false;
        }
        return std::string();
    }

    std::string number() {
        const Tok tok = lex_.next();
        if (tok != Tok::Word)
            return unexpected(tok, "where a number belongs");
        return numberProblem(lex_.word());
    }

    std::string triple() {
        for (int i = 0; i < 3; ++i) {
            std::string problem = number();
            if (!problem.empty())
                return problem;
        }
        return std::string();
    }

    std::string index() {
        const Tok tok = lex_.next();
        if (tok != Tok::Word)
            return unexpected(tok, "where an index belongs");
        return indexProblem(lex_.word());
    }

    // One item, or a bracketed list of items each optionally followed by a comma.
    template <class Item>
    std::string list(Item item) {
        if (lex_.peek() != Tok::OpenList)
            return item();
        lex_.next();
        for (;;) {
            if (lex_.peek() == Tok::CloseList) {
                lex_.next();
                return std::string();
            }
            std::string problem = item();
            if (!problem.empty())
                return problem;
            if (lex_.peek() == Tok::Comma)
                lex_.next();
        }
    }

    std::string value(const FieldRule& field) {
        switch (field.form) {
            case Form::Number:
                return number();
            case Form::Triple:
                return triple();
            case Form::TripleList:
                return list([this] { return triple(); });
            case Form::IndexList:
                return list([this] { return index(); });
            case Form::Word: {
                const Tok tok = lex_.next();
                if (tok == Tok::Word) {
                    for (const char* word : field.words) {
                        if (lex_.word() == word)
                            return std::string();
                    }
                    return quoted(lex_.word()) + " as the " + field.name + ", which no model uses";
                }
                return unexpected(tok, "where a word belongs");
            }
        }
        return std::string();
    }

    struct Name {
        bool open = false;
        int generation = 0;
        std::string kind;
    };

    Lexer lex_;
    std::unordered_map<std::string, Name> names_;
};

}  // namespace

const char* const kModelNodeNames[] = {
    "Separator", "Group",           "ShapeHints",  "LightModel",     "Material",
    "BaseColor", "MaterialBinding", "Coordinate3", "IndexedFaceSet", "Translation",
    "Cube",      "Sphere",          "Cone",        "Cylinder",       nullptr};

bool isModelNodeName(std::string_view name) {
    return kindRule(name) != nullptr;
}

std::string scanInventorText(std::string_view text) {
    const size_t lineEnd = text.find('\n');
    const std::string_view header = text.substr(0, lineEnd);
    if (!acceptedHeader(header)) {
        if (header.rfind("#Inventor", 0) == 0 && header.find("binary") != std::string_view::npos) {
            return "a binary Inventor file (only text models are read)";
        }
        if (header.rfind("#Inventor V", 0) == 0 && header.find("ascii") != std::string_view::npos) {
            return "an Inventor version other than 2.1";
        }
        return "no Inventor text header";
    }
    if (text.find('\0') != std::string_view::npos) {
        return "a NUL byte";
    }
    for (size_t r = text.find('\r'); r != std::string_view::npos; r = text.find('\r', r + 1)) {
        // Coin ends a comment at the line feed alone; a lone carriage return could hide a line.
        if (r + 1 == text.size() || text[r + 1] != '\n') {
            return "a carriage return without a line feed";
        }
    }
    if (lineEnd == std::string_view::npos) {
        return std::string();
    }
    return Scanner(text, lineEnd).scan();
}
