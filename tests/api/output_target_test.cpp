// What the output path names decides what a merge replaces: a link is followed and the file it
// leads to is replaced (the link stays a link); a folder, a device or a pipe is refused and left
// as it was.
#include "kq_out_pdfmerge.h"
#include "merge_tools.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using fixtures::read_file;

void put_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Two one-page inputs in a fresh folder, and the bytes their merge gives.
struct inputs {
  std::string dir;
  std::string a;
  std::string b;
  std::string merged;

  explicit inputs(const std::string& name)
      : dir(merge_tools::fresh_dir(name)), a(dir + "/a.pdf"), b(dir + "/b.pdf") {
    put_file(a, fixtures::labelled_pdf(1, "A"));
    put_file(b, fixtures::labelled_pdf(1, "B"));
    const std::string reference = merge_tools::fresh_dir(name + "_reference") + "/out.pdf";
    EXPECT_EQ(pdfmerge_two(a.c_str(), b.c_str(), reference.c_str()), 0) << pdfmerge_last_error();
    merged = read_file(reference);
  }

  int merge_into(const std::string& out) const {
    return pdfmerge_two(a.c_str(), b.c_str(), out.c_str());
  }
};

#ifndef _WIN32
struct link_case {
  std::string name;
  std::vector<std::pair<std::string, std::string>> links; // (link, what it points to)
  std::string out;                                        // the path given to the merge
  std::string target;                                     // the file that must receive it
  bool target_exists;
};

TEST(OutputTarget, LinksAreFollowedAndStay) {
  const link_case cases[] = {
      {"absolute", {{"out.pdf", "@/real/target.pdf"}}, "out.pdf", "real/target.pdf", true},
      {"relative", {{"out.pdf", "real/target.pdf"}}, "out.pdf", "real/target.pdf", true},
      {"relative_from_its_folder",
       {{"links/out.pdf", "../real/target.pdf"}},
       "links/out.pdf",
       "real/target.pdf",
       true},
      {"chain",
       {{"out.pdf", "links/second.pdf"}, {"links/second.pdf", "../real/target.pdf"}},
       "out.pdf",
       "real/target.pdf",
       true},
      {"dangling", {{"out.pdf", "real/new.pdf"}}, "out.pdf", "real/new.pdf", false},
  };
  for (const link_case& c : cases) {
    SCOPED_TRACE(c.name);
    const inputs in("link_" + c.name);
    const std::string root = merge_tools::fresh_dir("link_" + c.name + "_tree");
    fs::create_directories(root + "/real");
    fs::create_directories(root + "/links");
    if (c.target_exists) {
      put_file(root + "/" + c.target, "old target");
      fs::permissions(root + "/" + c.target, fs::perms(0640));
    }
    for (const auto& [link, to] : c.links)
      fs::create_symlink(to.front() == '@' ? root + to.substr(1) : to, root + "/" + link);

    ASSERT_EQ(in.merge_into(root + "/" + c.out), 0) << pdfmerge_last_error();
    EXPECT_EQ(read_file(root + "/" + c.target), in.merged);
    for (const auto& [link, to] : c.links) EXPECT_TRUE(fs::is_symlink(root + "/" + link)) << link;
    if (c.target_exists) {
      EXPECT_EQ(fs::status(root + "/" + c.target).permissions(), fs::perms(0640));
    }
    // No temporary file is left in either folder.
    EXPECT_EQ(merge_tools::files_in(root + "/real"),
              std::vector<std::string>{fs::path(c.target).filename().string()});
  }
}

TEST(OutputTarget, LinkLoopIsRefused) {
  const inputs in("link_loop");
  const std::string root = merge_tools::fresh_dir("link_loop_tree");
  fs::create_symlink("second.pdf", root + "/out.pdf");
  fs::create_symlink("out.pdf", root + "/second.pdf");
  EXPECT_EQ(in.merge_into(root + "/out.pdf"), -1);
  EXPECT_EQ(std::string(pdfmerge_last_error()), "cannot write " + root + "/out.pdf");
  EXPECT_TRUE(fs::is_symlink(root + "/out.pdf"));
  EXPECT_EQ(merge_tools::files_in(root), (std::vector<std::string>{"out.pdf", "second.pdf"}));
}

// Each maker returns false when this process may not make that kind of file.
struct special_case {
  std::string name;
  bool (*make)(const std::string& path);
  fs::file_type type;
};

bool make_folder(const std::string& path) {
  return fs::create_directory(path);
}
bool make_fifo(const std::string& path) {
  return mkfifo(path.c_str(), 0600) == 0;
}
// A null device of its own, so that a faulty merge replaces nothing of the system's.
bool make_null_device(const std::string& path) {
  return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
}

TEST(OutputTarget, NotARegularFileIsRefusedAndLeftAlone) {
  const special_case cases[] = {
      {"folder", make_folder, fs::file_type::directory},
      {"fifo", make_fifo, fs::file_type::fifo},
      {"device", make_null_device, fs::file_type::character},
  };
  for (const special_case& c : cases) {
    for (const bool through_link : {false, true}) {
      SCOPED_TRACE(c.name + (through_link ? " through a link" : ""));
      const inputs in("special_" + c.name + (through_link ? "_link" : ""));
      const std::string thing = in.dir + "/" + c.name;
      if (!c.make(thing)) {
        std::printf("cannot make a %s here: case skipped\n", c.name.c_str());
        continue;
      }
      std::string out = thing;
      if (through_link) {
        out = in.dir + "/out.pdf";
        fs::create_symlink(c.name, out);
      }
      EXPECT_EQ(in.merge_into(out), -1);
      EXPECT_EQ(std::string(pdfmerge_last_error()), "output is not a regular file: " + out);
      EXPECT_EQ(fs::symlink_status(thing).type(), c.type);
    }
  }
}
#endif

#ifdef _WIN32
// Device names lead to devices in every folder; a merge must not try to replace them.
TEST(OutputTarget, DeviceNamesAreRefused) {
  const inputs in("device_names");
  const std::string outs[] = {"NUL", "nul", in.dir + "\\NUL", "CON", "\\\\.\\NUL"};
  for (const std::string& out : outs) {
    SCOPED_TRACE(out);
    EXPECT_EQ(in.merge_into(out), -1);
    EXPECT_EQ(std::string(pdfmerge_last_error()), "output is not a regular file: " + out);
  }
  EXPECT_EQ(merge_tools::files_in(in.dir), (std::vector<std::string>{"a.pdf", "b.pdf"}));
}

TEST(OutputTarget, FolderIsRefused) {
  const inputs in("folder_output");
  const std::string out = in.dir + "\\out.pdf";
  fs::create_directories(out + "\\inside");
  EXPECT_EQ(in.merge_into(out), -1);
  EXPECT_EQ(std::string(pdfmerge_last_error()), "output is not a regular file: " + out);
  EXPECT_TRUE(fs::is_directory(out + "\\inside"));
}

// A symbolic link (a reparse point) is followed; the link stays.
TEST(OutputTarget, LinkIsFollowed) {
  const inputs in("windows_link");
  const std::string target = merge_tools::fresh_dir("windows_link_real") + "\\target.pdf";
  put_file(target, "old target");
  const std::string link = in.dir + "\\out.pdf";
  // Unprivileged creation needs developer mode on Windows 10 and later.
  const DWORD flags = 0x2; // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  if (!CreateSymbolicLinkW(fs::path(link).wstring().c_str(), fs::path(target).wstring().c_str(),
                           flags))
    GTEST_SKIP() << "symbolic links cannot be made here: error " << GetLastError();
  // Some hosts (wine 8) report success and make no link.
  const DWORD made = GetFileAttributesW(fs::path(link).wstring().c_str());
  if (made == INVALID_FILE_ATTRIBUTES || !(made & FILE_ATTRIBUTE_REPARSE_POINT))
    GTEST_SKIP() << "symbolic links cannot be made here: none was made";
  ASSERT_EQ(in.merge_into(link), 0) << pdfmerge_last_error();
  EXPECT_EQ(read_file(target), in.merged);
  const DWORD after = GetFileAttributesW(fs::path(link).wstring().c_str());
  EXPECT_TRUE(after != INVALID_FILE_ATTRIBUTES && (after & FILE_ATTRIBUTE_REPARSE_POINT));
}
#endif

} // namespace
