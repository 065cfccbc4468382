#include "scene/inventortext.h"

#include <cstring>

const char* const kModelNodeNames[] = {
    // Groups whose traversal does not change while drawing.
    "Separator", "Group", "Switch", "TransformSeparator",
    // Transforms.
    "Transform", "Translation", "Rotation", "RotationXYZ", "Scale", "MatrixTransform",
    "ResetTransform", "Units",
    // Properties.
    "Material", "BaseColor", "PackedColor", "MaterialBinding", "Normal", "NormalBinding",
    "Coordinate3", "Coordinate4", "VertexProperty", "TextureCoordinate2",
    "TextureCoordinateBinding", "Texture2", "Texture2Transform", "ShapeHints", "LightModel",
    "DrawStyle", "Complexity", "PolygonOffset", "PickStyle", "Environment", "DirectionalLight",
    "PointLight", "SpotLight",
    // Shapes.
    "Cube", "Sphere", "Cone", "Cylinder", "IndexedFaceSet", "IndexedLineSet",
    "IndexedTriangleStripSet", "FaceSet", "LineSet", "TriangleStripSet", "QuadMesh", "PointSet",
    nullptr};

bool isModelNodeName(std::string_view name) {
    if (name.size() > 2 && name.substr(0, 2) == "So") {
        name.remove_prefix(2);
    }
    for (const char* const* known = kModelNodeNames; *known != nullptr; ++known) {
        if (name == *known) {
            return true;
        }
    }
    return false;
}

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Characters that end a word: the structure of the text.
bool isPunctuation(char c) {
    return c == '{' || c == '}' || c == '[' || c == ']' || c == ',' || c == '#';
}

bool acceptedHeader(std::string_view line) {
    while (!line.empty() && isSpace(line.back())) {
        line.remove_suffix(1);
    }
    return line == "#Inventor V2.1 ascii" || line == "#Inventor V2.0 ascii" ||
           line == "#Inventor V1.0 ascii";
}

// The position of the first character from i on that is neither white space nor in a comment.
size_t skipBlank(std::string_view text, size_t i) {
    while (i < text.size()) {
        if (isSpace(text[i])) {
            ++i;
        } else if (text[i] == '#') {
            const size_t end = text.find('\n', i);
            i = end == std::string_view::npos ? text.size() : end + 1;
        } else {
            break;
        }
    }
    return i;
}

}  // namespace

std::string scanInventorText(std::string_view text) {
    const size_t lineEnd = text.find('\n');
    const std::string_view header = text.substr(0, lineEnd);
    if (!acceptedHeader(header)) {
        if (header.rfind("#Inventor", 0) == 0 && header.find("binary") != std::string_view::npos) {
            return "a binary Inventor file (only text models are read)";
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
    int depth = 0;
    std::string_view word;  // the last word seen, for the brace that may follow it
    size_t i = lineEnd;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '#') {
            i = skipBlank(text, i);
            continue;
        }
        if (c == '"') {
            return "a quoted string";
        }
        if (c == '=') {
            return "a field connection ('=')";
        }
        if (isSpace(c)) {
            ++i;
            continue;
        }
        if (c == ',' || c == '[' || c == ']') {
            if (depth == 0) {
                return std::string("\"") + c + "\" outside any node";
            }
            ++i;
            continue;
        }
        if (c == '{') {
            if (!isModelNodeName(word)) {
                return word.empty() ? std::string("a brace without a node name")
                                    : "a node of kind \"" + std::string(word) +
                                          "\", which a model may not hold";
            }
            if (++depth > kMaxModelNesting) {
                return "nodes nested deeper than " + std::to_string(kMaxModelNesting);
            }
            word = std::string_view();
            ++i;
            continue;
        }
        if (c == '}') {
            if (--depth < 0) {
                return "a closing brace too many";
            }
            word = std::string_view();
            ++i;
            continue;
        }
        // A word: up to white space or punctuation. A '#' inside it is refused, since Coin reads
        // it as part of some words and as the start of a comment in others.
        size_t end = i;
        while (end < text.size() && !isSpace(text[end]) && !isPunctuation(text[end]) &&
               text[end] != '"' && text[end] != '=') {
            ++end;
        }
        if (end < text.size() && text[end] == '#') {
            return "a '#' inside a word";
        }
        word = text.substr(i, end - i);
        if (word == "filename") {
            return "a texture read from another file";
        }
        if (word == "fields") {
            return "field declarations";  // they let any node hold strings, braces and all
        }
        i = end;
        if (word == "DEF" || word == "USE") {
            // Coin reads the name after DEF or USE up to white space, braces and all.
            i = skipBlank(text, i);
            while (i < text.size() && !isSpace(text[i])) {
                if (text[i] == '"') {
                    return "a quoted string";
                }
                ++i;
            }
            word = std::string_view();
        } else if (depth == 0) {
            // Outside every node a word can only be a node's name. Coin reports text after the
            // scene only once in a process and hands the scene back, so a second read of the same
            // file would take what the first refused.
            const size_t next = skipBlank(text, i);
            if (next == text.size() || text[next] != '{') {
                return "\"" + std::string(word) + "\" outside any node";
            }
        }
    }
    return std::string();
}
