// The simulated Windows, set up like the Wine prefix the real cases run in:
// a 64-bit system, fixtures made through the simulation's own helpers.
#include <string>

#include "tests/contract/World.h"
#include "tests/sim/SimWindows.h"

namespace orfa::contract {
namespace {

class SimHeldOpen : public HeldOpen {
 public:
  explicit SimHeldOpen(sim::HeldFile held) : held_(std::move(held)) {}

 private:
  sim::HeldFile held_;
};

constexpr const char* kSleeper = "C:\\Contract\\sleeper.exe";

class SimWorld : public World {
 public:
  explicit SimWorld(bool linksFollowedByName) : linksFollowedByName_(linksFollowedByName) {
    sim_.Set64BitSystem(true);
    sim_.files.SetLinksFollowedByName(linksFollowedByName);
    sim_.files.AddShare("\\\\localhost\\orfa", "C:\\");
  }

  Platform& Get() override { return sim_.Get(); }

  std::string Folder() override {
    std::string folder = "C:\\Contract\\case" + std::to_string(++counter_) + "\\";
    sim_.files.AddFolder(folder);
    return folder;
  }

  void AddFile(const std::string& path, const std::string& bytes) override {
    sim_.files.AddFile(path, bytes);
  }
  void AddFolder(const std::string& path) override { sim_.files.AddFolder(path); }
  void MakeReadOnly(const std::string& path) override {
    sim_.files.AddFile(path, sim_.files.ReadFileBytes(path).value_or(""), kAttrReadOnly);
  }
  void MakeHidden(const std::string& path) override {
    sim_.files.AddFile(path, sim_.files.ReadFileBytes(path).value_or(""), kAttrHidden);
  }
  std::optional<std::string> ReadFileBytes(const std::string& path) override {
    return sim_.files.ReadFileBytes(path);
  }
  std::unique_ptr<HeldOpen> HoldOpen(const std::string& path, uint32_t access,
                                     uint32_t share) override {
    return std::make_unique<SimHeldOpen>(sim_.files.HoldOpen(path, access, share));
  }
  bool AddFileLink(const std::string& path, const std::string& target) override {
    sim_.files.AddFileLink(path, target);
    return true;
  }
  bool LinksFollowedByName() override { return linksFollowedByName_; }

  std::string Key(RootKey) override {
    return "Software\\OrfaContract\\key" + std::to_string(++counter_);
  }
  void SetValue(RootKey root, const std::string& path, const std::string& name, uint32_t type,
                const std::string& bytes, bool native64) override {
    sim_.registry.SetValue(root, path, name, type, bytes,
                           native64 ? sim::RegView::Native : sim::RegView::Wow32);
  }

  void SetEnvironment(const std::string& name, const std::optional<std::string>& value) override {
    if (value) {
      sim_.system.SetEnv(name, *value);
    } else {
      sim_.system.UnsetEnv(name);
    }
  }

  bool EnforcesReadOnly() override { return true; }
  bool RefusesToRecreateHidden() override { return true; }
  bool RecordsOwners() override { return true; }

  WindowId AddWindow(const std::string& className) override {
    return sim_.processes.AddWindow(className);
  }
  void RemoveWindow(WindowId window) override { sim_.processes.RemoveWindow(window); }
  std::vector<uint32_t> Received(WindowId window) override {
    std::vector<uint32_t> messages;
    for (const auto& posted : sim_.processes.Posted()) {
      if (posted.window == window && posted.delivered) messages.push_back(posted.message);
    }
    return messages;
  }

  void Expect(Programs programs) override {
    switch (programs) {
      case Programs::Interpreter:
        sim_.processes.OnConsoleCommand([](const std::string& command) {
          return command == "ver" ? "\r\nMicrosoft Windows XP [Version 5.1.2600]\r\n" : "";
        });
        break;
      case Programs::Missing:
        sim_.processes.OnRunCaptured(nullptr);
        break;
      case Programs::Long:
        // The program runs for the milliseconds its command line names, on the
        // simulated clock; a wait that ends first ends the program.
        sim_.processes.OnRunCaptured([](const std::string& commandLine, sim::SimWindows& sim) {
          const uint64_t runs = std::stoull(commandLine.substr(commandLine.rfind(' ') + 1));
          ProcessResult result;
          result.started = true;
          const uint32_t timeout = sim.processes.RunCapturedCalls().back().timeoutMs;
          if (runs <= timeout) {
            sim.clock.Sleep(static_cast<uint32_t>(runs));
            result.finished = true;
          } else {
            sim.clock.Sleep(timeout);
            result.error = kErrorTimeout;
          }
          return result;
        });
        break;
    }
  }

  std::string LongCommand(uint32_t ms) override {
    return std::string("\"") + kSleeper + "\" --orfa-sleep " + std::to_string(ms);
  }

  bool Is64BitSystem() override { return true; }

 private:
  sim::SimWindows sim_;
  bool linksFollowedByName_;
  int counter_ = 0;
};

}  // namespace

std::unique_ptr<World> MakeSimWorld() { return std::make_unique<SimWorld>(false); }
std::unique_ptr<World> MakeSimWorldFollowingLinks() { return std::make_unique<SimWorld>(true); }

}  // namespace orfa::contract
