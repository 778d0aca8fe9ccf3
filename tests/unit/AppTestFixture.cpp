#include "tests/unit/AppTestFixture.h"

#include <algorithm>
#include <cstring>

namespace orfa::apptest {
namespace {

void PutLe(std::string& data, size_t offset, uint32_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) data[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

const char kEnglish[] =
    "[progname]\r\nOrfa\r\n[langcode]\r\n1033\r\n\r\n[langver]\r\n3\r\n"
    "[soundquest]\r\nSound question\r\n"
    "[olderfilever]\r\nThe installed %1 is newer.\r\nReplace it?\r\n\r\n"
    "[noright]\r\nYou need administrator rights.\r\n\r\n"
    "[filecantopen]\r\nCan't open %1.\r\nClose Orfa.\r\n\r\n"
    "[liveupdatecaption]\r\nOrfa LiveUpdate\r\n"
    "[accordion]\r\nAccordion\r\n"
    "[installask]\r\nInstall %1:\r\n%2?\r\n\r\n"
    "[installdone]\r\n%1 is installed.\r\n"
    "[asktorun]\r\nStart Orfa?\r\n"
    "[badinstaller]\r\nThe installer is damaged.\r\n\r\n"
    "[verificationfail]\r\nThe installer cannot be checked.\r\n\r\n";

const char kRussian[] =
    "[progname]\r\n\xCE\xF0\xF4\xE0\r\n[langcode]\r\n1049\r\n2073\r\n\r\n[langver]\r\n3\r\n"
    "[soundquest]\r\n\xC2\xEE\xEF\xF0\xEE\xF1\r\n"
    "[olderfilever]\r\nRU newer %1\r\n\r\n"
    "[noright]\r\nRU rights\r\n\r\n"
    "[filecantopen]\r\nRU cannot open %1\r\n\r\n"
    "[liveupdatecaption]\r\nRU LiveUpdate\r\n"
    "[accordion]\r\nRU Accordion\r\n"
    "[installask]\r\nRU install %1 %2\r\n\r\n"
    "[installdone]\r\nRU done %1\r\n"
    "[asktorun]\r\nRU start?\r\n"
    "[badinstaller]\r\nRU damaged\r\n\r\n"
    "[verificationfail]\r\nRU unverifiable\r\n\r\n";

}  // namespace

std::string PayloadWithStamp(int stamp, size_t size) {
  std::string payload(size, '\x5A');
  std::memcpy(&payload[0], "orfm", 4);
  payload[4] = static_cast<char>(stamp);
  payload[5] = 0x78;
  payload[6] = 0x00;
  return payload;
}

std::string MakeExecutableImage(bool stamped, const std::string& payload, uint32_t payloadVirtualSize) {
  std::string image(kPayloadOffset, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  PutLe(image, 0x3C, 0x40, 4);
  std::memcpy(&image[0x40], "PE\0\0", 4);
  const size_t coff = 0x44;
  PutLe(image, coff, 0x14C, 2);      // i386
  PutLe(image, coff + 2, payload.empty() ? 2 : 3, 2);  // two sections, or three with a payload
  PutLe(image, coff + 16, 224, 2);   // optional header size
  const size_t optional = coff + 20;
  PutLe(image, optional, 0x10B, 2);  // PE32
  PutLe(image, optional + 64, 0x1234, 4);  // a checksum, left out of the digest
  const size_t table = optional + 224;
  PutLe(image, table + 16, 0x200, 4);  // .text: raw size, raw pointer
  PutLe(image, table + 20, 0x200, 4);
  PutLe(image, table + 40 + 16, 0x200, 4);  // .rdata
  PutLe(image, table + 40 + 20, 0x400, 4);
  if (!payload.empty()) {  // .rsrc
    PutLe(image, table + 80 + 8, payloadVirtualSize, 4);
    PutLe(image, table + 80 + 12, static_cast<uint32_t>(kPayloadRva), 4);
    PutLe(image, table + 80 + 16, static_cast<uint32_t>(payload.size()), 4);
    PutLe(image, table + 80 + 20, static_cast<uint32_t>(kPayloadOffset), 4);
    image += payload;
  }
  for (size_t i = 0x200; i < 0x400; ++i) image[i] = static_cast<char>(i * 7);
  std::memcpy(&image[0x480], kDigestMarker, kDigestMarkerSize);
  if (stamped) image.replace(0x480 + kDigestMarkerSize, kDigestSize, DigestOfBytes(image).digest);
  return image;
}

std::string DigestSlotOf(const std::string& image) { return image.substr(0x480, kDigestSlotSize); }

ImageDigest DigestOfBytes(const std::string& image, size_t chunk, size_t headBytes,
                          const LoadedPart& loaded, std::vector<bool>* read) {
  if (read) read->assign(image.size(), false);
  size_t at = 0;
  auto reader = [&](uint8_t* buffer, size_t size) -> std::optional<size_t> {
    const size_t n = std::min(size, image.size() - at);
    std::memcpy(buffer, image.data() + at, n);
    if (read) std::fill_n(read->begin() + static_cast<std::ptrdiff_t>(at), n, true);
    at += n;
    return n;
  };
  auto seek = [&](uint64_t offset) {
    at = static_cast<size_t>(std::min<uint64_t>(offset, image.size()));
    return true;
  };
  return DigestOfImageFile(reader, image.size(), kDigestMarker, chunk, headBytes, loaded, seek);
}

void LayOutProduct(SimWindows& sim, Entry entry) {
  sim.files.AddFile(std::string(kProductFolder) + "orfa.exe", "MZ product");
  sim.files.AddFile(std::string(kProductFolder) + "language\\english.lng", kEnglish);
  sim.files.AddFile(std::string(kProductFolder) + "language\\russian.lng", kRussian);
  sim.files.AddFile(kInstalledPayload, PayloadWithStamp(13 + 32, 5000));
  sim.files.AddFile(std::string(kProductFolder) + "data\\words.pak", std::string(3000, 'w'));
  if (entry != Entry::None) {
    sim.registry.SetString(RootKey::LocalMachine, kUninstallEntry, "UninstallString",
                           std::string(kProductFolder) + "unins000.exe",
                           entry == Entry::Native ? RegView::Native : RegView::Wow32);
  }
  sim.registry.SetString(RootKey::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion",
                         "ProgramFilesDir", "C:\\Program Files");
  const std::string payload = PayloadWithStamp(13 + 32, 10000);
  sim.files.AddFile(kExecutable, MakeExecutableImage(true, payload));
  sim.resources.SetExecutablePath(kExecutable);
  sim.resources.AddResource("ORFM", "COK", payload, kPayloadRva);
  sim.system.SetUserLcid(1033);
  sim.system.SetAdmin(true);
}

}  // namespace orfa::apptest
