#include "crosspost/spacepost.h"

#include "crosspost/hosts.h"
#include "net/encoding.h"
#include "net/http.h"

namespace inkpost {
namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Replaces every occurrence of `what` (ASCII, any letter case) by `with`.
// The patterns used here start with a byte below 0x40, which never is the
// second byte of a GBK character, so a byte-wise scan cannot match inside
// one.
std::string replaceIgnoringCase(std::string_view text, std::string_view what, std::string_view with) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    bool match = i + what.size() <= text.size();
    for (size_t k = 0; match && k < what.size(); ++k) match = lowerAscii(text[i + k]) == lowerAscii(what[k]);
    if (match) {
      out += with;
      i += what.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

}  // namespace

std::string cleanSpaceBody(std::string_view gbkBody) {
  std::string text;
  text.reserve(gbkBody.size());
  for (size_t i = 0; i < gbkBody.size(); ++i) {
    if (gbkBody[i] == '\r' && i + 1 < gbkBody.size() && gbkBody[i + 1] == '\n') {
      ++i;
      continue;
    }
    text += gbkBody[i];
  }
  std::string noLf;
  noLf.reserve(text.size());
  for (char c : text)
    if (c != '\n') noLf += c;
  std::string out = replaceIgnoringCase(noLf, "&hellip;", "\xA1\xAD\xA1\xAD");
  return replaceIgnoringCase(out, "<p></p>", "");
}

std::string extractBdsToken(std::string_view gbkPage) { return textBetween(gbkPage, ";window.qBdsToken=\"", "\""); }

std::string spaceFormBody(std::string_view gbkTitle, std::string_view gbkBody, std::string_view token,
                          const std::string& spaceHost) {
  // Title and content are percent-encoded after their conversion to UTF-8,
  // so "&", "=", "+" and "%" in the article cannot cut or alter the form.
  std::string body = "title=";
  body += percentEncode(toUtf8(gbkTitle));
  body += "&content=";
  body += percentEncode(toUtf8(cleanSpaceBody(gbkBody)));
  body += "&private=0&imgnum=0&bdstoken=";
  body += token;
  body += "&qbid=&refer=http:%2F%2F";
  body += spaceHost;
  body += "%2Fhome&multimedia[]=&private1=0&qing_request_source=";
  return body;
}

std::string spaceCreatePageUrl(const std::string& spaceHost) { return "http://" + spaceHost + "/pub/show/createtext"; }

std::string spaceSubmitUrl(const std::string& spaceHost) { return "http://" + spaceHost + "/pub/submit/createtext"; }

std::string spaceSubmitHeaders(const std::string& spaceHost) {
  return "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
         "Content-Type: application/x-www-form-urlencoded; charset=UTF-8\r\n"
         "Host: " +
         spaceHost + "\r\nReferer: " + spaceCreatePageUrl(spaceHost);
}

const std::string& missingSpaceAccountNotice() {
  static const std::string text =
      fromUtf8("没有填写百度帐号，未同步到百度空间。请在“网站管理 → 修改网站”中为这个网站填写百度帐号和百度密码。");
  return text;
}

bool isSpaceSuccess(std::string_view reply) { return fromUtf8(reply).find(kSpaceSuccessMarker) != std::string::npos; }

bool SubmitSpacePost(std::string_view gbkTitle, std::string_view gbkBody, std::string& cookies) {
  const std::string& host = spaceSettings().spaceHost;

  std::string pageHeaders;
  std::string responseHeaders;
  std::string storeCookies;  // empty: the process-wide store sends the session cookies
  std::string page = fromUtf8(
      HttpEngine(spaceCreatePageUrl(host), "", "", "", "", "", pageHeaders, "", 0, responseHeaders, storeCookies));
  std::string token = extractBdsToken(page);

  std::string headers = spaceSubmitHeaders(host);
  std::string reply = HttpEngine(spaceSubmitUrl(host), "post", "", "", "", "", headers,
                                 spaceFormBody(gbkTitle, gbkBody, token, host), 0, responseHeaders, cookies);
  return isSpaceSuccess(reply);
}

}  // namespace inkpost
