// The article list reader on arbitrary pages: every article once, with an
// id above 0; and reference decoding gives back exactly the text that was
// escaped, whatever the text holds.
#include <cstdint>
#include <set>
#include <string>

#include "blog/articlelist.h"
#include "blog/htmlscan.h"
#include "net/encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::set<int> ids;
  for (const inkpost::ArticleEntry& e : inkpost::parseArticleList(bytes))
    if (e.id <= 0 || !ids.insert(e.id).second) __builtin_trap();
  inkpost::ArticleListWalk walk(3);
  walk.add(inkpost::parseArticleList(bytes));
  if (walk.entries().size() != ids.size()) __builtin_trap();
  // Whole GBK text: escaped and read back unchanged (references included).
  if (!bytes.empty() && !inkpost::toUtf8(bytes).empty()) {
    if (inkpost::html::decodeReferences(inkpost::htmlEscape(bytes)) != bytes) __builtin_trap();
  }
  return 0;
}
