#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "framework/exceptions.h"
#include "framework/files.h"
#include "tests/framework/framework_test_env.h"
#include "tests/framework/temp_home.h"

namespace {

std::string Normal(const char* path) { return Narrow(NormalizeFolderPath(Wide(path))); }

std::vector<std::string> Names(const TStringArray& array) {
  std::vector<std::string> names;
  for (std::int32_t i = 0; i < array.Count(); ++i) names.push_back(Narrow(array[i]));
  return names;
}

TStringArray Patterns(std::initializer_list<const char*> texts) {
  TStringArray array;
  for (const char* text : texts) array.Append(Wide(text));
  return array;
}

TEST(FilePaths, NormalizeFolderPath) {
  EXPECT_EQ(Normal("/a//b/./c/../"), "/a/b/");
  EXPECT_EQ(Normal("/a/b"), "/a/b/");
  EXPECT_EQ(Normal(""), "");
  EXPECT_EQ(Normal("/"), "/");
  EXPECT_EQ(Normal("//"), "/");
  EXPECT_EQ(Normal("//srv///x//"), "/srv/x/");
  EXPECT_EQ(Normal("/a/././b"), "/a/b/");
  EXPECT_EQ(Normal("/a/b/../../c"), "/c/");
  // A relative path whose ".." has no folder before it stays as it was.
  EXPECT_EQ(Normal("../x"), "../x/");
  EXPECT_EQ(Normal("/../x"), "/../x/");
  // ".." only as a whole component.
  EXPECT_EQ(Normal("/a/..x/"), "/a/..x/");
  EXPECT_EQ(Normal("/a/x../"), "/a/x../");
  EXPECT_EQ(Normal("/a/x..y/../"), "/a/");
  EXPECT_EQ(Normal("/a/.hidden/"), "/a/.hidden/");
  // "\" is an ordinary character.
  EXPECT_EQ(Normal("/a\\b"), "/a\\b/");
}

TEST(FilePaths, FolderOperations) {
  TString folder = Wide("/a/b/");
  ParentFolder(folder);
  EXPECT_EQ(Narrow(folder), "/a/");
  ParentFolder(folder);
  EXPECT_EQ(Narrow(folder), "/");
  ParentFolder(folder);
  EXPECT_EQ(Narrow(folder), "/");
  TString relative = Wide("name");
  ParentFolder(relative);
  EXPECT_EQ(Narrow(relative), "name");

  EXPECT_EQ(Narrow(AppendPath(Wide("/a/"), Wide("b/../c"))), "/a/c/");
  EXPECT_EQ(Narrow(AppendPath(Wide("/a/"), TString())), "/a/");
  EXPECT_EQ(FolderDepth(Wide("/")), 0);
  EXPECT_EQ(FolderDepth(Wide("/a/")), 1);
  EXPECT_EQ(FolderDepth(Wide("/a/b/")), 2);
  EXPECT_EQ(PathSeparator(), u'/');
  EXPECT_TRUE(IsPathSeparator(u'/'));
  EXPECT_FALSE(IsPathSeparator(u'\\'));
  EXPECT_TRUE(IsInsideFolder(Wide("/a/"), Wide("/A/b.txt")));
  EXPECT_FALSE(IsInsideFolder(Wide("/a/"), Wide("/a/")));
  EXPECT_FALSE(IsInsideFolder(Wide("/a/"), Wide("/b/a/")));
  EXPECT_TRUE(PathEqualsNoCase(Wide("/X/y"), Wide("/x/Y")));
  EXPECT_TRUE(PathDiffersNoCase(Wide("/x/y"), Wide("/x/z")));
}

TEST(FilePaths, FileNamesAndExtensions) {
  EXPECT_EQ(Narrow(ExtractFileName(Wide("/a/b.txt"))), "b.txt");
  EXPECT_EQ(Narrow(ExtractFileName(Wide("name.txt"))), "name.txt");
  EXPECT_EQ(Narrow(ExtractFileName(Wide("/a/b/"))), "b/");
  EXPECT_EQ(Narrow(ExtractFileName(Wide("a\\b"))), "a\\b");
  EXPECT_EQ(Narrow(FileFolder(Wide("/a/b.txt"))), "/a/");
  EXPECT_EQ(Narrow(FileFolder(Wide("/x/x"))), "/x/");
  EXPECT_EQ(Narrow(FileFolder(Wide("b.txt"))), "");
  EXPECT_EQ(Narrow(RemoveFileExtension(Wide("/a/c.tar.gz"))), "/a/c.tar");
  // A dot in a folder name is not an extension.
  EXPECT_EQ(Narrow(RemoveFileExtension(Wide("/a.b/c"))), "/a.b/c");
  EXPECT_EQ(Narrow(RemoveFileExtension(Wide(".profile"))), ".profile");
  EXPECT_EQ(Narrow(RemoveFileExtension(Wide("x."))), "x");
}

TEST(FilePatterns, SettingsPatternsCompareFromTheEnd) {
  EXPECT_TRUE(MatchesAnyPattern(Wide("settings.XML"), Patterns({"*.xml"})));
  EXPECT_FALSE(MatchesAnyPattern(Wide("xml"), Patterns({"*.xml"})));
  EXPECT_TRUE(MatchesAnyPattern(Wide(".xml"), Patterns({"*.xml"})));
  EXPECT_FALSE(MatchesAnyPattern(Wide("a.xmlx"), Patterns({"*.xml"})));
  EXPECT_TRUE(MatchesAnyPattern(Wide("a.db"), Patterns({"*.xml", "*.db"})));
  EXPECT_TRUE(MatchesAnyPattern(Wide("anything"), Patterns({"*.*"})));
  EXPECT_TRUE(MatchesAnyPattern(Wide("anything"), Patterns({"*"})));
  EXPECT_FALSE(MatchesAnyPattern(Wide("a.xml"), TStringArray()));
}

TEST(FilePatterns, SearchWildcards) {
  EXPECT_TRUE(MatchesWildcard(Wide("README"), Wide("*.*")));
  EXPECT_TRUE(MatchesWildcard(Wide("a.TXT"), Wide("*.txt")));
  EXPECT_FALSE(MatchesWildcard(Wide("a.txt.bak"), Wide("*.txt")));
  EXPECT_TRUE(MatchesWildcard(Wide("abc"), Wide("a?c")));
  EXPECT_FALSE(MatchesWildcard(Wide("ac"), Wide("a?c")));
  EXPECT_TRUE(MatchesWildcard(Wide("tarvo-1-22"), Wide("Tarvo-*")));
  EXPECT_FALSE(MatchesWildcard(Wide("Tarvo"), Wide("Tarvo-*")));
  EXPECT_TRUE(MatchesWildcard(Wide("a-b-c.d"), Wide("*-*-*")));
  EXPECT_TRUE(MatchesWildcard(Wide(""), Wide("*")));
  EXPECT_TRUE(MatchesWildcard(Wide("x"), Wide("**")));
}

TEST(FolderSearches, FilesAndFoldersSorted) {
  const std::string root = FreshFolder("search");
  for (const char* name : {"b.xml", "A.XML", "c.db", "d.txt", "noext", "z.xml"}) {
    WriteTextFile(root + "/" + name, "x");
  }
  mkdir((root + "/sub.xml").c_str(), 0755);
  mkdir((root + "/Beta").c_str(), 0755);
  mkdir((root + "/alpha").c_str(), 0755);
  symlink((root + "/d.txt").c_str(), (root + "/link.xml").c_str());
  symlink((root + "/alpha").c_str(), (root + "/folderlink").c_str());
  const TString folder = Wide(root + "/");

  // Pattern by pattern (each once), names sorted; folders left out.
  EXPECT_EQ(Names(FindFiles(folder, Patterns({"*.xml", "*.db", "*.XML"}))),
            (std::vector<std::string>{"A.XML", "b.xml", "link.xml", "z.xml", "c.db"}));
  EXPECT_EQ(Names(FindFiles(folder, Patterns({"*.*"}))),
            (std::vector<std::string>{"A.XML", "b.xml", "c.db", "d.txt", "link.xml", "noext", "z.xml"}));
  EXPECT_TRUE(Names(FindFiles(folder, TStringArray())).empty());
  EXPECT_TRUE(Names(FindFiles(Wide(root + "/missing/"), Patterns({"*"}))).empty());
  EXPECT_EQ(Names(FindFolders(folder, Wide("*"))),
            (std::vector<std::string>{"Beta", "alpha", "folderlink", "sub.xml"}));
  EXPECT_EQ(Names(FindFolders(folder, Wide("*.xml"))), (std::vector<std::string>{"sub.xml"}));
}

TEST(FileStreams, WriteReadAndSize) {
  const std::string root = FreshFolder("files");
  const std::string path = root + "/data.bin";
  std::vector<std::string> notified;
  static std::vector<std::string>* sNotified;
  sNotified = &notified;
  TFileChangeNotifier previous =
      SetFileChangeNotifier([](const TString& folder) { sNotified->push_back(Narrow(folder)); });

  TFile file(Wide(path));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(file.Exists());
  EXPECT_EQ(file.Mode(), 3);
  ASSERT_TRUE(file.Open(TFile::kWrite));
  EXPECT_TRUE(file.IsOpenForWriting());
  file.Write("hello world", 11);
  EXPECT_EQ(file.Tell(), 11);
  EXPECT_EQ(file.Size(), 11);
  EXPECT_EQ(file.Tell(), 11);
  file.Flush();
  file.Close();
  EXPECT_EQ(notified, (std::vector<std::string>{root + "/"}));
  EXPECT_TRUE(file.Exists());
  EXPECT_EQ(file.Size(), 11);  // closed: a reader's view

  ASSERT_TRUE(file.Open(TFile::kRead));
  EXPECT_FALSE(file.IsOpenForWriting());
  char buffer[16] = {};
  file.Read(buffer, 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  try {
    file.Read(buffer, 10);
    ADD_FAILURE() << "read past the end";
  } catch (const TReadableException& e) {
    EXPECT_TRUE(e.Message().EqualsText(u"Unexpected end of file!"));
  }
  file.Close();
  EXPECT_EQ(notified.size(), 1u);  // reading changes nothing

  ASSERT_TRUE(file.Open(TFile::kAppend));
  file.Write("!", 1);
  file.Close();
  EXPECT_EQ(ReadTextFile(path), "hello world!");

  EXPECT_TRUE(file.Delete());
  EXPECT_FALSE(PathExists(path));
  EXPECT_FALSE(file.Delete());
  SetFileChangeNotifier(previous);
}

TEST(FileStreams, AFullDeviceRaisesTheWriteAndFlushTexts) {
  if (!PathExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TFile full(Wide("/dev/full"));
  ASSERT_TRUE(full.Open(TFile::kWrite));
  // Small writes stay in the stream's buffer until the flush fails.
  full.Write("x", 1);
  try {
    full.Flush();
    ADD_FAILURE() << "flush succeeded";
  } catch (const TReadableException& e) {
    EXPECT_TRUE(e.Message().EqualsText(u"Failed to flush the file to disk. Probably the disk is full."));
  }
  full.Close();
  ASSERT_TRUE(full.Open(TFile::kWrite));
  const std::string big(1 << 20, 'y');
  try {
    full.Write(big.data(), big.size());
    ADD_FAILURE() << "write succeeded";
  } catch (const TReadableException& e) {
    EXPECT_TRUE(e.Message().EqualsText(
        u"File I/O error: Please make sure that there is enough space available on the device!"));
  }
  full.Close();
}

TEST(FileStreams, ReadWriteModes) {
  const std::string root = FreshFolder("modes");
  const std::string path = root + "/rw";
  WriteTextFile(path, "old contents");
  TFile file(Wide(path));
  ASSERT_TRUE(file.Open(TFile::kReadWrite));  // truncates
  EXPECT_EQ(file.Size(), 0);
  file.Write("abc", 3);
  file.Close();
  ASSERT_TRUE(file.Open(TFile::kReadAppend));
  file.Write("def", 3);
  EXPECT_EQ(file.Size(), 6);
  file.Close();
  EXPECT_EQ(ReadTextFile(path), "abcdef");
  // Opening again closes the stream held before.
  ASSERT_TRUE(file.Open(TFile::kRead));
  ASSERT_TRUE(file.Open(TFile::kRead));
  char two[2];
  file.Read(two, 2);
  EXPECT_EQ(std::string(two, 2), "ab");
}

TEST(FileStreams, FailuresAndRefusals) {
  const std::string root = FreshFolder("filefail");
  TFile empty{TString()};
  EXPECT_FALSE(empty.Open(TFile::kRead));
  EXPECT_EQ(empty.Size(), 0);
  TFile missing(Wide(root + "/none/x"));
  EXPECT_FALSE(missing.Open(TFile::kWrite));
  EXPECT_EQ(missing.Size(), 0);
  EXPECT_FALSE(missing.Open(9));
  EXPECT_THROW(missing.Flush(), TReadableException);
  EXPECT_THROW(missing.Write("x", 1), TReadableException);
  // A folder is never deleted as a file.
  mkdir((root + "/folder").c_str(), 0755);
  TFile folder(Wide(root + "/folder"));
  EXPECT_FALSE(folder.Delete());
  EXPECT_TRUE(IsFolder(root + "/folder"));
  EXPECT_FALSE(folder.Exists());
  EXPECT_TRUE(FolderExists(Wide(root + "/folder")));
  EXPECT_FALSE(FileExists(Wide(root + "/folder")));
  EXPECT_FALSE(FolderExists(TString()));
  EXPECT_FALSE(FileExistsAt(TString()));
}

TEST(FolderTrees, CreateWithAndWithoutParents) {
  const std::string root = FreshFolder("create");
  EXPECT_FALSE(CreateFolder(Wide(root + "/a/b/c/"), false));
  EXPECT_TRUE(CreateFolder(Wide(root + "/a/b/c/"), true));
  EXPECT_TRUE(IsFolder(root + "/a/b/c"));
  EXPECT_TRUE(CreateFolder(Wide(root + "/a/b/c"), false));  // exists already
  WriteTextFile(root + "/file", "x");
  EXPECT_FALSE(CreateFolder(Wide(root + "/file/"), true));
  EXPECT_TRUE(CreatePrivateFolder(Wide(root + "/p/q/")));
  EXPECT_EQ(ModeOf(root + "/p/q"), 0700);
  // A link is not a private folder, even to one.
  symlink((root + "/p/q").c_str(), (root + "/p/link").c_str());
  EXPECT_FALSE(CreatePrivateFolder(Wide(root + "/p/link/")));
}

TEST(FolderTrees, TreeDeletionWithReadOnlyFilesAndAnOutsideLink) {
  const std::string root = FreshFolder("tree");
  const std::string outside = root + "/outside";
  mkdir(outside.c_str(), 0755);
  WriteTextFile(outside + "/keep.txt", "keep");
  const std::string tree = root + "/tree";
  mkdir(tree.c_str(), 0755);
  mkdir((tree + "/sub").c_str(), 0755);
  mkdir((tree + "/sub/deeper").c_str(), 0755);
  WriteTextFile(tree + "/ro.txt", "r");
  chmod((tree + "/ro.txt").c_str(), 0444);
  WriteTextFile(tree + "/sub/deeper/ro2.txt", "r");
  chmod((tree + "/sub/deeper/ro2.txt").c_str(), 0400);
  // A read-only folder with a file inside.
  mkdir((tree + "/locked").c_str(), 0755);
  WriteTextFile(tree + "/locked/x", "x");
  chmod((tree + "/locked").c_str(), 0555);
  ASSERT_EQ(symlink(outside.c_str(), (tree + "/sub/out").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/keep.txt").c_str(), (tree + "/filelink").c_str()), 0);
  ASSERT_EQ(symlink("/nowhere/at/all", (tree + "/dangling").c_str()), 0);
  ASSERT_EQ(mkfifo((tree + "/fifo").c_str(), 0600), 0);

  EXPECT_TRUE(DeleteFolderTree(Wide(tree)));
  EXPECT_FALSE(PathExists(tree));
  EXPECT_EQ(ReadTextFile(outside + "/keep.txt"), "keep");

  EXPECT_FALSE(DeleteFolderTree(Wide(tree)));
  EXPECT_FALSE(DeleteFolderTree(Wide("/")));
  EXPECT_FALSE(DeleteFolderTree(Wide("//")));
  EXPECT_FALSE(DeleteFolderTree(TString()));
}

TEST(FolderTrees, ALinkGivenAsTheTreeLosesOnlyTheLink) {
  const std::string root = FreshFolder("treelink");
  mkdir((root + "/target").c_str(), 0755);
  WriteTextFile(root + "/target/keep", "k");
  ASSERT_EQ(symlink((root + "/target").c_str(), (root + "/link").c_str()), 0);
  EXPECT_TRUE(DeleteFolderTree(Wide(root + "/link/")));
  EXPECT_FALSE(PathExists(root + "/link"));
  EXPECT_EQ(ReadTextFile(root + "/target/keep"), "k");
}

std::string TrashFiles() { return TestHome() + "/.local/share/Trash/files"; }
std::string TrashInfo() { return TestHome() + "/.local/share/Trash/info"; }

TEST(ShellOperations, DeletionGoesToTheTrash) {
  const std::string root = FreshFolder("trash");
  WriteTextFile(root + "/doc one.txt", "1");
  ASSERT_TRUE(DeleteFileToRecycleBin(Wide(root + "/doc one.txt")));
  EXPECT_FALSE(PathExists(root + "/doc one.txt"));
  EXPECT_EQ(ReadTextFile(TrashFiles() + "/doc one.txt"), "1");
  const std::string info = ReadTextFile(TrashInfo() + "/doc one.txt.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + root + "/doc%20one.txt\nDeletionDate=", 0), 0u) << info;
  // A second item of that name gets its own entry.
  WriteTextFile(root + "/doc one.txt", "2");
  ASSERT_TRUE(DeleteFileToRecycleBin(Wide(root + "/doc one.txt")));
  EXPECT_EQ(ReadTextFile(TrashFiles() + "/doc one.txt.2"), "2");
  EXPECT_TRUE(PathExists(TrashInfo() + "/doc one.txt.2.trashinfo"));
  // Folders too; nothing at all: false.
  mkdir((root + "/dir").c_str(), 0755);
  EXPECT_TRUE(DeleteFileToRecycleBin(Wide(root + "/dir/")));
  EXPECT_TRUE(IsFolder(TrashFiles() + "/dir"));
  EXPECT_FALSE(DeleteFileToRecycleBin(Wide(root + "/none")));
  EXPECT_EQ(ModeOf(TestHome() + "/.local/share/Trash/files"), 0700);
}

TEST(ShellOperations, CopyFilesAndFolders) {
  const std::string root = FreshFolder("copy");
  WriteTextFile(root + "/a.xml", "new");
  ASSERT_TRUE(CopyFileWithShell(Wide(root + "/a.xml"), Wide(root + "/b.xml")));
  EXPECT_EQ(ReadTextFile(root + "/b.xml"), "new");
  // Over an existing target: the old one goes to the trash first.
  WriteTextFile(root + "/c.xml", "old c");
  ASSERT_TRUE(CopyFileWithShell(Wide(root + "/a.xml"), Wide(root + "/c.xml")));
  EXPECT_EQ(ReadTextFile(root + "/c.xml"), "new");
  EXPECT_EQ(ReadTextFile(TrashFiles() + "/c.xml"), "old c");
  // A folder with its contents, links copied as links.
  mkdir((root + "/src").c_str(), 0755);
  mkdir((root + "/src/inner").c_str(), 0755);
  WriteTextFile(root + "/src/inner/f", "f");
  symlink("inner/f", (root + "/src/rel").c_str());
  ASSERT_TRUE(CopyFileWithShell(Wide(root + "/src/"), Wide(root + "/dst/")));
  EXPECT_EQ(ReadTextFile(root + "/dst/inner/f"), "f");
  EXPECT_EQ(ReadTextFile(root + "/dst/rel"), "f");
  // Never into itself; never from nothing.
  EXPECT_FALSE(CopyFileWithShell(Wide(root + "/src"), Wide(root + "/src/inner/again")));
  EXPECT_FALSE(CopyFileWithShell(Wide(root + "/none"), Wide(root + "/x")));
  EXPECT_FALSE(PathExists(root + "/x"));
}

TEST(ShellOperations, AFailedCopyBringsTheTargetBack) {
  const std::string root = FreshFolder("copyfail");
  mkdir((root + "/src").c_str(), 0755);
  WriteTextFile(root + "/src/ok", "ok");
  // A pipe cannot be copied, so the copy fails half-way.
  ASSERT_EQ(mkfifo((root + "/src/pipe").c_str(), 0600), 0);
  mkdir((root + "/target").c_str(), 0755);
  WriteTextFile(root + "/target/precious", "p");
  EXPECT_FALSE(CopyFileWithShell(Wide(root + "/src"), Wide(root + "/target")));
  EXPECT_EQ(ReadTextFile(root + "/target/precious"), "p");
  EXPECT_FALSE(PathExists(root + "/target/ok"));
  EXPECT_FALSE(PathExists(TrashFiles() + "/target"));
  EXPECT_FALSE(PathExists(TrashInfo() + "/target.trashinfo"));
}

TEST(ProgramFolder, ModuleFolderAndInstances) {
  const TString folder = ModuleFolder();
  EXPECT_TRUE(folder.EndsWith(u'/'));
  EXPECT_TRUE(FolderExists(folder));
  TString program = folder;
  program.AppendText(u"framework_runtime_tests");
  EXPECT_TRUE(FileExists(program));
  IsAnotherInstanceRunning();  // whatever runs beside this test: no crash
}

}  // namespace
