// ivshot: renders one Open Inventor model of the game's data into a PPM picture, placed the way
// the game places it, so the data files can be checked by eye without starting the game.
//
// Usage: ivshot <boarder|start|finish|plain> <model.iv> <out.ppm>
//               [distance m] [azimuth deg] [elevation deg] [heading deg] [width] [height]
//
// The GL set-up copies the game's frame: a 20 degree perspective with near 0.1 and far 10, the
// world scaled by 0.0005, no GL lighting of its own, back faces culled. The model stands at the
// world origin on a flat grey-white ground at y = 0:
//   boarder  translate to the foot, turn model z into world y, turn by the heading about it, and
//            then the game's own Coin transform (move by (-19, 0, 0), scale by 2);
//   start    rotate -90 degrees about y, scale by 5 (origin on the ground);
//   finish   the same, with the origin 70 m above the ground;
//   plain    the model as it is, y up.
// A red 20 m gate pole (radius 2) stands 40 m to the side as a size reference, and the game's green
// 10 m marker line stands at the origin. The camera looks at a point about half the model's height
// up, from the given distance, azimuth (0 = from -x, i.e. from behind a boarder heading +x,
// 90 = from +z) and elevation. Needs an X display (run under xvfb-run).
//
// With IVSHOT_SNOW set to a 24-bit BMP the ground is textured with it, once per 25 x 25 m cell;
// with IVSHOT_PANORAMA set to one, the backdrop band of radius 1500 m from 500 m below to 2000 m
// above the ground is drawn round the scene, s from -0.1875 to 0.3125, the picture upright and in
// true colours. IVSHOT_EYE="x y z cx cy cz" replaces the camera by a look from (x, y, z) at
// (cx, cy, cz).

#include <GL/freeglut.h>
#include <GL/glu.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string mode;
    std::string modelFile;
    std::string outFile;
    double distance = 400.0;
    double azimuth = 30.0;
    double elevation = 15.0;
    double heading = 0.0;
    int width = 700;
    int height = 700;
};

Options options;
SoSeparator* sceneRoot = nullptr;

// Reads a bottom-up 24-bit BMP into a texture in true colours (the file's first row is the
// picture's bottom row, t = 0). Returns 0 when the file cannot be read.
GLuint loadTexture(const char* path) {
    FILE* in = std::fopen(path, "rb");
    if (!in)
        return 0;
    unsigned char header[54];
    if (std::fread(header, 1, 54, in) != 54 || header[0] != 'B' || header[1] != 'M' ||
        header[28] != 24) {
        std::fclose(in);
        return 0;
    }
    auto u32 = [&](int at) {
        return static_cast<unsigned>(header[at] | header[at + 1] << 8 | header[at + 2] << 16 |
                                     header[at + 3] << 24);
    };
    const int w = static_cast<int>(u32(18));
    const int h = static_cast<int>(u32(22));
    const long row = (w * 3L + 3) / 4 * 4;
    std::vector<unsigned char> pixels(static_cast<size_t>(row) * h);
    std::fseek(in, static_cast<long>(u32(10)), SEEK_SET);
    const size_t got = std::fread(pixels.data(), 1, pixels.size(), in);
    std::fclose(in);
    if (got != pixels.size())
        return 0;
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, w, h, 0, GL_BGR, GL_UNSIGNED_BYTE, pixels.data());
    return name;
}

void drawReferences() {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    // Ground: a large flat square, snow-textured or lightly shaded so the white models stand out.
    static GLuint snow = 0, panorama = 0;
    static bool loaded = false;
    if (!loaded) {
        loaded = true;
        if (const char* path = std::getenv("IVSHOT_SNOW"))
            snow = loadTexture(path);
        if (const char* path = std::getenv("IVSHOT_PANORAMA"))
            panorama = loadTexture(path);
    }
    if (snow) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, snow);
        glColor3f(1.0f, 1.0f, 1.0f);
    } else {
        glColor3f(0.86f, 0.88f, 0.92f);
    }
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-1000.0f, 0.0f, -1000.0f);
    glTexCoord2f(0.0f, 80.0f);
    glVertex3f(-1000.0f, 0.0f, 1000.0f);
    glTexCoord2f(80.0f, 80.0f);
    glVertex3f(1000.0f, 0.0f, 1000.0f);
    glTexCoord2f(80.0f, 0.0f);
    glVertex3f(1000.0f, 0.0f, -1000.0f);
    glEnd();
    if (panorama) {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, panorama);
        glColor3f(1.0f, 1.0f, 1.0f);
        for (int i = -15; i < 25; ++i) {
            const float a0 = i * 0.15707963705062866f, a1 = (i + 1) * 0.15707963705062866f;
            const float s0 = i * 0.5f * 0.025f, s1 = (i + 1) * 0.5f * 0.025f;
            glBegin(GL_QUADS);
            glTexCoord2f(s0, 0.0f);
            glVertex3f(1500.0f * std::cos(a0), -500.0f, 1500.0f * std::sin(a0));
            glTexCoord2f(s1, 0.0f);
            glVertex3f(1500.0f * std::cos(a1), -500.0f, 1500.0f * std::sin(a1));
            glTexCoord2f(s1, 1.0f);
            glVertex3f(1500.0f * std::cos(a1), 2000.0f, 1500.0f * std::sin(a1));
            glTexCoord2f(s0, 1.0f);
            glVertex3f(1500.0f * std::cos(a0), 2000.0f, 1500.0f * std::sin(a0));
            glEnd();
        }
    }
    glDisable(GL_TEXTURE_2D);
    // A 20 m gate pole of radius 2, 40 m to the boarder's left.
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, -40.0f);
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    glColor3f(1.0f, 0.0f, 0.0f);
    GLUquadric* quadric = gluNewQuadric();
    gluCylinder(quadric, 2.0, 2.0, 20.0, 10, 2);
    gluDeleteQuadric(quadric);
    glPopMatrix();
    // The boarder's marker line.
    glBegin(GL_LINES);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, 10.0f, 0.0f);
    glEnd();
    glPopAttrib();
}

void placeModel() {
    if (options.mode == "boarder") {
        glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
        glRotatef(static_cast<float>(options.heading), 0.0f, 0.0f, 1.0f);
    } else if (options.mode == "start") {
        glRotatef(-90.0f, 0.0f, 1.0f, 0.0f);
        glScalef(5.0f, 5.0f, 5.0f);
    } else if (options.mode == "finish") {
        glTranslatef(0.0f, 70.0f, 0.0f);
        glRotatef(-90.0f, 0.0f, 1.0f, 0.0f);
        glScalef(5.0f, 5.0f, 5.0f);
    }
}

void writePicture() {
    const int w = options.width;
    const int h = options.height;
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    FILE* out = std::fopen(options.outFile.c_str(), "wb");
    if (!out) {
        std::perror(options.outFile.c_str());
        std::exit(1);
    }
    std::fprintf(out, "P6\n%d %d\n255\n", w, h);
    for (int row = h - 1; row >= 0; --row)  // GL rows run bottom-up, PPM rows top-down
        std::fwrite(pixels.data() + static_cast<size_t>(row) * w * 3, 1, static_cast<size_t>(w) * 3,
                    out);
    std::fclose(out);
}

void display() {
    glViewport(0, 0, options.width, options.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(20.0, static_cast<double>(options.width) / options.height, 0.1, 10.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0.45f, 0.62f, 0.85f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glDepthFunc(GL_LEQUAL);
    glScalef(0.0005f, 0.0005f, 0.0005f);

    double targetY = 8.0;
    if (options.mode == "start")
        targetY = 14.0;
    if (options.mode == "finish")
        targetY = 40.0;
    const double az = options.azimuth * M_PI / 180.0;
    const double el = options.elevation * M_PI / 180.0;
    const double d = options.distance;
    const double eyeX = -d * std::cos(el) * std::cos(az);
    const double eyeZ = d * std::cos(el) * std::sin(az);
    const double eyeY = targetY + d * std::sin(el);
    double look[6] = {eyeX, eyeY, eyeZ, 0.0, targetY, 0.0};
    if (const char* text = std::getenv("IVSHOT_EYE"))  // "x y z centreX centreY centreZ"
        std::sscanf(text, "%lf %lf %lf %lf %lf %lf", &look[0], &look[1], &look[2], &look[3],
                    &look[4], &look[5]);
    gluLookAt(look[0], look[1], look[2], look[3], look[4], look[5], 0.0, 1.0, 0.0);

    drawReferences();

    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    placeModel();
    SbViewportRegion viewport(static_cast<short>(options.width),
                              static_cast<short>(options.height));
    SoGLRenderAction action(viewport);
    action.apply(sceneRoot);
    glPopAttrib();
    glPopMatrix();

    glFinish();
    writePicture();
    std::exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: ivshot <boarder|start|finish|plain> <model.iv> <out.ppm> [distance] "
                     "[azimuth] [elevation] [heading] [width] [height]\n");
        return 2;
    }
    options.mode = argv[1];
    options.modelFile = argv[2];
    options.outFile = argv[3];
    if (argc > 4)
        options.distance = std::atof(argv[4]);
    if (argc > 5)
        options.azimuth = std::atof(argv[5]);
    if (argc > 6)
        options.elevation = std::atof(argv[6]);
    if (argc > 7)
        options.heading = std::atof(argv[7]);
    if (argc > 8)
        options.width = std::atoi(argv[8]);
    if (argc > 9)
        options.height = std::atoi(argv[9]);

    SoDB::init();
    SoInput input;
    if (!input.openFile(options.modelFile.c_str()))
        return 1;
    SoSeparator* model = SoDB::readAll(&input);
    input.closeFile();
    if (!model) {
        std::fprintf(stderr, "could not read %s\n", options.modelFile.c_str());
        return 1;
    }
    sceneRoot = new SoSeparator;
    sceneRoot->ref();
    SoSeparator* modelGroup = new SoSeparator;
    if (options.mode == "boarder") {
        SoTransform* transform = new SoTransform;
        transform->translation.setValue(-19.0f, 0.0f, 0.0f);
        transform->scaleFactor.setValue(2.0f, 2.0f, 2.0f);
        modelGroup->addChild(transform);
    }
    modelGroup->addChild(model);
    sceneRoot->addChild(modelGroup);

    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DEPTH | GLUT_DOUBLE);
    glutInitWindowSize(options.width, options.height);
    glutCreateWindow("ivshot");
    glutDisplayFunc(display);
    glutMainLoop();
    return 0;
}
