// Failures that describe themselves: what failed and the system's error code,
// recorded where they are detected. One place (the last-resort handler of the
// program entry, or a step's own trap) turns them into a message box.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace orfa {

class Failure : public std::runtime_error {
 public:
  Failure(std::string className, const std::string& message, uint32_t code = 0)
      : std::runtime_error(message), className_(std::move(className)), code_(code),
        address_(__builtin_return_address(0)) {}
  const std::string& ClassName() const { return className_; }
  uint32_t Code() const { return code_; }
  const void* Address() const { return address_; }

 private:
  std::string className_;
  uint32_t code_;
  const void* address_;
};

// A registry operation failed (a value of the wrong type, a write that failed).
class RegistryFailure : public Failure {
 public:
  RegistryFailure(const std::string& message, uint32_t code = 0)
      : Failure("ERegistryException", message, code) {}
};

// A file operation failed.
class FileFailure : public Failure {
 public:
  FileFailure(const std::string& message, uint32_t code = 0)
      : Failure("EFCreateError", message, code) {}
};

// A resource of the own executable could not be found or loaded.
class ResourceFailure : public Failure {
 public:
  ResourceFailure(const std::string& message, uint32_t code = 0)
      : Failure("EResNotFound", message, code) {}
};

}  // namespace orfa
