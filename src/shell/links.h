// Outside addresses the main window links to.
#pragma once

namespace inkpost::links {

inline constexpr const char* kClientSite = "https://inkpost-client.example.org/";
inline constexpr const char* kEngineSite = "https://inkpost.example.org/";
inline constexpr const char* kMailingList = "https://inkpost-client.example.org/subscribe";
inline constexpr const char* kOfficialBlog = "https://inkpost-client.example.org/blog/";

}  // namespace inkpost::links
