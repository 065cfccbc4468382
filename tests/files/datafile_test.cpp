// The file check on every kind of thing that can stand where a data file should: none may block,
// only a regular file within the bound passes, and only such a file is read.
#include "files/datafile.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

// A fresh temporary folder as the working directory while it lives; the relative paths of the
// cases keep a socket's name within its length limit.
class TempWorkDir {
public:
    TempWorkDir() {
        char name[] = "/tmp/datafile_test-XXXXXX";
        folder_ = mkdtemp(name) != nullptr ? name : "";
        if (getcwd(previous_, sizeof previous_) == nullptr || folder_.empty() ||
            chdir(folder_.c_str()) != 0) {
            ADD_FAILURE() << "no temporary working directory";
        }
    }
    ~TempWorkDir() {
        if (chdir(previous_) == 0 && !folder_.empty()) {
            std::system(("rm -rf '" + folder_ + "'").c_str());
        }
    }

private:
    std::string folder_;
    char previous_[4096] = {};
};

void writeFile(const char* name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
}

}  // namespace

TEST(DataFile, PassesOnlyRegularFilesWithinTheBoundAndNeverBlocks) {
    TempWorkDir dir;
    writeFile("model.iv", "abc");
    writeFile("empty.iv", "");
    writeFile("bound.iv", std::string(10, 'x'));
    writeFile("large.iv", std::string(11, 'x'));
    ASSERT_EQ(mkfifo("fifo.iv", 0600), 0);
    ASSERT_EQ(symlink("fifo.iv", "link.iv"), 0);
    ASSERT_EQ(symlink("model.iv", "good-link.iv"), 0);
    ASSERT_EQ(symlink("nowhere.iv", "dangling.iv"), 0);
    ASSERT_EQ(mkdir("folder.iv", 0700), 0);
    const int server = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(server, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "socket.iv");
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const struct {
        const char* path;
        DataFileStatus status;
        const char* bytes;
        const char* kind;  // nonRegularFileKind
    } cases[] = {
        {"model.iv", DataFileStatus::Read, "abc", ""},
        {"good-link.iv", DataFileStatus::Read, "abc", ""},
        {"empty.iv", DataFileStatus::Read, "", ""},
        {"bound.iv", DataFileStatus::Read, "xxxxxxxxxx", ""},
        {"large.iv", DataFileStatus::TooLarge, "", ""},
        {"missing.iv", DataFileStatus::Missing, "", ""},
        {"dangling.iv", DataFileStatus::Missing, "", ""},
        {"fifo.iv", DataFileStatus::NotRegular, "", "a FIFO"},
        {"link.iv", DataFileStatus::NotRegular, "", "a FIFO"},
        {"folder.iv", DataFileStatus::NotRegular, "", "a directory"},
        {"socket.iv", DataFileStatus::NotRegular, "", "a socket"},
        {"/dev/zero", DataFileStatus::NotRegular, "", "a device"},
        // Files under /proc say they are empty however much they would give: read as empty.
        {"/proc/self/status", DataFileStatus::Read, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string bytes = "left over";
        EXPECT_EQ(readDataFile(c.path, 10, bytes), c.status);
        EXPECT_EQ(bytes, c.bytes);
        long long size = -1;
        EXPECT_EQ(checkDataFile(c.path, 10, &size), c.status);
        EXPECT_EQ(size, static_cast<long long>(std::strlen(c.bytes)));
        EXPECT_EQ(nonRegularFileKind(c.path), c.kind);
    }
    EXPECT_EQ(dataFileProblem(DataFileStatus::NotRegular, "fifo.iv", 10),
              "not a regular file (a FIFO)");
    EXPECT_EQ(dataFileProblem(DataFileStatus::TooLarge, "large.iv", 10), "larger than 10 bytes");
    EXPECT_EQ(dataFileProblem(DataFileStatus::Read, "model.iv", 10), "");
    close(server);
}

// The check opens and closes: a thousand checks leave no descriptor behind.
TEST(DataFile, LeavesNoDescriptorOpen) {
    TempWorkDir dir;
    writeFile("model.iv", "abc");
    writeFile("large.iv", std::string(11, 'x'));
    const int before = dup(0);
    ASSERT_GE(before, 0);
    close(before);
    std::string bytes;
    for (int i = 0; i < 1000; ++i) {
        checkDataFile("model.iv", 10);
        checkDataFile("large.iv", 10);
        readDataFile("model.iv", 10, bytes);
    }
    const int after = dup(0);
    EXPECT_EQ(after, before);
    close(after);
}
