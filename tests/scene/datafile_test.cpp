// readDataFile and nonRegularFileKind on every kind of thing that can stand where a data file
// should: none may block, and only a regular file is read.
#include "scene/datafile.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <cstring>
#include <string>

#include "support/game_probe.h"

TEST(DataFile, ReadsOnlyRegularFilesAndNeverBlocks) {
    TempWorkDir dir;
    writeFile("model.iv", "abc");
    writeFile("empty.iv", "");
    writeFile("large.iv", std::string(11, 'x'));
    ASSERT_EQ(mkfifo("fifo.iv", 0600), 0);
    ASSERT_EQ(symlink("fifo.iv", "link.iv"), 0);
    ASSERT_EQ(symlink("model.iv", "good-link.iv"), 0);
    ASSERT_TRUE(QDir().mkdir("folder.iv"));
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
        {"missing.iv", DataFileStatus::Missing, "", ""},
        {"large.iv", DataFileStatus::TooLarge, "", ""},
        {"fifo.iv", DataFileStatus::NotRegular, "", "a FIFO"},
        {"link.iv", DataFileStatus::NotRegular, "", "a FIFO"},
        {"folder.iv", DataFileStatus::NotRegular, "", "a directory"},
        {"socket.iv", DataFileStatus::NotRegular, "", "a socket"},
        {"/dev/zero", DataFileStatus::NotRegular, "", "a device"},
        // Files under /proc say they are empty however much they would give: read as empty.
        {"/proc/self/status", DataFileStatus::Read, "", ""},
    };
    for (const auto& c : cases) {
        std::string bytes = "left over";
        EXPECT_EQ(readDataFile(c.path, 10, bytes), c.status) << c.path;
        EXPECT_EQ(bytes, c.bytes) << c.path;
        EXPECT_EQ(nonRegularFileKind(c.path), c.kind) << c.path;
    }
    EXPECT_EQ(dataFileProblem(DataFileStatus::NotRegular, "fifo.iv", 10),
              "not a regular file (a FIFO)");
    EXPECT_EQ(dataFileProblem(DataFileStatus::TooLarge, "large.iv", 10), "larger than 10 bytes");
    close(server);
}
