// Reading files: what a missing, short or long file delivers.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/file.h"

namespace {

std::string write_temp(const std::string& name, const std::string& bytes) {
    std::string path = ::testing::TempDir() + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

TEST(FileTest, MissingFileDeliversNothingAndWritesNothing) {
    BFile file("no/such/file.tga", B_READ_ONLY);
    EXPECT_EQ(file.InitCheck(), B_NO_INIT);
    std::vector<char> buffer(64, 'x');
    EXPECT_EQ(file.Read(buffer.data(), buffer.size()), 0);
    EXPECT_EQ(buffer, std::vector<char>(64, 'x'));
}

TEST(FileTest, ReadsGoOnSequentiallyAndStopAtTheEnd) {
    std::string path = write_temp("short.bin", "0123456789");
    BFile file(path.c_str(), B_READ_ONLY);
    ASSERT_EQ(file.InitCheck(), B_OK);
    char buffer[8] = "-------";
    EXPECT_EQ(file.Read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(file.Read(buffer, 8), 6);
    EXPECT_EQ(std::string(buffer, 8), std::string("456789-") + '\0');
    EXPECT_EQ(file.Read(buffer, 8), 0);
    std::remove(path.c_str());
}

TEST(FileTest, PathsAreRelativeToTheWorkingDirectory) {
    write_temp("relative.bin", "abc");
    std::string cwd = ::testing::TempDir();
    std::string here(4096, '\0');
    ASSERT_NE(getcwd(here.data(), here.size()), nullptr);
    ASSERT_EQ(chdir(cwd.c_str()), 0);
    BFile file("relative.bin", B_READ_ONLY);
    char buffer[3];
    EXPECT_EQ(file.Read(buffer, 3), 3);
    EXPECT_EQ(chdir(here.c_str()), 0);
}

} // namespace
