#include "ui/string_table.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <atomic>
#include <string_view>

namespace {

struct STRING_ENTRY {
  unsigned id;
  const char* text;
};

constexpr STRING_ENTRY kStrings[] = {
#define VF_STRING(id, text) {id, text},
#include "../../resources/string_table.def"
#undef VF_STRING
};

constexpr bool IdsAscending() {
  for (size_t i = 1; i < std::size(kStrings); ++i)
    if (kStrings[i - 1].id >= kStrings[i].id) return false;
  return true;
}
static_assert(IdsAscending(), "string table ids must be unique and ascending");

constexpr auto MakeIds() {
  std::array<unsigned, std::size(kStrings)> ids{};
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = kStrings[i].id;
  return ids;
}
constexpr auto kIds = MakeIds();

std::atomic<CStringSource*> g_source{nullptr};

// What a format reads from its arguments: each conversion's length modifiers and letter,
// flags, width and precision left out; "?" for anything that is not a plain conversion
// (a '*' reads an argument too, a lone '%' at the end has no letter).
std::string ArgumentSignature(const std::string& format) {
  std::string signature;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (++i < format.size() && format[i] == '%') continue;
    while (i < format.size() && std::string_view("-+ #0123456789.").find(format[i]) != std::string_view::npos) ++i;
    size_t start = i;
    while (i < format.size() && std::string_view("hljztL").find(format[i]) != std::string_view::npos) ++i;
    if (i >= format.size() || std::string_view("diouxXeEfFgGaAcsp").find(format[i]) == std::string_view::npos)
      return "?";
    signature.append(format, start, i - start + 1).push_back(',');
  }
  return signature;
}

}  // namespace

bool LoadBuiltInString(unsigned id, std::string& text) {
  auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                             [](const STRING_ENTRY& e, unsigned v) { return e.id < v; });
  if (it == std::end(kStrings) || it->id != id) return false;
  text = it->text;
  return true;
}

std::string LoadResString(unsigned id) {
  std::string text;
  if (CStringSource* source = g_source.load(std::memory_order_acquire))
    if (source->Lookup(id, text)) return text;
  if (!LoadBuiltInString(id, text)) text.clear();
  return text;
}

std::string LoadFormatString(unsigned id) {
  std::string builtIn;
  LoadBuiltInString(id, builtIn);
  std::string text = LoadResString(id);
  if (text == builtIn) return text;
  return ArgumentSignature(text) == ArgumentSignature(builtIn) ? text : builtIn;
}

CStringSource* SetStringSource(CStringSource* source) {
  return g_source.exchange(source, std::memory_order_acq_rel);
}

const unsigned* BuiltInStringIds(size_t& count) {
  count = kIds.size();
  return kIds.data();
}
