#include "crosspost/hosts.h"

namespace inkpost {

SpaceSettings& spaceSettings() {
  static SpaceSettings settings;
  return settings;
}

}  // namespace inkpost
