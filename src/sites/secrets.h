// Passwords kept in the desktop's secret service (the freedesktop Secret
// Service: GNOME Keyring, KeePassXC, KWallet's bridge) through libsecret.
// Table web then holds only a reference in the password column. Setting the
// environment variable INKPOST_SECRET_SERVICE=off leaves the service alone
// (the tests do, so they never write into a developer's keyring).
#pragma once

#include <optional>
#include <string>

namespace inkpost {

// What the password column holds instead of a password kept in the service:
// this prefix, then the reference. No typed password starts with a control byte.
inline constexpr const char* kSecretReferencePrefix = "\x01secret:";

bool isSecretReference(const std::string& columnValue);

// Stores the bytes (any bytes, GBK as they are) under a new reference and
// returns the column value that names it; nothing when no service runs or it
// refuses. `label` (UTF-8) is what the user sees in the keyring.
std::optional<std::string> storeSecret(const std::string& label, const std::string& secret);

// The secret a column value names; nothing when no service runs or it holds
// no such secret.
std::optional<std::string> lookupSecret(const std::string& reference);

// Removes the secret a column value names (a value that is no reference is
// left alone).
void clearSecret(const std::string& reference);

}  // namespace inkpost
