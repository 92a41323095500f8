// Pointing the second service's hosts at a local server on 127.0.0.1 that
// speaks plain HTTP (the sandbox's doubles), for tests and local runs.
#pragma once

#include <string>

namespace inkpost {

// HttpEngine's requests to both hosts go to 127.0.0.1:port, and the
// passport sign-in is sent over http.
void useLocalSpaceDoubles(int port);

// The Chromium switch that sends the hidden browser to the same server:
// --host-resolver-rules="MAP <passport> 127.0.0.1:port,MAP <space> ...".
// It works only when it is in QTWEBENGINE_CHROMIUM_FLAGS before the first
// web view of the process exists.
std::string spaceHostResolverSwitch(int port);

}  // namespace inkpost
