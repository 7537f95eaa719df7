#include "ui/string_table.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <atomic>

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

CStringSource* SetStringSource(CStringSource* source) {
  return g_source.exchange(source, std::memory_order_acq_rel);
}

const unsigned* BuiltInStringIds(size_t& count) {
  count = kIds.size();
  return kIds.data();
}
