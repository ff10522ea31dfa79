#include <gtest/gtest.h>

#include <filesystem>

#include "platform_child.h"

namespace fs = std::filesystem;

TEST(MediaHost, RunsTheEntryOfTheLibraryItIsGiven)
{
  ChildResult child = run_child({TOLVANE_MEDIA_HOST, HOST_PROBE});
  EXPECT_EQ(child.status, 0);
  EXPECT_EQ(child.out, "probe ran\n");
  EXPECT_EQ(child.err, "");
}

TEST(MediaHost, ExitsOneWithTheLoaderMessageWhenTheLibraryIsMissing)
{
  ChildResult child = run_child({TOLVANE_MEDIA_HOST, "/nonexistent/libTOLVANEMedia.so"});
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.out, "");
  EXPECT_NE(child.err.find("/nonexistent/libTOLVANEMedia.so"), std::string::npos);
  EXPECT_EQ(child.err.find('\n'), child.err.size() - 1);
}

TEST(MediaHost, ExitsOneWhenTheLibraryLacksTheEntry)
{
  ChildResult child = run_child({TOLVANE_MEDIA_HOST, PLATFORM_LIBRARY});
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.out, "");
  EXPECT_NE(child.err.find("tolvane_media_run"), std::string::npos);
}

TEST(MediaHost, ExitsSixtyFourWithUsageOnMoreThanOneArgument)
{
  ChildResult child = run_child({TOLVANE_MEDIA_HOST, "a", "b"});
  EXPECT_EQ(child.status, 64);
  EXPECT_EQ(child.out, "");
  EXPECT_EQ(child.err, "usage: tolvane-media-host [library]\n");
}

TEST(MediaHost, FindsTheLibraryInTheLibFolderBesideItsOwn)
{
  char pattern[] = "/tmp/platform-host-XXXXXX";
  fs::path root = mkdtemp(pattern);
  fs::create_directories(root / "bin");
  fs::create_directories(root / "lib");
  fs::copy_file(TOLVANE_MEDIA_HOST, root / "bin/tolvane-media-host");
  fs::copy_file(HOST_PROBE, root / "lib/libTOLVANEMedia.so");

  ChildResult child = run_child({root / "bin/tolvane-media-host"});
  fs::remove_all(root);
  EXPECT_EQ(child.status, 0);
  EXPECT_EQ(child.out, "probe ran\n");
}
