// Version resources of programs in the simulated file system. VersionBlock
// hands out a block of this simulation's own layout, which VersionValue reads:
// "SIMVER1" then records of kind (one byte), key length, key, value length,
// value (lengths as 32-bit little-endian numbers).
#include "tests/sim/SimFileSystem.h"
#include "tests/sim/SimText.h"

namespace orfa::sim {

namespace {

const std::string kMagic = "SIMVER1";

void PutLength(std::string& out, size_t length) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((length >> (8 * i)) & 0xFF);
}

void PutRecord(std::string& out, char kind, const std::string& key, const std::string& value) {
  out += kind;
  PutLength(out, key.size());
  out += key;
  PutLength(out, value.size());
  out += value;
}

bool GetLength(const std::string& in, size_t& pos, size_t& length) {
  if (in.size() - pos < 4) return false;
  length = 0;
  for (size_t i = 0; i < 4; ++i) length |= static_cast<size_t>(static_cast<uint8_t>(in[pos + i])) << (8 * i);
  pos += 4;
  return in.size() - pos >= length;
}

// Lower-cased, without leading backslashes: how keys are compared.
std::string KeyOf(const std::string& subBlock) {
  size_t start = subBlock.find_first_not_of('\\');
  return start == std::string::npos ? std::string() : Fold(subBlock.substr(start));
}

}  // namespace

void SimFileSystem::SetVersionInfo(const std::string& path, const std::vector<VersionTranslation>& translations,
                                   const std::map<std::string, std::string>& strings) {
  std::string block = kMagic;
  for (const auto& translation : translations) {
    std::string pair;
    pair += static_cast<char>(translation.language & 0xFF);
    pair += static_cast<char>(translation.language >> 8);
    pair += static_cast<char>(translation.codePage & 0xFF);
    pair += static_cast<char>(translation.codePage >> 8);
    PutRecord(block, 'T', "", pair);
  }
  for (const auto& entry : strings) PutRecord(block, 'S', KeyOf(entry.first), entry.second);
  SetVersionBlock(path, block);
}

std::optional<std::string> SimFileSystem::VersionValue(const std::string& block, const std::string& subBlock) {
  if (block.compare(0, kMagic.size(), kMagic) != 0) return std::nullopt;
  const std::string wanted = KeyOf(subBlock);
  const bool translations = wanted == "varfileinfo\\translation";
  std::string list;
  size_t pos = kMagic.size();
  while (pos < block.size()) {
    char kind = block[pos++];
    size_t keyLength = 0;
    size_t valueLength = 0;
    if (!GetLength(block, pos, keyLength)) return std::nullopt;
    std::string key = block.substr(pos, keyLength);
    pos += keyLength;
    if (!GetLength(block, pos, valueLength)) return std::nullopt;
    std::string value = block.substr(pos, valueLength);
    pos += valueLength;
    if (kind == 'T' && translations) list += value;
    if (kind == 'S' && !translations && key == wanted) return value + std::string(1, '\0');
  }
  if (translations && !list.empty()) return list;
  return std::nullopt;
}

}  // namespace orfa::sim
