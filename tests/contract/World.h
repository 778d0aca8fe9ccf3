// A Windows for the contract cases to run against: the real one (through
// Win32Platform, under Wine) or the simulated one. Each world makes the
// fixtures of a case its own way and removes them when it ends.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace orfa::contract {

// A file some other party keeps open; closed when destroyed.
class HeldOpen {
 public:
  virtual ~HeldOpen() = default;
};

class World {
 public:
  virtual ~World() = default;

  virtual Platform& Get() = 0;

  // A new empty folder for one case, ending with "\"; removed when the world ends.
  virtual std::string Folder() = 0;
  virtual void AddFile(const std::string& path, const std::string& bytes) = 0;
  virtual void AddFolder(const std::string& path) = 0;
  virtual void MakeReadOnly(const std::string& path) = 0;
  virtual void MakeHidden(const std::string& path) = 0;
  // The bytes of a file, nullopt when there is no such file.
  virtual std::optional<std::string> ReadFileBytes(const std::string& path) = 0;
  // Another process opens the file with this access and share mode.
  virtual std::unique_ptr<HeldOpen> HoldOpen(const std::string& path, uint32_t access,
                                             uint32_t share) = 0;
  // A symbolic link at `path` to the file `target`, which need not exist.
  // False when this world cannot make one (Windows without the right to).
  virtual bool AddFileLink(const std::string& path, const std::string& target) = 0;
  // Whether calls by name act on what a link leads to rather than on the
  // link itself. Windows sees a symbolic link; Wine cannot tell a Unix one
  // from what it leads to.
  virtual bool LinksFollowedByName() = 0;
  // The same place as a UNC path: "C:\\x" as "\\\\localhost\\orfa\\x" (under
  // Wine, the share tools/wine-run.sh maps to the prefix's drive C:).
  static std::string UncPath(const std::string& path) { return "\\\\localhost\\orfa\\" + path.substr(3); }

  // A new registry path (no "\" at the end) under root's "Software" for one
  // case; deleted, in both registry views, when the world ends.
  virtual std::string Key(RootKey root) = 0;
  // Writes a value of any type; native64 writes the 64-bit view's key.
  virtual void SetValue(RootKey root, const std::string& path, const std::string& name,
                        uint32_t type, const std::string& bytes, bool native64) = 0;

  // Sets (or, with nullopt, removes) an environment variable until the world ends.
  virtual void SetEnvironment(const std::string& name, const std::optional<std::string>& value) = 0;

  // Whether opening a read-only file for writing, or replacing it, is refused.
  // Windows always refuses; Wine run as root lets the open through (root
  // passes the file's Unix permissions), which the real world finds out by trying.
  virtual bool EnforcesReadOnly() = 0;
  // Whether a file's owner is the one Windows records: the Administrators
  // group for what an elevated administrator makes. Wine reports the Unix
  // owner's user for every file instead.
  virtual bool RecordsOwners() = 0;
  // Whether CREATE_ALWAYS over a hidden file is refused (the call does not
  // ask for the hidden attribute). Windows refuses; Wine 8 does not.
  virtual bool RefusesToRecreateHidden() = 0;

  // A hidden top-level window of this class, made by "another program";
  // RemoveWindow destroys it. Received lists the messages posted to it so far.
  virtual WindowId AddWindow(const std::string& className) = 0;
  virtual void RemoveWindow(WindowId window) = 0;
  virtual std::vector<uint32_t> Received(WindowId window) = 0;

  // What the next hidden processes of a case are: the command interpreter, a
  // program that does not exist, or LongCommand's program. The real world has
  // them all at once; the simulated one sets up the one the case needs.
  enum class Programs { Interpreter, Missing, Long };
  virtual void Expect(Programs programs) = 0;
  // A command line that starts a program which runs for `ms` and then ends.
  virtual std::string LongCommand(uint32_t ms) = 0;

  // Whether the system is 64-bit (the registry then has a 32-bit view).
  virtual bool Is64BitSystem() = 0;
};

struct WorldMaker {
  const char* name;
  std::unique_ptr<World> (*make)();
};

inline void PrintTo(const WorldMaker& maker, std::ostream* out) { *out << maker.name; }

std::unique_ptr<World> MakeRealWorld();
std::unique_ptr<World> MakeSimWorld();
// The simulation with links followed by name, as Wine follows them.
std::unique_ptr<World> MakeSimWorldFollowingLinks();
// Every world the cases run against.
std::vector<WorldMaker> AllWorlds();
// The same, and the simulation that follows links by name: the worlds of the
// cases about links.
std::vector<WorldMaker> LinkWorlds();

}  // namespace orfa::contract
