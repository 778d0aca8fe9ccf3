// Language files as others wrote them: the entry reader, loading the files
// (their header entries) and the lookups with their placeholders. The input
// is the content of both language files.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/Registry.h"
#include "lang/Lang.h"
#include "lang/LangFile.h"
#include "tests/sim/SimWindows.h"

using namespace orfa;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  const std::string folder = "C:\\Orfa\\language\\";
  sim::SimWindows sim;
  sim.files.AddFile(folder + "english.lng", content);
  sim.files.AddFile(folder + "russian.lng", content);

  // The key of the first header in the input, as well as fixed ones.
  const size_t close = content.find(']');
  const std::string ownKey = content.size() > 1 && content[0] == '[' && close != std::string::npos
                                 ? content.substr(1, close - 1)
                                 : "x";
  for (const std::string& key : {ownKey, std::string("langver"), std::string("")}) {
    for (EntryShape shape : {EntryShape::SingleLine, EntryShape::Lines,
                             EntryShape::LinesEmptyFirstMissing}) {
      ReadLanguageEntry(sim.files, folder + "english.lng", key, shape);
    }
    IsHeaderOf(content, key);
  }
  IsBlankLine(content);

  SetupContext ctx{sim.Get()};
  ctx.ProductFolder = "C:\\Orfa\\";
  ctx.ProductName = "Orfa";
  ctx.Registry = std::make_unique<Registry>(sim.registry, kKeyAllAccess);
  for (uint32_t lcid : {0x0409u, 0x0419u}) {
    sim.system.SetUserLcid(lcid);
    ctx.UserLcid = lcid;
    ctx.UseRussian = IsRussianLocale(lcid);
    if (LoadLanguageFiles(ctx)) {
      LangText(ctx, ownKey);
      LangLines(ctx, ownKey);
      LangFormatCoded(ctx, ownKey, {{AnsiText("%2")}, {AnsiText("b")}});
      LangFormatLinesCoded(ctx, ownKey,
                           {{AnsiText("a")}, {AnsiText("%1")}, {AnsiText("c")}, {AnsiText("d")},
                            {AnsiText("e")}});
    }
  }
  FillPlaceholders(AnsiText(content), {{AnsiText("%1%2")}, {AnsiText("")}, {AnsiText("%4")}});
  return 0;
}
