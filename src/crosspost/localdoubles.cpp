#include "crosspost/localdoubles.h"

#include "crosspost/hosts.h"
#include "net/http.h"

namespace inkpost {

void useLocalSpaceDoubles(int port) {
  SpaceSettings& settings = spaceSettings();
  setHostMapping(settings.passportHost, port);
  setHostMapping(settings.spaceHost, port);
  settings.passportLoginScheme = "http";
}

std::string spaceHostResolverSwitch(int port) {
  const SpaceSettings& settings = spaceSettings();
  const std::string target = " 127.0.0.1:" + std::to_string(port);
  return "--host-resolver-rules=\"MAP " + settings.passportHost + target + ",MAP " + settings.spaceHost + target + "\"";
}

}  // namespace inkpost
