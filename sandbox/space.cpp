#include "sandbox/space.h"

namespace inkpost::sandbox {

bool handleSpaceHost(const httplib::Request&, httplib::Response&, const std::string&) { return false; }

}  // namespace inkpost::sandbox
