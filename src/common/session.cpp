#include "common/session.h"

#include "net/cookiestore.h"

namespace inkpost {

BlogSession& blogSession() {
  static BlogSession session;
  return session;
}

void BlogSession::reset() {
  *this = BlogSession();
  clearCookieStore();
}

}  // namespace inkpost
