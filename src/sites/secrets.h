// Passwords kept in the desktop's secret service (the freedesktop Secret
// Service: GNOME Keyring, KeePassXC, KWallet's bridge) through libsecret.
// Table web then holds only a reference in the password column. Setting the
// environment variable INKPOST_SECRET_SERVICE=off leaves the service alone
// (the tests do, so they never write into a developer's keyring).
//
// Every call to the service runs on a thread of its own and is waited for
// at most kKeyringCallMs; a call that takes longer is cancelled and the
// service counts as not answering for kKeyringQuietMs, during which every
// call fails at once. So a service that holds its name on the bus but never
// answers costs one wait, not one per password.
#pragma once

#include <optional>
#include <string>

namespace inkpost {

inline constexpr int kKeyringCallMs = 2000;
inline constexpr int kKeyringQuietMs = 30000;

// What the password column holds instead of a password kept in the service:
// this prefix, then the reference. No typed password starts with a control byte.
inline constexpr const char* kSecretReferencePrefix = "\x01secret:";

bool isSecretReference(const std::string& columnValue);

// What the service can do now.
enum class Keyring {
  Off,           // INKPOST_SECRET_SERVICE=off, or no session bus
  Missing,       // no secret service runs (or it has no default keyring)
  Locked,        // it runs, but the default keyring is locked
  NotAnswering,  // it holds its name but did not answer in time
  Ready,
};

// Asks the service (bounded as above). Never asks the person to unlock.
Keyring keyringState();

// Stores the bytes (any bytes, GBK as they are) under a new reference in the
// default keyring and returns the column value that names it; nothing when
// the keyring is not Ready or refuses. `label` (UTF-8) is what the user sees
// in the keyring. `why` (when given) gets the state that stopped it.
std::optional<std::string> storeSecret(const std::string& label, const std::string& secret, Keyring* why = nullptr);

// The secret a column value names; nothing when the service cannot give it.
// `why` gets Ready when the service answered but holds no such secret, else
// the state that stopped the look-up. A secret read once is kept for the run.
std::optional<std::string> lookupSecret(const std::string& reference, Keyring* why = nullptr);

// Removes the secret a column value names (a value that is no reference is
// left alone).
void clearSecret(const std::string& reference);

}  // namespace inkpost
