#include "blog/editortext.h"

#include "net/encoding.h"

#include <cstdint>

namespace inkpost {

namespace {

void appendHex4(std::string& out, uint32_t v) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(v >> shift) & 0xF];
}

}  // namespace

std::string jsStringLiteral(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + utf8.size() / 8 + 2);
  out += '\'';
  size_t i = 0;
  while (i < utf8.size()) {
    const char c = utf8[i];
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x80) {
      switch (c) {
        case '\'':
          out += "\\'";
          break;
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        case '<':
          out += "\\x3C";
          break;
        case '>':
          out += "\\x3E";
          break;
        default:
          if (u < 0x20 || u == 0x7F)
            appendHex4(out, u);
          else
            out += c;
      }
      ++i;
      continue;
    }
    uint32_t cp = 0;
    const size_t len = decodeUtf8At(utf8, i, cp);
    if (len == 0) {
      appendHex4(out, 0xFFFD);
      ++i;
    } else if (cp == 0x2028 || cp == 0x2029) {
      appendHex4(out, cp);
      i += len;
    } else {
      out.append(utf8.substr(i, len));
      i += len;
    }
  }
  out += '\'';
  return out;
}

std::string plainPasteTooLongNotice(std::size_t units) {
  const std::size_t tenThousand = 10000;
  return fromUtf8("剪贴板中的文字太长（约") + std::to_string((units + tenThousand - 1) / tenThousand) +
         fromUtf8("万字），超过一次能粘贴的") + std::to_string(kPlainPasteMax / tenThousand) +
         fromUtf8("万字，没有粘贴。请分几次粘贴。");
}

}  // namespace inkpost
