#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "lib/str.h"
#include "tests/str_text.h"

namespace {

// False where this process cannot list PATH at all: a 32-bit build under
// qemu-user gets the 64-bit directory offsets of the host's file system,
// which its readdir refuses with EOVERFLOW (on the phone they fit).
bool can_list(const char* path) {
  DIR* listing = opendir(path);
  if (listing == nullptr) return true;
  errno = 0;
  bool listed = readdir(listing) != nullptr || errno != EOVERFLOW;
  closedir(listing);
  return listed;
}

// Each test works in a fresh temporary folder, which is also the working
// directory, so that relative paths land inside it.
class StrFile : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ruk-str-file-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    ASSERT_NE(getcwd(previous_, sizeof previous_), nullptr);
    ASSERT_EQ(chdir(pattern), 0);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(previous_), 0);
    std::filesystem::remove_all(folder_);
  }

  static std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }

  static int open_descriptors() {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    while (readdir(d) != nullptr) ++n;
    closedir(d);
    return n;
  }

  std::string folder_;
  char previous_[4096];
};

TEST_F(StrFile, WriteCreatesTheMissingDirectoriesAndReadGivesTheBytesBack) {
  std::string content("line\r\n\0\xff end", 12);
  EXPECT_TRUE(bytes(content).write_file("a/b/c.txt"));
  EXPECT_TRUE(std::filesystem::is_directory("a/b"));
  EXPECT_EQ(slurp("a/b/c.txt"), content);
  EXPECT_EQ(text(str::read_file("a/b/c.txt")), content);

  std::string absolute = folder_ + "//d//e.txt";
  EXPECT_TRUE(str("x").write_file(absolute.c_str()));
  EXPECT_EQ(slurp("d/e.txt"), "x");

  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
  EXPECT_TRUE(bytes("xx" + big).substr(2, -1).write_file("a/b/c.txt"));
  EXPECT_EQ(text(str::read_file("a/b/c.txt")), big);
  EXPECT_TRUE(str("short").write_file("a/b/c.txt"));
  EXPECT_EQ(slurp("a/b/c.txt"), "short") << "the old content is cut off";
  EXPECT_TRUE(str().write_file("a/b/c.txt"));
  EXPECT_EQ(str::read_file("a/b/c.txt").ref, nullptr);
}

TEST_F(StrFile, WriteFailsWithoutAWayToTheFile) {
  ASSERT_TRUE(str("plain").write_file("plain"));
  EXPECT_FALSE(str("x").write_file("plain/x")) << "a file stands where a directory should";
  EXPECT_FALSE(str("x").write_file("dir/"));
  EXPECT_FALSE(str("x").write_file(str()));
  EXPECT_FALSE(str("x").write_file(str("y\0z", 3))) << "a zero byte would cut the path";
  EXPECT_FALSE(std::filesystem::exists("y"));
  EXPECT_FALSE(str("x").write_file("/dev/full")) << "a short write is a failure";
}

TEST_F(StrFile, ReadOfWhatIsNoReadableFileIsEmpty) {
  EXPECT_EQ(str::read_file("missing").ref, nullptr);
  EXPECT_EQ(str::read_file(str()).ref, nullptr);
  ASSERT_EQ(mkdir("dir", 0777), 0);
  EXPECT_EQ(str::read_file("dir").ref, nullptr);
  ASSERT_TRUE(str("z").write_file("z"));
  EXPECT_EQ(str::read_file(str("z\0q", 3)).ref, nullptr);
}

TEST_F(StrFile, ReadOfAFileTooLargeForAStringIsEmpty) {
  int fd = open("huge", O_WRONLY | O_CREAT, 0666);
  ASSERT_GE(fd, 0);
  // Sparse: takes no room. The 64-bit call, so that a 32-bit build can make
  // it too.
  ASSERT_EQ(ftruncate64(fd, 3LL << 30), 0);
  close(fd);
  EXPECT_EQ(str::read_file("huge").ref, nullptr);
}

TEST_F(StrFile, ReadOfAFileWithoutAReportedSizeTakesEveryChunk) {
  ASSERT_EQ(mkfifo("pipe", 0666), 0);
  std::string sent(5000, 'p');
  sent[2048] = 'q';
  std::thread writer([&] {
    std::ofstream out("pipe", std::ios::binary);
    out << sent;
  });
  str received = str::read_file("pipe");
  writer.join();
  EXPECT_EQ(text(received), sent);
}

TEST_F(StrFile, ListingWithOrWithoutTrailingSlashIsTheSameAndRemoving) {
  if (!can_list(".") || !can_list("/")) {
    GTEST_SKIP() << "readdir fails with EOVERFLOW here (a 32-bit build under qemu-user on a "
                    "file system with 64-bit directory offsets)";
  }
  ASSERT_TRUE(str("1").write_file("list/one"));
  ASSERT_TRUE(str("2").write_file("list/two/x"));
  std::string listing = text(str::list_directory("list"));
  EXPECT_EQ(text(str::list_directory("list/")), listing);
  std::multiset<std::string> names;
  std::stringstream lines(listing);
  for (std::string line; std::getline(lines, line, '\n');) {
    ASSERT_FALSE(line.empty());
    ASSERT_EQ(line.back(), '\r');
    names.insert(line.substr(0, line.size() - 1));
  }
  EXPECT_EQ(names, (std::multiset<std::string>{".", "..", "one", "two"}));
  EXPECT_EQ(str::list_directory("nothing").ref, nullptr);
  EXPECT_EQ(str::list_directory(str()).ref, nullptr);
  EXPECT_NE(text(str::list_directory("/")).find("..\r\n"), std::string::npos)
      << "the root keeps its slash";

  EXPECT_EQ(str::remove_file("list/one"), 0);
  EXPECT_EQ(text(str::list_directory("list")).find("one"), std::string::npos);
  EXPECT_EQ(str::remove_file("list/one"), -1);
  EXPECT_EQ(str::remove_file(str()), -1);
}

TEST_F(StrFile, NoDescriptorStaysOpenOnAnyPath) {
  int before = open_descriptors();
  str("x").write_file("ok/f");
  str("x").write_file("ok/f/g");
  str("x").write_file("/dev/full");
  str::read_file("ok/f");
  str::read_file("ok");
  str::read_file("missing");
  str::list_directory("ok");
  str::list_directory("missing");
  EXPECT_EQ(open_descriptors(), before);
}

}  // namespace
