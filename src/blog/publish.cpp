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

namespace {

// The length in `wide` (a toFullWidth text) of the full-width form of a
// character reference starting at `at` (charRefAt), 0 when none starts there.
size_t wideCharRefAt(std::string_view wide, size_t at) {
  if (wide.compare(at, 4, "\xA3\xA6\xA3\xA3") != 0) return 0;  // full-width "&#"
  constexpr size_t kLongest = 11;                              // "&#1114111;" and one more
  std::string ascii;
  for (size_t i = at; i + 1 < wide.size() && ascii.size() < kLongest; i += 2) {
    if (static_cast<unsigned char>(wide[i]) != 0xA3) break;
    ascii += static_cast<char>(wide[i + 1] & 0x7F);
  }
  return charRefAt(ascii, 0) * 2;
}

}  // namespace

std::string makeIntro(std::string_view gbkBody) {
  const std::string text = removePatterns(introWindow(gbkBody), "<*>");
  const std::string wide = toFullWidth(text);
  constexpr size_t kIntroWidth = 400;
  size_t cut = 0, width = 0;
  while (cut < wide.size()) {
    // A character GBK cannot hold stays its whole reference and counts as
    // one character.
    const size_t ref = wideCharRefAt(wide, cut);
    const size_t step = ref ? ref : gbkCharLength(wide, cut);
    const size_t stepWidth = ref ? 2 : step;
    if (width + stepWidth > kIntroWidth) break;
    cut += step;
    width += stepWidth;
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
  f.articleId = a.id;
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
  body += "edtID=";
  body += std::to_string(f.articleId);
  body += "&edtTitle=";
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

bool answerRefusesRights(std::string_view gbkAnswer) {
  static const std::string kNoRights = fromUtf8("没有权限");
  return containsGbk(gbkAnswer, kNoRights);
}

bool answerWantsLogin(std::string_view gbkAnswer) {
  // The refusal of an admin action without a session, and the login form a
  // redirect to login.asp ends on (its captcha field is on no other page).
  return answerRefusesRights(gbkAnswer) || containsGbk(gbkAnswer, "name=\"edtCheckOut\"");
}

PostOutcome judgeAnswer(std::string_view gbkAnswer) {
  static const std::string kDone = fromUtf8("操作成功");
  if (containsGbk(gbkAnswer, kDone)) return kPostDone;
  if (answerWantsLogin(gbkAnswer)) return kPostNeedsLogin;
  for (char c : gbkAnswer)
    if (!isBlank(c)) return kPostRefused;
  return kPostNoAnswer;
}

PostAnswer sendArticle(const std::string& site, const PostForm& form, std::string& sessionCookie) {
  std::string headers = articlePostHeaders(site);
  std::string responseHeaders;
  PostAnswer result;
  const std::string answer =
      fromUtf8(HttpEngine(articlePostAddress(site), "POST", "", "", "", "", headers, articleFormBody(form),
                          kPostBudgetSeconds, responseHeaders, sessionCookie, true, kPostAnswerCap, &result.fate));
  result.outcome = result.fate.sent() ? judgeAnswer(answer) : kPostNotSent;
  result.noRights = result.outcome == kPostNeedsLogin && answerRefusesRights(answer);
  result.answer = answer;
  return result;
}

PostOutcome postArticle(const std::string& site, const PostForm& form, std::string& sessionCookie,
                        std::string* gbkAnswer) {
  PostAnswer result = sendArticle(site, form, sessionCookie);
  if (gbkAnswer) *gbkAnswer = std::move(result.answer);
  return result.outcome;
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

std::string notSentNotice(const ExchangeFate& fate) {
  return fromUtf8("发布失败：无法连接到博客\n") + notSentReason(fate) +
         fromUtf8("。文章没有发出，仍在窗口中：请检查网址和网络后再发布。");
}

const std::string& noRightsNotice() {
  static const std::string text = fromUtf8("没有权限：这个帐号不能发布文章，请换用有发布权限的帐号");
  return text;
}

const std::string& noUploadRightsNotice() {
  static const std::string text = fromUtf8("没有权限：这个帐号不能上传文件，请换用有上传权限的帐号");
  return text;
}

}  // namespace inkpost
