#include "common/ui/gbk.h"

#include "net/encoding.h"

namespace inkpost {

QString toQ(std::string_view gbk) {
  if (gbk.empty()) return {};
  std::string utf8 = toUtf8WithCharRefs(gbk);
  if (!utf8.empty()) return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  // Not valid GBK as a whole: convert character by character.
  QString out;
  size_t i = 0;
  while (i < gbk.size()) {
    unsigned char c = static_cast<unsigned char>(gbk[i]);
    size_t len = (c >= 0x81 && c <= 0xFE && i + 1 < gbk.size()) ? 2 : 1;
    std::string piece = toUtf8(gbk.substr(i, len));
    out +=
        piece.empty() ? QString(QChar(0xFFFD)) : QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size()));
    i += len;
  }
  return out;
}

std::string fromQ(const QString& text) {
  if (text.isEmpty()) return {};
  QByteArray utf8 = text.toUtf8();
  return gbkWithCharRefs(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

}  // namespace inkpost
