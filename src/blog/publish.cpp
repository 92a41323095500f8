#include "blog/publish.h"

#include "net/encoding.h"
#include "net/gbktext.h"
#include "net/http.h"

#include <array>

namespace inkpost {

namespace {

// Finds needle in hay on character boundaries (a two-byte character is
// stepped over as one unit).
bool containsGbk(std::string_view hay, std::string_view needle) {
  if (needle.empty()) return true;
  for (size_t i = 0; i + needle.size() <= hay.size();) {
    if (hay.compare(i, needle.size(), needle) == 0) return true;
    i += gbkCharLength(hay, i);
  }
  return false;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string encoded(std::string_view gbk) { return percentEncode(toUtf8(gbk)); }

// The leading part of a body that decides its intro: it ends outside any
// tag, after enough visible text that the trimmed first 200 characters lie
// well inside it. Tag removal then costs the length of the part, not of the
// whole body.
std::string_view introWindow(std::string_view body) {
  constexpr size_t kVisibleNeeded = 1024;  // non-blank bytes outside tags
  size_t visible = 0;
  size_t i = 0;
  while (i < body.size()) {
    if (body[i] == '<') {
      const size_t close = body.find('>', i + 1);
      if (close == std::string_view::npos) return body;  // tag removal stops here
      i = close + 1;
      continue;
    }
    if (!isBlank(body[i])) ++visible;
    ++i;
    if (visible >= kVisibleNeeded && i < body.size() && body[i] == '<') return body.substr(0, i);
  }
  return body;
}

}  // namespace

std::string makeIntro(std::string_view gbkBody) {
  const std::string text = removePatterns(introWindow(gbkBody), "<*>");
  const std::string wide = toFullWidth(text);
  constexpr size_t kIntroBytes = 400;
  size_t cut = 0;
  while (cut < wide.size()) {
    const size_t step = gbkCharLength(wide, cut);
    if (cut + step > kIntroBytes) break;
    cut += step;
  }
  return toHalfWidth(std::string_view(wide).substr(0, cut));
}

std::string replaceRootAddress(std::string_view gbkBody, std::string_view root, std::string_view site) {
  if (root.empty()) return std::string(gbkBody);
  std::string out;
  out.reserve(gbkBody.size());
  size_t i = 0;
  size_t copied = 0;  // gbkBody[copied, i) is still to be appended
  const char first = root.front();
  while (i < gbkBody.size()) {
    const char c = gbkBody[i];
    if (c == first && gbkBody.compare(i, root.size(), root) == 0) {
      out.append(gbkBody.substr(copied, i - copied));
      out.append(site);
      i += root.size();
      copied = i;
      continue;
    }
    i += gbkCharLength(gbkBody, i);
  }
  out.append(gbkBody.substr(copied));
  return out;
}

std::string articleLevel(std::string_view gbkTypeText) {
  static const std::array<std::string, 4> kTypes = {fromUtf8("草稿文章"), fromUtf8("私人文章"), fromUtf8("锁定文章"),
                                                    fromUtf8("普通文章")};
  for (size_t k = 0; k < kTypes.size(); ++k)
    if (gbkTypeText == kTypes[k]) return std::to_string(k + 1);
  return {};
}

PostForm postFields(const Article& a) {
  PostForm f;
  f.title = a.title;
  f.categoryId = a.category;
  f.tags = a.tags;
  f.authorId = a.author;
  f.level = a.type;
  f.year = a.year;
  f.month = a.month;
  f.day = a.day;
  f.time = a.time;
  f.alias = a.alias;
  f.sticky = a.sticky;
  return f;
}

std::string articlePostAddress(const std::string& site) { return site + "cmd.asp?act=ArticlePst&type=fckeditor"; }

std::string articlePostHeaders(const std::string& site) { return "Referer: " + site + "admin/edit_fckeditor.asp"; }

std::string articleFormBody(const PostForm& f) {
  std::string time;
  time.reserve(f.time.size() + 8);
  for (char c : f.time) {
    if (c == ':')
      time += "%3A";
    else
      time += c;
  }
  std::string body;
  body.reserve(f.body.size() * 3 + f.intro.size() * 3 + 512);
  body += "edtID=0&edtTitle=";
  body += encoded(f.title);
  body += "&edtCateID=";
  body += f.categoryId;
  body += "&edtTag=";
  body += encoded(f.tags);
  body += "&edtAuthorID=";
  body += f.authorId;
  body += "&edtLevel=";
  body += f.level;
  body += "&edtYear=";
  body += f.year;
  body += "&edtMonth=";
  body += f.month;
  body += "&edtDay=";
  body += f.day;
  body += "&edtTime=";
  body += time;
  body += "&edtAlias=";
  body += encoded(f.alias);
  body += "&txaContent=";
  body += encoded(f.body);
  body += "&txaIntro=";
  body += encoded(f.intro);
  if (f.sticky) body += "&edtIstop=true";
  return body;
}

bool answerWantsLogin(std::string_view gbkAnswer) {
  // The refusal of an admin action without a session, and the login form a
  // redirect to login.asp ends on (its captcha field is on no other page).
  static const std::string kNoRights = fromUtf8("没有权限");
  return containsGbk(gbkAnswer, kNoRights) || containsGbk(gbkAnswer, "name=\"edtCheckOut\"");
}

PostOutcome judgeAnswer(std::string_view gbkAnswer) {
  static const std::string kDone = fromUtf8("操作成功");
  if (containsGbk(gbkAnswer, kDone)) return kPostDone;
  if (answerWantsLogin(gbkAnswer)) return kPostNeedsLogin;
  for (char c : gbkAnswer)
    if (!isBlank(c)) return kPostRefused;
  return kPostNoAnswer;
}

PostOutcome postArticle(const std::string& site, const PostForm& form, std::string& sessionCookie) {
  std::string headers = articlePostHeaders(site);
  std::string responseHeaders;
  const std::string answer =
      HttpEngine(articlePostAddress(site), "POST", "", "", "", "", headers, articleFormBody(form), kPostBudgetSeconds,
                 responseHeaders, sessionCookie, true, kPostAnswerCap);
  return judgeAnswer(fromUtf8(answer));
}

const std::string& publishedNotice() {
  static const std::string text = fromUtf8("      发布成功！      ");
  return text;
}

const std::string& refusedNotice() {
  static const std::string text = fromUtf8("      发布失败！      ");
  return text;
}

const std::string& unclearNotice() {
  static const std::string text = fromUtf8("返回信息异常，可能已成功！请自行确认");
  return text;
}

}  // namespace inkpost
