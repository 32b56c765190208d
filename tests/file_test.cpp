// Reading files: what a missing or short file delivers.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/file.h"

namespace {

TEST(FileTest, MissingFileDeliversNothingAndWritesNothing) {
    BFile file("no/such/file.tga", B_READ_ONLY);
    EXPECT_EQ(file.InitCheck(), B_NO_INIT);
    std::vector<char> buffer(64, 'x');
    EXPECT_EQ(file.Read(buffer.data(), buffer.size()), 0);
    EXPECT_EQ(buffer, std::vector<char>(64, 'x'));
}

TEST(FileTest, ReadsGoOnSequentiallyFromARelativePathAndStopAtTheEnd) {
    std::string here(4096, '\0');
    ASSERT_NE(getcwd(here.data(), here.size()), nullptr);
    ASSERT_EQ(chdir(::testing::TempDir().c_str()), 0);
    std::ofstream("short.bin") << "0123456789";
    BFile file("short.bin", B_READ_ONLY);
    ASSERT_EQ(chdir(here.c_str()), 0);
    ASSERT_EQ(file.InitCheck(), B_OK);
    char buffer[8] = "-------";
    EXPECT_EQ(file.Read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(file.Read(buffer, 8), 6);
    EXPECT_EQ(std::string(buffer, 8), std::string("456789-") + '\0');
    EXPECT_EQ(file.Read(buffer, 8), 0);
}

} // namespace
