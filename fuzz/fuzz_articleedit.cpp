// The filled edit page reader: any page is read without failing, and a
// page written from any title and body (escaped as the engine escapes
// them) gives back that very title and body.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "blog/openarticle.h"
#include "net/encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (auto opened = inkpost::parseArticleEditPage(bytes); opened && opened->id <= 0) __builtin_trap();

  FuzzedDataProvider in(data, size);
  const std::string title = in.ConsumeRandomLengthString(64);
  const std::string body = in.ConsumeRemainingBytesAsString();
  if ((!title.empty() && inkpost::toUtf8(title).empty()) || (!body.empty() && inkpost::toUtf8(body).empty())) return 0;
  // A body that starts with a line break gets one more, as the engine writes it.
  const bool lineFirst = !body.empty() && (body[0] == '\r' || body[0] == '\n');
  const std::string page = "<form><input type=\"hidden\" name=\"edtID\" value=\"3\"><input name=\"edtTitle\" value=\"" +
                           inkpost::htmlEscape(title) + "\"><textarea name=\"txaContent\">" +
                           (lineFirst ? "\r\n" : "") + inkpost::htmlEscape(body) + "</textarea></form>";
  const auto opened = inkpost::parseArticleEditPage(page);
  if (!opened || opened->id != 3 || opened->article.title != title || opened->article.body != body) __builtin_trap();
  return 0;
}
