#include "core/file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "tests/test_util.h"

namespace {

class FileWriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_faults::Reset();
    dir_ = scratch_.Path();
    target_ = dir_ + "/file";
  }
  void TearDown() override { file_faults::Reset(); }
  ScratchDir scratch_;
  std::string dir_;
  std::string target_;
};

TEST_F(FileWriteTest, FailedWritesSyncsAndRenamesLeaveTheOldFileAndNoTemporary) {
  ASSERT_TRUE(WriteFileWhole(target_.c_str(), "old\n", 4));
  for (file_faults::Op op : {file_faults::kWrite, file_faults::kSync, file_faults::kRename}) {
    file_faults::Reset();
    file_faults::FailNth(op, 1, ENOSPC);
    HFileWriter file;
    ASSERT_TRUE(file.Open(target_.c_str()));
    file.Write(std::string(100000, 'x').c_str());
    EXPECT_FALSE(file.Commit()) << op;
    EXPECT_EQ(ENOSPC, file.Error()) << op;
    EXPECT_EQ("old\n", ReadFile(target_)) << op;
    EXPECT_NE(0, access((target_ + HFileWriter::kTempSuffix).c_str(), F_OK)) << op;
  }
}

TEST_F(FileWriteTest, WriteLoopResumesWhereAShortWriteStoppedAndCountsIt) {
  const int fd = open(target_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(6u, WriteFully(fd, "line1\n", 6));
  file_faults::FailNth(file_faults::kWrite, 1, ENOSPC, true);
  const size_t done = WriteFully(fd, "line2\n", 6);
  EXPECT_EQ(3u, done);  // half reached the file
  EXPECT_EQ(ENOSPC, errno);
  EXPECT_EQ(3u, WriteFully(fd, "line2\n" + done, 6 - done));
  close(fd);
  EXPECT_EQ("line1\nline2\n", ReadFile(target_));
}

TEST_F(FileWriteTest, ModesAreKeptOrGiven) {
  ASSERT_TRUE(WriteFileWhole(target_.c_str(), "a", 1, 0640));
  struct stat info;
  ASSERT_EQ(0, stat(target_.c_str(), &info));
  EXPECT_EQ(0640u, info.st_mode & 07777);
  ASSERT_TRUE(WriteFileWhole(target_.c_str(), "b", 1));
  ASSERT_EQ(0, stat(target_.c_str(), &info));
  EXPECT_EQ(0640u, info.st_mode & 07777);
  ASSERT_TRUE(WriteFileWhole(target_.c_str(), "c", 1, 0600, true));
  ASSERT_EQ(0, stat(target_.c_str(), &info));
  EXPECT_EQ(0600u, info.st_mode & 07777);
}

TEST_F(FileWriteTest, DroppingUnsyncedDataCutsFilesBackToTheirLastSync) {
  const std::string log = dir_ + "/log";
  ASSERT_TRUE(WriteFileWhole(log.c_str(), "kept\n", 5));
  file_faults::TrackUnsynced();
  const int fd = open(log.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(fd, 0);
  WriteFully(fd, "synced\n", 7);
  ASSERT_TRUE(SyncFile(fd));
  WriteFully(fd, "lost\n", 5);
  close(fd);
  HFileWriter unsynced;
  ASSERT_TRUE(unsynced.Open(target_.c_str()));
  unsynced.Write("never synced");
  ASSERT_TRUE(unsynced.Finish(false));
  ASSERT_TRUE(RenameFile(unsynced.TempPath().CStr(), target_.c_str()));
  file_faults::DropUnsynced();
  EXPECT_EQ("kept\nsynced\n", ReadFile(log));
  EXPECT_EQ("", ReadFile(target_));
}

}  // namespace
