// Submitting one entry to the blog host of the second service.
#pragma once

#include <string>
#include <string_view>

namespace inkpost {

// The reply that tells the entry was created, compared byte for byte.
inline constexpr std::string_view kSpaceSuccessMarker = R"({"errorNo" : "0","errorMsg" : "","data": [  ]})";

// The article body as the blog host takes it: CR LF pairs and line feeds
// removed, "&hellip;" (any case) as two GBK ellipsis characters, "<p></p>"
// (any case) removed. Lone carriage returns stay.
std::string cleanSpaceBody(std::string_view gbkBody);

// The form token the creation page assigns to qBdsToken.
std::string extractBdsToken(std::string_view gbkPage);

// The submission form: title and content as percent-encoded UTF-8 of the
// GBK texts given (content cleaned here), the other fields fixed.
std::string spaceFormBody(std::string_view gbkTitle, std::string_view gbkBody, std::string_view token,
                          const std::string& spaceHost);

// The extra header lines of the submission.
std::string spaceSubmitHeaders(const std::string& spaceHost);

std::string spaceCreatePageUrl(const std::string& spaceHost);
std::string spaceSubmitUrl(const std::string& spaceHost);

// The notice when the chosen site has no second-service account (GBK):
// nothing is sent, and it says where to set one:
// "没有填写百度帐号，未同步到百度空间。请在“网站管理 → 修改网站”中为这个网站填写百度帐号和百度密码。"
const std::string& missingSpaceAccountNotice();
inline constexpr double kMissingSpaceAccountSeconds = 2.6;

// True when the (UTF-8) reply carries the success marker.
bool isSpaceSuccess(std::string_view reply);

// Fetches the creation page (cookies from the process-wide store), submits
// the entry with `cookies` as the Cookie line (the reply's cookies are
// merged back into it) and tells whether the reply carries the marker.
bool SubmitSpacePost(std::string_view gbkTitle, std::string_view gbkBody, std::string& cookies);

}  // namespace inkpost
