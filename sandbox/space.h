// The second-service doubles of the sandbox (passport host and Space host),
// reached by the Host header of a request.
#pragma once

#include <httplib.h>

#include <string>

namespace inkpost::sandbox {

// Answers a request addressed to one of the second-service hosts; returns
// false when the request is for the blog itself.
bool handleSpaceHost(const httplib::Request& req, httplib::Response& res, const std::string& dataDir);

}  // namespace inkpost::sandbox
