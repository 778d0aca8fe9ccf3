// Files: share modes, read-only files, moves, attributes, names without case,
// links.
#include <algorithm>

#include "tests/contract/Contract.h"

namespace orfa::contract {
namespace {

std::string ReadAll(File& file) {
  std::string bytes;
  char buffer[64];
  uint32_t error = 0;
  while (auto got = file.Read(buffer, sizeof buffer, &error)) {
    if (*got == 0) break;
    bytes.append(buffer, *got);
  }
  EXPECT_EQ(error, kErrorSuccess);
  return bytes;
}

ORFA_CONTRACT_SUITE(FileContract);

constexpr uint32_t kErrorDirectoryName = 267;  // ERROR_DIRECTORY

struct ShareCase {
  uint32_t firstAccess, firstShare, secondAccess, secondShare;
  uint32_t expected;
};

TEST_P(FileContract, SecondOpenMustFitTheFirstOnesShareModeAndAccess) {
  const ShareCase cases[] = {
      // the first denies all sharing
      {kGenericRead, kShareNone, kGenericRead, kShareRead | kShareWrite, kErrorSharingViolation},
      {kGenericWrite, kShareNone, kGenericRead, kShareRead | kShareWrite, kErrorSharingViolation},
      // the second wants an access the first does not share
      {kGenericRead, kShareRead, kGenericWrite, kShareRead | kShareWrite, kErrorSharingViolation},
      {kGenericRead, kShareRead, kGenericRead, kShareRead, kErrorSuccess},
      {kGenericRead, kShareRead | kShareWrite, kGenericWrite, kShareRead | kShareWrite,
       kErrorSuccess},
      // the other way round: the second denies an access the first already has
      {kGenericRead, kShareRead | kShareWrite, kGenericRead, kShareNone, kErrorSharingViolation},
      {kGenericWrite, kShareRead | kShareWrite, kGenericRead, kShareRead, kErrorSharingViolation},
      {kGenericWrite, kShareRead | kShareWrite, kGenericRead, kShareRead | kShareWrite,
       kErrorSuccess},
  };
  std::string path = world().Folder() + "shared.cok";
  world().AddFile(path, "orfm-");
  int index = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE("case " + std::to_string(index++));
    uint32_t error = 1;
    auto first = os().files.Open(path, c.firstAccess, c.firstShare, Disposition::OpenExisting, &error);
    ASSERT_TRUE(first);
    EXPECT_EQ(error, kErrorSuccess);
    auto second =
        os().files.Open(path, c.secondAccess, c.secondShare, Disposition::OpenExisting, &error);
    EXPECT_EQ(error, c.expected);
    EXPECT_EQ(second != nullptr, c.expected == kErrorSuccess);
  }
}

TEST_P(FileContract, FileHeldWithoutSharingOpensAgainOnceReleased) {
  std::string path = world().Folder() + "held.cok";
  world().AddFile(path, "orfm-x");
  auto held = world().HoldOpen(path, kGenericRead, kShareNone);
  uint32_t error = 0;
  EXPECT_FALSE(os().files.Open(path, kGenericRead, kShareRead, Disposition::OpenExisting, &error));
  EXPECT_EQ(error, kErrorSharingViolation);
  EXPECT_EQ(os().files.Delete(path), kErrorSharingViolation);
  held.reset();
  auto file = os().files.Open(path, kGenericRead, kShareNone, Disposition::OpenExisting, &error);
  ASSERT_TRUE(file);
  EXPECT_EQ(ReadAll(*file), "orfm-x");
}

TEST_P(FileContract, ReadOnlyFileRefusesDeletionUntilItsAttributeIsCleared) {
  std::string path = world().Folder() + "locked.lng";
  world().AddFile(path, "text");
  world().MakeReadOnly(path);
  EXPECT_EQ(os().files.Delete(path), kErrorAccessDenied);
  auto attributes = os().files.Attributes(path);
  ASSERT_TRUE(attributes);
  EXPECT_NE(*attributes & kAttrReadOnly, 0u);
  uint32_t error = 1;
  {
    auto file = os().files.Open(path, kGenericRead, kShareRead, Disposition::OpenExisting, &error);
    ASSERT_TRUE(file);
    EXPECT_EQ(ReadAll(*file), "text");
  }
  EXPECT_EQ(os().files.SetAttributes(path, kAttrNormal), kErrorSuccess);
  attributes = os().files.Attributes(path);
  ASSERT_TRUE(attributes);
  EXPECT_EQ(*attributes & kAttrReadOnly, 0u);
  EXPECT_EQ(os().files.Delete(path), kErrorSuccess);
  EXPECT_FALSE(os().files.Attributes(path));
}

TEST_P(FileContract, ReadOnlyFileRefusesWritingAndReplacement) {
  if (!world().EnforcesReadOnly()) GTEST_SKIP() << "this system lets writes to read-only files through";
  std::string folder = world().Folder();
  world().AddFile(folder + "a.pak", "old");
  world().AddFile(folder + "~a.pak", "new");
  world().MakeReadOnly(folder + "a.pak");
  uint32_t error = 0;
  EXPECT_FALSE(os().files.Open(folder + "a.pak", kGenericWrite, kShareNone,
                               Disposition::OpenExisting, &error));
  EXPECT_EQ(error, kErrorAccessDenied);
  EXPECT_FALSE(os().files.Open(folder + "a.pak", kGenericRead | kGenericWrite, kShareNone,
                               Disposition::CreateAlways, &error));
  EXPECT_EQ(error, kErrorAccessDenied);
  EXPECT_EQ(os().files.MoveReplace(folder + "~a.pak", folder + "a.pak"), kErrorAccessDenied);
  EXPECT_EQ(world().ReadFileBytes(folder + "a.pak"), "old");
  EXPECT_EQ(world().ReadFileBytes(folder + "~a.pak"), "new");
}

TEST_P(FileContract, AttributesTellFilesFoldersAndMissingPathsApart) {
  std::string folder = world().Folder();
  world().AddFile(folder + "orfa.exe", "MZ");
  world().AddFolder(folder + "language");

  auto file = os().files.Attributes(folder + "orfa.exe");
  ASSERT_TRUE(file);
  EXPECT_EQ(*file & kAttrDirectory, 0u);
  auto dir = os().files.Attributes(folder + "language");
  ASSERT_TRUE(dir);
  EXPECT_NE(*dir & kAttrDirectory, 0u);
  EXPECT_TRUE(os().files.Attributes(folder + "language\\"));

  EXPECT_FALSE(os().files.Attributes(folder + "missing.exe"));
  EXPECT_FALSE(os().files.Attributes(folder + "missing\\orfa.exe"));
  EXPECT_TRUE(FileExists(os().files, folder + "orfa.exe"));
  EXPECT_FALSE(FileExists(os().files, folder + "language"));
  EXPECT_TRUE(DirectoryExists(os().files, folder + "language"));
  EXPECT_FALSE(DirectoryExists(os().files, folder + "orfa.exe"));

  uint32_t error = 0;
  EXPECT_FALSE(
      os().files.Open(folder + "missing.exe", kGenericRead, kShareRead, Disposition::OpenExisting, &error));
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_FALSE(os().files.Open(folder + "missing\\orfa.exe", kGenericRead, kShareRead,
                               Disposition::OpenExisting, &error));
  EXPECT_EQ(error, kErrorPathNotFound);
  EXPECT_FALSE(os().files.Open(folder + "orfa.exe", kGenericWrite, kShareNone,
                               Disposition::CreateNew, &error));
  EXPECT_EQ(error, kErrorFileExists);
  EXPECT_EQ(os().files.Delete(folder + "missing.exe"), kErrorFileNotFound);
}

TEST_P(FileContract, NamesIgnoreCaseAndKeepTheirOwn) {
  std::string folder = world().Folder();
  world().AddFolder(folder + "Language");
  world().AddFile(folder + "Language\\Russian.Lng", "ru");
  EXPECT_TRUE(os().files.Attributes(folder + "LANGUAGE\\russian.LNG"));
  uint32_t error = 0;
  auto file = os().files.Open(folder + "language\\RUSSIAN.lng", kGenericRead, kShareRead,
                              Disposition::OpenExisting, &error);
  ASSERT_TRUE(file);
  EXPECT_EQ(ReadAll(*file), "ru");
  auto entries = os().files.List(folder + "LANGUAGE\\*.LNG", &error);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "Russian.Lng");
}

TEST_P(FileContract, ReadWriteSeekAndSize) {
  std::string path = world().Folder() + "data.pak";
  uint32_t error = 1;
  {
    auto file = os().files.Open(path, kGenericRead | kGenericWrite, kShareNone,
                                Disposition::CreateNew, &error);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Write("hello world", 11), kErrorSuccess);
    EXPECT_EQ(file->Size(&error), 11u);
    EXPECT_EQ(file->Seek(6), kErrorSuccess);
    char buffer[16] = {};
    EXPECT_EQ(file->Read(buffer, sizeof buffer, &error), 5u);
    EXPECT_EQ(std::string(buffer, 5), "world");
    EXPECT_EQ(file->Read(buffer, sizeof buffer, &error), 0u);
    EXPECT_EQ(error, kErrorSuccess);
    // A seek past the end is allowed; reading there gives nothing.
    EXPECT_EQ(file->Seek(100), kErrorSuccess);
    EXPECT_EQ(file->Read(buffer, sizeof buffer, &error), 0u);
  }
  EXPECT_EQ(world().ReadFileBytes(path), "hello world");
  {
    // CreateAlways empties an existing file; OpenAlways keeps it.
    auto file = os().files.Open(path, kGenericRead | kGenericWrite, kShareNone,
                                Disposition::OpenAlways, &error);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Size(&error), 11u);
  }
  {
    auto file = os().files.Open(path, kGenericRead | kGenericWrite, kShareNone,
                                Disposition::CreateAlways, &error);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Size(&error), 0u);
    EXPECT_EQ(file->Write("abc", 3), kErrorSuccess);
    EXPECT_EQ(file->Flush(), kErrorSuccess);
  }
  EXPECT_EQ(world().ReadFileBytes(path), "abc");
  {
    // A file opened for reading only refuses writes.
    auto file = os().files.Open(path, kGenericRead, kShareRead, Disposition::OpenExisting, &error);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Write("x", 1), kErrorAccessDenied);
  }
  EXPECT_EQ(world().ReadFileBytes(path), "abc");
}

TEST_P(FileContract, FilesInUseCannotBeReplacedOrMoved) {
  std::string folder = world().Folder();
  world().AddFile(folder + "~orfm.cok", "new");
  world().AddFile(folder + "orfm.cok", "old");
  {
    auto product = world().HoldOpen(folder + "orfm.cok", kGenericRead, kShareRead);
    EXPECT_EQ(os().files.MoveReplace(folder + "~orfm.cok", folder + "orfm.cok"),
              kErrorAccessDenied);
  }
  EXPECT_EQ(world().ReadFileBytes(folder + "orfm.cok"), "old");
  {
    auto writer = world().HoldOpen(folder + "~orfm.cok", kGenericWrite, kShareNone);
    EXPECT_EQ(os().files.Move(folder + "~orfm.cok", folder + "moved.cok"), kErrorSharingViolation);
  }
  EXPECT_EQ(world().ReadFileBytes(folder + "~orfm.cok"), "new");
  EXPECT_FALSE(os().files.Attributes(folder + "moved.cok"));
}

TEST_P(FileContract, HiddenFileIsNotRecreated) {
  if (!world().RefusesToRecreateHidden()) GTEST_SKIP() << "this system recreates hidden files";
  std::string path = world().Folder() + "orfm.cok";
  world().AddFile(path, "old");
  world().MakeHidden(path);
  uint32_t error = 0;
  // CREATE_ALWAYS over a hidden file that the call does not ask to keep hidden.
  EXPECT_FALSE(os().files.Open(path, kGenericRead | kGenericWrite, kShareNone,
                               Disposition::CreateAlways, &error));
  EXPECT_EQ(error, kErrorAccessDenied);
  EXPECT_EQ(world().ReadFileBytes(path), "old");
}

TEST_P(FileContract, HiddenFileOpensForWriting) {
  std::string path = world().Folder() + "orfm.cok";
  world().AddFile(path, "old");
  world().MakeHidden(path);
  uint32_t error = 0;
  auto file = os().files.Open(path, kGenericWrite, kShareNone, Disposition::OpenExisting, &error);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->Write("new", 3), kErrorSuccess);
  file.reset();
  EXPECT_EQ(world().ReadFileBytes(path), "new");
  auto attributes = os().files.Attributes(path);
  ASSERT_TRUE(attributes);
  EXPECT_NE(*attributes & kAttrHidden, 0u);
}

TEST_P(FileContract, FolderIsNoFileToOpen) {
  std::string folder = world().Folder();
  uint32_t error = 0;
  EXPECT_FALSE(os().files.Open(folder.substr(0, folder.size() - 1), kGenericRead, kShareRead,
                               Disposition::OpenExisting, &error));
  EXPECT_EQ(error, kErrorAccessDenied);
  EXPECT_FALSE(os().files.Open(folder.substr(0, folder.size() - 1), kGenericRead | kGenericWrite,
                               kShareNone, Disposition::CreateNew, kOpenReparsePoint, &error));
  EXPECT_EQ(error, kErrorFileExists);
}

TEST_P(FileContract, OpenFileTellsItsOwnAttributes) {
  std::string path = world().Folder() + "~orfm.cok";
  uint32_t error = 1;
  auto file = os().files.Open(path, kGenericRead | kGenericWrite, kShareNone,
                              Disposition::CreateNew, kOpenReparsePoint, &error);
  ASSERT_TRUE(file);
  const auto own = file->Attributes(&error);
  EXPECT_EQ(error, kErrorSuccess);
  ASSERT_TRUE(own);
  EXPECT_EQ(*own & (kAttrDirectory | kAttrReparsePoint), 0u);
  EXPECT_EQ(own, os().files.Attributes(path));
}

// The calls on an open file that the write rests on: it is made in an open
// folder and knows its name there, is renamed over another file in that
// folder through its handle (which needs DELETE access), and is deleted
// through it once its last handle closes; the folder reached by a drive
// path or a UNC path alike.
TEST_P(FileContract, OpenFileIsRenamedAndDeletedThroughItsHandle) {
  const std::string base = world().Folder();
  uint32_t error = 1;
  EXPECT_FALSE(os().files.OpenFolder(base + "missing", &error));
  std::unique_ptr<File> file;
  for (const std::string& path : {base + "drive", World::UncPath(base) + "unc"}) {
    SCOPED_TRACE(path);
    const std::string folder = base + path.substr(path.find_last_of('\\') + 1) + "\\";
    world().AddFolder(folder);
    world().AddFile(folder + "orfm.cok", "old");
    EXPECT_FALSE(os().files.OpenFolder(folder + "orfm.cok", &error));
    std::unique_ptr<Folder> open = os().files.OpenFolder(path, &error);
    ASSERT_TRUE(open) << error;
    file = open->Open("~orfm.cok", kGenericRead | kGenericWrite | kDeleteAccess, kShareNone,
                      Disposition::CreateNew, kOpenReparsePoint, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->LinkCount(&error), 1u);
    EXPECT_TRUE(file->NamedIn(*open, "~orfm.cok") && !file->NamedIn(*open, "orfm.cok"));
    EXPECT_EQ(file->Write("new", 3), kErrorSuccess);
    EXPECT_EQ(file->Flush(), kErrorSuccess);
    {
      // While another program has the target open, it stays.
      auto product = world().HoldOpen(folder + "orfm.cok", kGenericRead, kShareRead);
      const uint32_t refused = file->RenameReplacing(*open, "orfm.cok");
      EXPECT_TRUE(refused == kErrorAccessDenied || refused == kErrorSharingViolation) << refused;
    }
    EXPECT_EQ(world().ReadFileBytes(folder + "orfm.cok"), "old");
    EXPECT_EQ(file->RenameReplacing(*open, "orfm.cok"), kErrorSuccess);
    EXPECT_EQ(file->Flush(), kErrorSuccess);
    EXPECT_TRUE(file->NamedIn(*open, "orfm.cok") && FileExistsIn(*open, "orfm.cok"));
    EXPECT_FALSE(os().files.Attributes(folder + "~orfm.cok"));
    file.reset();
    EXPECT_EQ(world().ReadFileBytes(folder + "orfm.cok"), "new");
  }
  const std::string own = base + "~orfm.cok";

  // (Windows renames and deletes only through a handle with DELETE access,
  // Wine through any; the installer always asks for it.)
  world().AddFile(own, "x");

  // Marked and cleared again it stays; marked it goes with its last handle,
  // and until then its name opens for nobody.
  for (bool keep : {true, false}) {
    file = os().files.Open(own, kDeleteAccess | kReadAttributes, kShareRead | kShareWrite,
                           Disposition::OpenExisting, kOpenReparsePoint, &error);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->SetDeletePending(true), kErrorSuccess);
    if (keep) {
      EXPECT_EQ(file->SetDeletePending(false), kErrorSuccess);
    } else {
      // Windows refuses the name as delete-pending, Wine as taken.
      EXPECT_FALSE(os().files.Open(own, kGenericRead | kGenericWrite, kShareNone,
                                   Disposition::CreateNew, kOpenReparsePoint, &error));
      EXPECT_TRUE(error == kErrorAccessDenied || error == kErrorFileExists) << error;
    }
    file.reset();
    EXPECT_EQ(os().files.Attributes(own).has_value(), keep);
  }
}

// The unattended log's folder: made for administrators alone, and what this
// elevated process makes in it belongs to them.
TEST_P(FileContract, AdminFolderHoldsFilesOwnedByAdministrators) {
  const std::string folder = world().Folder() + "logs\\";
  EXPECT_EQ(os().files.CreateAdminFolder(folder), kErrorSuccess);
  EXPECT_EQ(os().files.CreateAdminFolder(folder), kErrorAlreadyExists);
  uint32_t error = 0;
  const std::unique_ptr<Folder> open = os().files.OpenFolder(folder, &error);
  ASSERT_TRUE(open) << error;
  const auto file = open->Open("a.log", kAppendData | kReadAttributes | kReadControl, kShareRead,
                               Disposition::CreateNew, kOpenReparsePoint, &error);
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->OwnedByAdministrators(), world().RecordsOwners());
}

TEST_P(FileContract, RemoveFolderTakesOnlyAnEmptyFolder) {
  constexpr uint32_t kErrorDirectory = 267;
  std::string folder = world().Folder();
  world().AddFolder(folder + "empty");
  world().AddFolder(folder + "full");
  world().AddFile(folder + "full\\orfm.cok", "orfm");
  EXPECT_EQ(os().files.RemoveFolder(folder + "full"), kErrorDirNotEmpty);
  EXPECT_EQ(os().files.RemoveFolder(folder + "full\\orfm.cok"), kErrorDirectory);
  EXPECT_EQ(os().files.RemoveFolder(folder + "missing"), kErrorFileNotFound);
  EXPECT_EQ(os().files.RemoveFolder(folder + "empty"), kErrorSuccess);
  EXPECT_FALSE(os().files.Attributes(folder + "empty"));
  EXPECT_EQ(world().ReadFileBytes(folder + "full\\orfm.cok"), "orfm");
}

TEST_P(FileContract, PathsLongerThanTheAnsiLimitAreRefused) {
  constexpr uint32_t kErrorFilenameExcedRange = 206;
  std::string path = world().Folder();
  while (path.size() < 270) path += 'x';
  path += ".cok";
  uint32_t error = 0;
  EXPECT_FALSE(os().files.Open(path, kGenericRead | kGenericWrite, kShareNone,
                               Disposition::CreateAlways, &error));
  EXPECT_EQ(error, kErrorFilenameExcedRange);
  EXPECT_FALSE(os().files.Attributes(path));
}

TEST_P(FileContract, ForwardSlashesAndRelativePaths) {
  std::string folder = world().Folder();
  world().AddFile(folder + "orfa.exe", "MZ");
  std::string slashed = folder;
  for (auto& c : slashed) c = c == '\\' ? '/' : c;
  EXPECT_TRUE(os().files.Attributes(slashed + "orfa.exe"));

  EXPECT_EQ(os().files.SetCurrentDirectory(folder + "missing"), kErrorFileNotFound);
  EXPECT_EQ(os().files.SetCurrentDirectory(folder + "orfa.exe"), kErrorDirectoryName);
  ASSERT_EQ(os().files.SetCurrentDirectory(folder), kErrorSuccess);
  EXPECT_TRUE(FileExists(os().files, "orfa.exe"));
  EXPECT_TRUE(FileExists(os().files, ".\\orfa.exe"));
  uint32_t error = 0;
  EXPECT_TRUE(os().files.Open("ORFA.EXE", kGenericRead, kShareRead, Disposition::OpenExisting, &error));
}

// ---------------------------------------------------------------- links

// The cases about links run in one more world: the simulation that follows
// links by name, as Wine does, held to what the real Wine does.
class LinkContract : public Contract {
 protected:
  // A case folder with "victim.txt" in it, "~a.cok" leading to it and
  // "~b.cok" leading to "missing.txt", which does not exist. False when this
  // world cannot make links.
  bool MakeLinks() {
    folder_ = world().Folder();
    world().AddFile(folder_ + "victim.txt", "victim");
    return world().AddFileLink(folder_ + "~a.cok", folder_ + "victim.txt") &&
           world().AddFileLink(folder_ + "~b.cok", folder_ + "missing.txt");
  }
  std::string At(const std::string& name) const { return folder_ + name; }

 private:
  std::string folder_;
};

INSTANTIATE_TEST_SUITE_P(Worlds, LinkContract, ::testing::ValuesIn(LinkWorlds()), WorldName);

TEST_P(LinkContract, CreateNewOfTheNameRefusesALinkAndLeavesWhatItLeadsTo) {
  if (!MakeLinks()) GTEST_SKIP() << "this system makes no links here";
  for (const char* name : {"~a.cok", "~b.cok"}) {
    SCOPED_TRACE(name);
    uint32_t error = 0;
    EXPECT_FALSE(os().files.Open(At(name), kGenericRead | kGenericWrite, kShareNone,
                                 Disposition::CreateNew, kOpenReparsePoint, &error));
    EXPECT_EQ(error, kErrorFileExists);
  }
  EXPECT_EQ(world().ReadFileBytes(At("victim.txt")), "victim");
  EXPECT_FALSE(os().files.Attributes(At("missing.txt")));
}

TEST_P(LinkContract, ReplacingMoveOntoALinkReplacesTheLinkItself) {
  if (!MakeLinks()) GTEST_SKIP() << "this system makes no links here";
  for (const char* name : {"~a.cok", "~b.cok"}) {
    SCOPED_TRACE(name);
    world().AddFile(At("own.cok"), "own");
    EXPECT_EQ(os().files.MoveReplace(At("own.cok"), At(name)), kErrorSuccess);
    EXPECT_EQ(world().ReadFileBytes(At(name)), "own");
    const auto attributes = os().files.Attributes(At(name));
    ASSERT_TRUE(attributes);
    EXPECT_EQ(*attributes & kAttrReparsePoint, 0u);
  }
  EXPECT_EQ(world().ReadFileBytes(At("victim.txt")), "victim");
  EXPECT_FALSE(os().files.Attributes(At("missing.txt")));
}

TEST_P(LinkContract, CallsByNameMeetTheLinkOrWhatItLeadsTo) {
  if (!MakeLinks()) GTEST_SKIP() << "this system makes no links here";
  uint32_t error = 0;
  {
    auto file = os().files.Open(At("~a.cok"), kGenericRead, kShareRead, Disposition::OpenExisting,
                                &error);
    ASSERT_TRUE(file);
    EXPECT_EQ(ReadAll(*file), "victim");
  }
  auto itself = os().files.Open(At("~a.cok"), kGenericRead, kShareRead,
                                Disposition::OpenExisting, kOpenReparsePoint, &error);
  ASSERT_TRUE(itself);
  const auto openAttributes = itself->Attributes(&error);
  ASSERT_TRUE(openAttributes);
  itself.reset();
  if (!world().LinksFollowedByName()) {
    // Windows: the link itself, whether it leads anywhere or not.
    EXPECT_NE(*openAttributes & kAttrReparsePoint, 0u);
    for (const char* name : {"~a.cok", "~b.cok"}) {
      const auto attributes = os().files.Attributes(At(name));
      ASSERT_TRUE(attributes) << name;
      EXPECT_NE(*attributes & kAttrReparsePoint, 0u) << name;
    }
    EXPECT_EQ(os().files.Move(At("~a.cok"), At("moved.cok")), kErrorSuccess);
    EXPECT_EQ(world().ReadFileBytes(At("moved.cok")), "victim");
    EXPECT_EQ(os().files.Delete(At("moved.cok")), kErrorSuccess);
    EXPECT_EQ(os().files.Delete(At("~b.cok")), kErrorSuccess);
    EXPECT_FALSE(os().files.Attributes(At("~b.cok")));
    EXPECT_EQ(world().ReadFileBytes(At("victim.txt")), "victim");
    return;
  }
  // Wine: what the link leads to, even when told not to follow it; a link
  // that leads nowhere is not there.
  EXPECT_EQ(openAttributes, os().files.Attributes(At("victim.txt")));
  EXPECT_EQ(os().files.Attributes(At("~a.cok")), os().files.Attributes(At("victim.txt")));
  EXPECT_FALSE(os().files.Attributes(At("~b.cok")));
  EXPECT_EQ(os().files.Delete(At("~b.cok")), kErrorFileNotFound);
  // Moving the link moves the file it leads to, and the link stays.
  EXPECT_EQ(os().files.Move(At("~a.cok"), At("moved.cok")), kErrorSuccess);
  EXPECT_EQ(world().ReadFileBytes(At("moved.cok")), "victim");
  EXPECT_FALSE(os().files.Attributes(At("victim.txt")));
  EXPECT_FALSE(os().files.Open(At("~a.cok"), kGenericRead | kGenericWrite, kShareNone,
                               Disposition::CreateNew, kOpenReparsePoint, &error));
  // Deleting the link deletes the file it leads to.
  EXPECT_EQ(os().files.Move(At("moved.cok"), At("victim.txt")), kErrorSuccess);
  EXPECT_EQ(os().files.Delete(At("~a.cok")), kErrorSuccess);
  EXPECT_FALSE(world().ReadFileBytes(At("victim.txt")));
}

// What the installer asks before it deletes a leftover through a handle:
// opened without following a link, a link tells itself apart from a plain
// file of that name, by its attributes (Windows) or by the name of the file
// it opened (Wine, which opens what the link leads to).
TEST_P(LinkContract, LinkOpenedForDeletionIsNoPlainFileOfItsName) {
  if (!MakeLinks()) GTEST_SKIP() << "this system makes no links here";
  uint32_t error = 0;
  auto file = os().files.Open(At("~a.cok"), kDeleteAccess | kReadAttributes,
                              kShareRead | kShareWrite, Disposition::OpenExisting,
                              kOpenReparsePoint, &error);
  ASSERT_TRUE(file);
  const auto attributes = file->Attributes(&error);
  ASSERT_TRUE(attributes);
  std::unique_ptr<Folder> folder = os().files.OpenFolder(At(""), &error);
  ASSERT_TRUE(folder);
  EXPECT_TRUE((*attributes & kAttrReparsePoint) != 0 || !file->NamedIn(*folder, "~a.cok"));
  EXPECT_EQ((*attributes & kAttrReparsePoint) != 0, !world().LinksFollowedByName());
  file.reset();
  EXPECT_EQ(world().ReadFileBytes(At("victim.txt")), "victim");
}

ORFA_CONTRACT_SUITE(ListContract);

std::vector<std::string> SortedNames(const std::vector<DirEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& entry : entries) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

const DirEntry* Entry(const std::vector<DirEntry>& entries, const std::string& name) {
  for (const auto& entry : entries) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

TEST_P(ListContract, EverythingWithDotEntriesAndOnlyMatchesForWildcards) {
  std::string folder = world().Folder();
  world().AddFile(folder + "english.lng", "en");
  world().AddFile(folder + "RUSSIAN.LNG", "russian");
  world().AddFile(folder + "notes.txt", "");
  world().AddFolder(folder + "sub");

  uint32_t error = 1;
  auto all = os().files.List(folder + "*.*", &error);
  EXPECT_EQ(error, kErrorSuccess);
  EXPECT_EQ(SortedNames(all), (std::vector<std::string>{".", "..", "RUSSIAN.LNG", "english.lng",
                                                        "notes.txt", "sub"}));
  ASSERT_TRUE(Entry(all, "."));
  EXPECT_NE(Entry(all, ".")->attributes & kAttrDirectory, 0u);
  ASSERT_TRUE(Entry(all, "sub"));
  EXPECT_NE(Entry(all, "sub")->attributes & kAttrDirectory, 0u);
  ASSERT_TRUE(Entry(all, "RUSSIAN.LNG"));
  EXPECT_EQ(Entry(all, "RUSSIAN.LNG")->size, 7u);
  EXPECT_EQ(Entry(all, "RUSSIAN.LNG")->attributes & kAttrDirectory, 0u);

  EXPECT_EQ(SortedNames(os().files.List(folder + "*", &error)), SortedNames(all));
  EXPECT_EQ(SortedNames(os().files.List(folder + "*.lng", &error)),
            (std::vector<std::string>{"RUSSIAN.LNG", "english.lng"}));
  EXPECT_EQ(error, kErrorSuccess);
}

TEST_P(ListContract, NoMatchAndMissingFolderAreErrors) {
  std::string folder = world().Folder();
  world().AddFile(folder + "english.lng", "en");
  uint32_t error = 0;
  EXPECT_TRUE(os().files.List(folder + "*.cok", &error).empty());
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_TRUE(os().files.List(folder + "missing\\*.*", &error).empty());
  EXPECT_EQ(error, kErrorPathNotFound);
}

}  // namespace
}  // namespace orfa::contract
