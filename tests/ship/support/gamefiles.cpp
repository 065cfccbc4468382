#include "ship/support/gamefiles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/bmp_file.h"

namespace {

// A boarder-sized model: a body of triangles plus a cone, a few kilobytes of scene.
std::string boarderModel() {
    std::ostringstream out;
    out << "#Inventor V2.1 ascii\n\nSeparator {\n  Material { diffuseColor 0.9 0.3 0.1 }\n"
        << "  Coordinate3 { point [\n";
    for (int i = 0; i < 300; ++i) {
        out << "    " << (i % 10) * 0.5 << ' ' << (i / 10 % 3) * 0.5 << ' ' << (i / 30) * 0.4
            << ",\n";
    }
    out << "  ] }\n  IndexedFaceSet { coordIndex [\n";
    for (int i = 0; i + 2 < 300; i += 3)
        out << "    " << i << ", " << i + 1 << ", " << i + 2 << ", -1,\n";
    out << "  ] }\n  Translation { translation 0 0 4 }\n  Cone { bottomRadius 1 height 2 }\n}\n";
    return out.str();
}

std::string sceneryModel(const char* colour) {
    return std::string("#Inventor V2.1 ascii\n\nSeparator {\n  Material { diffuseColor ") + colour +
           " }\n  Translation { translation 0 2 0 }\n  Cube { width 8 height 4 depth 2 }\n"
           "  Translation { translation 0 3 0 }\n  Sphere { radius 1.5 }\n}\n";
}

}  // namespace

const std::vector<std::string>& gameFileNames() {
    static const std::vector<std::string> names = {
        "boarder.iv", "start.iv", "finish.iv", "tree.iv", "snow16.bmp", "panorama20480256.bmp"};
    return names;
}

std::string makeBmp(int width, int height, int bits, int paletteEntries) {
    return bmp_file::asString(bmp_file::build(
        {bits, width, height, static_cast<unsigned>(paletteEntries)}, [](int x, int y, int b) {
            return static_cast<unsigned char>(160 + (x * 7 + y * 5 + b * 30) % 96);
        }));
}

std::string makeBmp24(int width, int height) {
    return makeBmp(width, height, 24, 0);
}

std::string makeBmp8(int width, int height) {
    return makeBmp(width, height, 8, 256);
}

std::string validGameFile(const std::string& name) {
    if (name == "boarder.iv")
        return boarderModel();
    if (name == "start.iv")
        return sceneryModel("0.2 0.7 0.2");
    if (name == "finish.iv")
        return sceneryModel("0.8 0.1 0.1");
    if (name == "tree.iv")
        return sceneryModel("0.1 0.5 0.1");
    if (name == "snow16.bmp")
        return makeBmp24(16, 16);
    if (name == "panorama20480256.bmp")
        return makeBmp24(256, 32);
    return std::string();
}

bool writeFile(const std::string& dir, const std::string& name, const std::string& bytes) {
    std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool writeGameFiles(const std::string& dir) {
    for (const std::string& name : gameFileNames()) {
        if (!writeFile(dir, name, validGameFile(name)))
            return false;
    }
    return true;
}

std::string makeTempDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr)
        return std::string();
    return pattern;
}

void removeTree(const std::string& dir) {
    std::error_code ignored;
    if (!dir.empty())
        std::filesystem::remove_all(dir, ignored);
}
