// scanInventorText: what may reach Coin's reader. Each case is a whole file; the refusals name a
// part of their reason.
#include "scene/inventortext.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string header = "#Inventor V2.1 ascii\n";

std::string nested(const char* kind, int depth) {
    std::string text = header;
    for (int i = 0; i < depth; ++i) {
        text += kind;
        text += " {";
    }
    return text + std::string(static_cast<size_t>(depth), '}') + "\n";
}

}  // namespace

TEST(InventorText, AcceptsTextModelsOfKnownKinds) {
    const std::string accepted[] = {
        header,
        header + "Separator { Cube {} }\n",
        "#Inventor V2.0 ascii\r\nSeparator{Cube{}}\r\n",
        "#Inventor V1.0 ascii   \n" + std::string("Group { Sphere { radius 2} }"),
        header + "# a comment with \"quotes\", File { and = braces {{{\nSeparator { Cube {} }\n",
        header + "DEF a}b Cube {} USE a}b\n",    // a name runs to white space
        header + "DEF # comment\n x Cube {}\n",  // comments before a name are skipped
        header + "SoSeparator { SoCube {} Cube { width 2 } }\n",
        header + "Separator # its name and its brace apart\n { Cube {} }\n",
        header +
            "Separator { LightModel { model BASE_COLOR} Coordinate3 { point [0 0 0, 1 0 0] }"
            " IndexedFaceSet { coordIndex [0, 1, -1] vertexProperty VertexProperty {} } }\n",
        nested("Group", kMaxModelNesting),
    };
    for (const std::string& text : accepted) {
        EXPECT_EQ(scanInventorText(text), "") << text.substr(0, 200);
    }
}

TEST(InventorText, RefusesWhatCoinCouldNotReadSafely) {
    const struct {
        std::string text;
        const char* reason;
    } refused[] = {
        {"", "no Inventor text header"},
        {"#VRML V2.0 utf8\nShape {}\n", "no Inventor text header"},
        {"\x1f\x8b\x08", "no Inventor text header"},  // compressed
        {"#Inventor V2.1 binary\n\x01\x02\x03garbage", "binary"},
        {header + "Separator { File { name \"start.iv\" } }\n", "\"File\""},
        {header + "Separator { File { name start.iv } }\n", "\"File\""},
        {header + "Separator { SoFile { name x } }\n", "\"SoFile\""},
        {header + "Texture2 { filename fifo }\n", "another file"},
        {header + "Cube { fields [ SFString s ] s a}}} }\n", "field declarations"},
        {header + "DEF T Translation { translation 0 0 0 = USE T.translation }\n", "connection"},
        {header + "Separator { Calculator { a 1 } }\n", "\"Calculator\""},
        {header + "Separator { LOD { Cube {} } }\n", "\"LOD\""},
        {header + "Separator { {} }\n", "without a node name"},
        {header + "Separator { 1 {} }\n", "\"1\""},
        {header + "Separator { Cube {} } }\n", "too many"},
        // Coin says so only once in a process and hands the scene back.
        {header + "Separator { Cube {} } 5\n", "\"5\" outside any node"},
        {header + "Separator { Cube {} }\n[ 1 2 ]\n", "\"[\" outside any node"},
        {header + "Separator { Cube {} } Cube", "\"Cube\" outside any node"},
        {header + "Separator { Cube# c\n {} }\n", "inside a word"},
        {header + "Separator { Cube {} }\r", "carriage return"},
        {header + "Separator { Cube {} }\rSeparator {", "carriage return"},
        {header + std::string("Cube {}\0", 8), "NUL"},
        {header + "DEF \"a b\" Cube {}\n", "quoted string"},
        {nested("Group", kMaxModelNesting + 1), "deeper than 256"},
        {nested("Group", 100000), "deeper than 256"},
    };
    for (const auto& c : refused) {
        const std::string reason = scanInventorText(c.text);
        EXPECT_NE(reason.find(c.reason), std::string::npos)
            << "reason \"" << reason << "\" for " << c.text.substr(0, 80);
    }
}
